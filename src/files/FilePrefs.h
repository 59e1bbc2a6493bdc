#pragma once
// What the file commands remember between runs: the folders last used for
// each kind of file and the pause between the messages of a system-exclusive
// file. They live in the preferences file, in a section of their own
// ("Files"), read when a command first needs them and written as soon as one
// changes; the program's other keys are left as they are.
//
// User-interface thread only; a plain value.

#include <QString>

class FilePrefs {
 public:
  static constexpr int DefaultSendPauseMs = 20;
  static constexpr int MaxSendPauseMs = 1000;

  QString LogFolder;        // "Enregistrer le journal…"
  QString TrafficFolder;    // "Enregistrer le trafic…"
  QString SysexSaveFolder;  // "Enregistrer les SysEx reçus…"
  QString SysexSendFolder;  // "Envoyer un fichier SysEx…"
  int SendPauseMs = DefaultSendPauseMs;

  // The values in the file; for each one missing or unreadable, its default
  // (empty folders, a pause of DefaultSendPauseMs; a pause out of 0 to
  // MaxSendPauseMs is brought into it). No file name: all defaults.
  static FilePrefs Load(const QString& fileName);
  // Writes every value in one replacement of the file. Raises EIniWriteError
  // (IniFile.h) when the file cannot be written.
  void Save(const QString& fileName) const;

  friend bool operator==(const FilePrefs&, const FilePrefs&) = default;
};
