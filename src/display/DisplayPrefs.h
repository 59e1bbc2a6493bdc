#pragma once
// The event log's display options, remembered in the preferences file in a
// section of their own ("Display"), read once at start and written as soon
// as they change; the program's other keys are left as they are. Their
// defaults leave the log as it is without them.
//
//   [Display]
//   HiddenKinds=clock,activesensing   kinds the log leaves out (LogFilter)
//   HiddenChannels=10,16              channels it leaves out, 1 to 16
//   HideIn=0, HideOut=0               directions it leaves out
//   Decimal=0, Channel=0, NoteNames=0, ControllerNames=0, ProgramNumbers=0
//   MiddleC=4                         the octave of note 60: 4 (C4) or 3 (C3)
//   ControllerPairs=0                 14-bit, RPN and NRPN values as one line
//   ClockTempo=1                      the tempo of a received clock
//
// User-interface thread only; a plain value.

#include <QString>

#include "LogFilter.h"
#include "MessageDetails.h"

struct DisplayPrefs {
  LogFilter Filter;
  DetailOptions Details;
  bool ControllerPairs = false;
  bool ClockTempo = true;

  // The values in the file; for each one missing or unreadable, its default.
  // No file name: all defaults.
  static DisplayPrefs Load(const QString& fileName);
  // Writes every value in one replacement of the file. Raises EIniWriteError
  // (IniFile.h) when the file cannot be written.
  void Save(const QString& fileName) const;

  friend bool operator==(const DisplayPrefs&, const DisplayPrefs&) = default;
};

// The key of a kind in the file ("note", "clock"…).
const char* MessageKindKey(MessageKind kind);
