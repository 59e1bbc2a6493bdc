#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QComboBox;
class QSpinBox;

// One preset of the bulk-send window.
struct TSendBulkPreset {
  QString MidiOutDevName;
  bool Data0Loop = false;
  bool Data1Loop = false;
  bool Data2Loop = false;
  std::uint8_t Data0Min = 0;  // channels numbered 1..16 as shown to the user
  std::uint8_t Data0Max = 0;
  std::uint8_t Data1Min = 0;
  std::uint8_t Data1Max = 0;
  std::uint8_t Data2Min = 0;
  std::uint8_t Data2Max = 0;
  bool LoopInfinite = false;
  std::int32_t LoopDelay = 0;       // milliseconds between events
  std::int32_t EventTypeIndex = 0;  // 0 Control Change, 1 Program Change, 2 Note
};

constexpr int SendBulkPresetCount = 16;

// What the program remembers across restarts. PresetIndex is never stored.
struct TUserPrefs {
  QString MidiInDevName;
  QString MidiOutDevName;
  std::array<TSendBulkPreset, SendBulkPresetCount> SendBulkPresets;
  std::int32_t PresetIndex = 0;
};

// The program's preferences: zero-filled until Prefs_Load fills them.
// User-interface thread only.
extern TUserPrefs UserPrefs;
// Maximum number of lines of the event log (the receive monitor keeps it
// equal to its spin box); persisted with the preferences.
extern std::int32_t LogMaxEvents;

// The preferences file beside the executable: its path with the extension
// replaced by ".ini" (appended when it has none). When that file does not
// exist and its folder cannot be written, orvalis.ini in the user's
// configuration folder instead (created as needed). A copy installed in the
// system's program folder (the build's install bindir, /usr/bin for the
// package) always keeps its preferences in the user's configuration folder:
// each user has their own, and root never writes into /usr/bin.
QString Prefs_DefaultFileName();
// The same choice for a given executable path and fallback folder;
// installedBinDir is the folder of an installed copy (empty: none).
QString Prefs_FileNameFor(const QString& exePath, const QString& fallbackFolder,
                          const QString& installedBinDir = QString());

// Writes the marker [Test] WriteTest=1, creating the file if needed; true if
// the file could be written.
bool Prefs_WriteTest(const QString& fileName);
// True when the file exists and its own rights refuse us writing it: made
// read-only by its owner or an administrator, on purpose. A disk that is full
// or mounted read-only, or a folder that has gone, are not: they are faults.
bool Prefs_FileIsReadOnly(const QString& fileName);
// Fills LogMaxEvents and UserPrefs (all but PresetIndex) from the file, with
// defaults for whatever is missing or unreadable, then calls
// Prefs_ApplyToMainWindow.
void Prefs_Load(const QString& fileName);
// Writes LogMaxEvents and UserPrefs, key by key in memory and then to the file
// at once (nothing when no value changed). Writes nothing when the write test
// fails; a write failing after it raises EIniWriteError (IniFile.h) and leaves
// the file as the write test left it. True when the file holds the settings
// afterwards: written, or unwritable but holding them already.
bool Prefs_Save(const QString& fileName);

// Shows the loaded values in the main window through the hook it registered
// (Prefs_ApplyToWidgets on its spin box and device lists); nothing without one.
void Prefs_ApplyToMainWindow();
// Registers that hook; an empty function removes it.
void Prefs_SetMainWindowHook(std::function<void()> hook);

// The bulk-send preset that PresetIndex designates, or none when it is out of range.
TSendBulkPreset* Prefs_CurrentPreset();

// Puts LogMaxEvents into the log-length spin box and selects the remembered
// device names (first entry equal ignoring letter case) in the two lists,
// without firing any of their change handlers. A name that is empty or not
// found leaves that list's selection alone. Null controls are skipped; errors
// are swallowed step by step. LogMaxEvents then takes the box's value, so that
// a stored value outside the box's range cannot reach the log.
void Prefs_ApplyToWidgets(QSpinBox* seLogMaxEvents, QComboBox* cbMIDIIn, QComboBox* cbMIDIOut);
