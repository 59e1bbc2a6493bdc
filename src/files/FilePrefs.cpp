#include "FilePrefs.h"

#include <algorithm>

#include "IniFile.h"

namespace {

const QString kSection = QStringLiteral("Files");
const QString kLogFolder = QStringLiteral("LogFolder");
const QString kTrafficFolder = QStringLiteral("TrafficFolder");
const QString kSysexSaveFolder = QStringLiteral("SysexSaveFolder");
const QString kSysexSendFolder = QStringLiteral("SysexSendFolder");
const QString kSendPauseMs = QStringLiteral("SysexSendPauseMs");

}  // namespace

FilePrefs FilePrefs::Load(const QString& fileName) {
  FilePrefs prefs;
  if (fileName.isEmpty()) return prefs;
  const TIniFile ini(fileName);
  prefs.LogFolder = ini.ReadString(kSection, kLogFolder, QString());
  prefs.TrafficFolder = ini.ReadString(kSection, kTrafficFolder, QString());
  prefs.SysexSaveFolder = ini.ReadString(kSection, kSysexSaveFolder, QString());
  prefs.SysexSendFolder = ini.ReadString(kSection, kSysexSendFolder, QString());
  bool ok = false;
  const int pause = ini.ReadString(kSection, kSendPauseMs, QString()).toInt(&ok);
  if (ok) prefs.SendPauseMs = std::clamp(pause, 0, MaxSendPauseMs);
  return prefs;
}

void FilePrefs::Save(const QString& fileName) const {
  TIniFile ini(fileName);
  ini.BeginUpdate();
  ini.WriteString(kSection, kLogFolder, LogFolder);
  ini.WriteString(kSection, kTrafficFolder, TrafficFolder);
  ini.WriteString(kSection, kSysexSaveFolder, SysexSaveFolder);
  ini.WriteString(kSection, kSysexSendFolder, SysexSendFolder);
  ini.WriteString(kSection, kSendPauseMs, QString::number(SendPauseMs));
  ini.UpdateFile();
}
