#include "DisplayPrefs.h"

#include <QStringList>

#include "IniFile.h"

namespace {

const QString kSection = QStringLiteral("Display");

bool ReadBool(const TIniFile& ini, const char* key, bool defaultValue) {
  bool ok = false;
  const int value = ini.ReadString(kSection, QLatin1String(key), QString()).trimmed().toInt(&ok);
  return ok ? value != 0 : defaultValue;
}

void WriteBool(TIniFile& ini, const char* key, bool value) {
  ini.WriteString(kSection, QLatin1String(key), value ? QStringLiteral("1") : QStringLiteral("0"));
}

QStringList Items(const TIniFile& ini, const char* key) {
  QStringList items;
  for (const QString& item : ini.ReadString(kSection, QLatin1String(key), QString()).split(QLatin1Char(','))) {
    if (!item.trimmed().isEmpty()) items << item.trimmed().toLower();
  }
  return items;
}

}  // namespace

const char* MessageKindKey(MessageKind kind) {
  static const char* const keys[MessageKindCount] = {
      "note",   "aftertouch", "controlchange", "programchange", "pitchbend",    "sysex",
      "timecode", "systemcommon", "clock",    "realtime",      "activesensing",
  };
  return keys[static_cast<int>(kind)];
}

DisplayPrefs DisplayPrefs::Load(const QString& fileName) {
  DisplayPrefs prefs;
  if (fileName.isEmpty()) return prefs;
  const TIniFile ini(fileName);
  const QStringList kinds = Items(ini, "HiddenKinds");
  for (int k = 0; k < MessageKindCount; ++k) {
    const auto kind = static_cast<MessageKind>(k);
    prefs.Filter.SetKindHidden(kind, kinds.contains(QLatin1String(MessageKindKey(kind))));
  }
  for (const QString& item : Items(ini, "HiddenChannels")) {
    bool ok = false;
    const int channel = item.toInt(&ok);
    if (ok) prefs.Filter.SetChannelHidden(channel, true);
  }
  prefs.Filter.HideIn = ReadBool(ini, "HideIn", false);
  prefs.Filter.HideOut = ReadBool(ini, "HideOut", false);
  prefs.Details.Decimal = ReadBool(ini, "Decimal", false);
  prefs.Details.Channel = ReadBool(ini, "Channel", false);
  prefs.Details.NoteName = ReadBool(ini, "NoteNames", false);
  prefs.Details.ControllerName = ReadBool(ini, "ControllerNames", false);
  prefs.Details.ProgramNumber = ReadBool(ini, "ProgramNumbers", false);
  prefs.Details.MiddleCOctave =
      ini.ReadString(kSection, QStringLiteral("MiddleC"), QString()).trimmed() == QLatin1String("3") ? 3 : 4;
  prefs.ControllerPairs = ReadBool(ini, "ControllerPairs", false);
  prefs.ClockTempo = ReadBool(ini, "ClockTempo", true);
  return prefs;
}

void DisplayPrefs::Save(const QString& fileName) const {
  TIniFile ini(fileName);
  ini.BeginUpdate();
  QStringList kinds;
  for (int k = 0; k < MessageKindCount; ++k) {
    if (Filter.HidesKind(static_cast<MessageKind>(k))) kinds << QLatin1String(MessageKindKey(static_cast<MessageKind>(k)));
  }
  QStringList channels;
  for (int channel = 1; channel <= 16; ++channel) {
    if (Filter.HidesChannel(channel)) channels << QString::number(channel);
  }
  ini.WriteString(kSection, QStringLiteral("HiddenKinds"), kinds.join(QLatin1Char(',')));
  ini.WriteString(kSection, QStringLiteral("HiddenChannels"), channels.join(QLatin1Char(',')));
  WriteBool(ini, "HideIn", Filter.HideIn);
  WriteBool(ini, "HideOut", Filter.HideOut);
  WriteBool(ini, "Decimal", Details.Decimal);
  WriteBool(ini, "Channel", Details.Channel);
  WriteBool(ini, "NoteNames", Details.NoteName);
  WriteBool(ini, "ControllerNames", Details.ControllerName);
  WriteBool(ini, "ProgramNumbers", Details.ProgramNumber);
  ini.WriteString(kSection, QStringLiteral("MiddleC"), QString::number(Details.MiddleCOctave));
  WriteBool(ini, "ControllerPairs", ControllerPairs);
  WriteBool(ini, "ClockTempo", ClockTempo);
  ini.UpdateFile();
}
