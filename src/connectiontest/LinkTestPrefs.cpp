#include "LinkTestPrefs.h"

#include "IniFile.h"

namespace {

const QString kSection = QStringLiteral("LinkTest");
const QString kMessageKind = QStringLiteral("MessageKind");
const QString kSysexLength = QStringLiteral("SysexLength");
const QString kMessageCount = QStringLiteral("MessageCount");
const QString kRate = QStringLiteral("MessagesPerSecond");
const QString kOneInFlight = QStringLiteral("OneInFlight");
const QString kTimeoutMs = QStringLiteral("TimeoutMs");
const QString kWarmUp = QStringLiteral("WarmUp");
const QString kRandomMoments = QStringLiteral("RandomMoments");
const QString kCsvFolder = QStringLiteral("CsvFolder");

int ReadInt(const TIniFile& ini, const QString& key, int fallback) {
  bool ok = false;
  const int value = ini.ReadString(kSection, key, QString()).toInt(&ok);
  return ok ? value : fallback;
}

}  // namespace

LinkTestPrefs LinkTestPrefs::Load(const QString& fileName) {
  LinkTestPrefs prefs;
  if (fileName.isEmpty()) return prefs;
  const TIniFile ini(fileName);
  LinkTestSettings& s = prefs.Settings;
  const int kind = ReadInt(ini, kMessageKind, static_cast<int>(s.Kind));
  if (kind >= 0 && kind <= static_cast<int>(LinkMessageKind::Sysex)) s.Kind = static_cast<LinkMessageKind>(kind);
  s.SysexLength = ReadInt(ini, kSysexLength, s.SysexLength);
  s.Count = ReadInt(ini, kMessageCount, s.Count);
  s.RatePerSecond = ReadInt(ini, kRate, s.RatePerSecond);
  s.OneInFlight = ReadInt(ini, kOneInFlight, s.OneInFlight ? 1 : 0) != 0;
  s.TimeoutMs = ReadInt(ini, kTimeoutMs, s.TimeoutMs);
  s.WarmUp = ReadInt(ini, kWarmUp, s.WarmUp);
  s.RandomMoments = ReadInt(ini, kRandomMoments, s.RandomMoments ? 1 : 0) != 0;
  s = s.Clamped();
  prefs.CsvFolder = ini.ReadString(kSection, kCsvFolder, QString());
  return prefs;
}

void LinkTestPrefs::Save(const QString& fileName) const {
  TIniFile ini(fileName);
  ini.BeginUpdate();
  ini.WriteString(kSection, kMessageKind, QString::number(static_cast<int>(Settings.Kind)));
  ini.WriteString(kSection, kSysexLength, QString::number(Settings.SysexLength));
  ini.WriteString(kSection, kMessageCount, QString::number(Settings.Count));
  ini.WriteString(kSection, kRate, QString::number(Settings.RatePerSecond));
  ini.WriteString(kSection, kOneInFlight, Settings.OneInFlight ? QStringLiteral("1") : QStringLiteral("0"));
  ini.WriteString(kSection, kTimeoutMs, QString::number(Settings.TimeoutMs));
  ini.WriteString(kSection, kWarmUp, QString::number(Settings.WarmUp));
  ini.WriteString(kSection, kRandomMoments, Settings.RandomMoments ? QStringLiteral("1") : QStringLiteral("0"));
  ini.WriteString(kSection, kCsvFolder, CsvFolder);
  ini.UpdateFile();
}
