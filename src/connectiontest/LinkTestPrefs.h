#pragma once
// What the connection test window remembers between runs: its settings and
// the folder of the last CSV file. They live in the preferences file, in a
// section of their own ("LinkTest"), read when the window is first shown and
// written when a run starts or a file is saved; the program's other keys are
// left as they are.
//
// User-interface thread only; a plain value.

#include <QString>

#include "LinkTestSettings.h"

class LinkTestPrefs {
 public:
  LinkTestSettings Settings;
  QString CsvFolder;

  // The values in the file; for each one missing or unreadable, its default
  // (LinkTestSettings' own); a value out of its range is brought into it. No
  // file name: all defaults.
  static LinkTestPrefs Load(const QString& fileName);
  // Writes every value in one replacement of the file. Raises EIniWriteError
  // (IniFile.h) when the file cannot be written.
  void Save(const QString& fileName) const;

  friend bool operator==(const LinkTestPrefs&, const LinkTestPrefs&) = default;
};
