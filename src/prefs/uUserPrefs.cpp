#include "uUserPrefs.h"

#include "IniFile.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

TUserPrefs UserPrefs;
std::int32_t LogMaxEvents = 0;

namespace {

const QString kTest = QStringLiteral("Test");
const QString kLog = QStringLiteral("Log");
const QString kMidiDevice = QStringLiteral("MidiDevice");

QString PresetSection(int index) { return QString::asprintf("ToolsSendBulkPreset%.2d", index); }

// Signed decimal, or hexadecimal after "0x"/"0X" (three characters or more)
// or "$". Hexadecimal of up to eight digits is taken as 32 bits, as written by
// a 32-bit program; anything else out of range or malformed gives nothing.
bool ParseInteger(const QString& text, std::int32_t& result) {
  bool ok = false;
  if ((text.size() >= 3 && (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")))) ||
      text.startsWith('$')) {
    const QString digits = text.mid(text.startsWith('$') ? 1 : 2);
    if (digits.isEmpty() || digits.size() > 8) return false;
    for (QChar c : digits)
      if (!c.isDigit() && !(c.toLower() >= 'a' && c.toLower() <= 'f')) return false;
    const std::uint32_t value = digits.toUInt(&ok, 16);
    if (ok) result = static_cast<std::int32_t>(value);
    return ok;
  }
  for (QChar c : text)  // toInt would also accept surrounding blanks
    if (c.isSpace()) return false;
  const int value = text.toInt(&ok, 10);
  if (ok) result = value;
  return ok;
}

std::int32_t ReadInteger(const TIniFile& ini, const QString& section, const QString& key, std::int32_t defaultValue) {
  std::int32_t value = defaultValue;
  return ParseInteger(ini.ReadString(section, key, QString()), value) ? value : defaultValue;
}

bool ReadBool(const TIniFile& ini, const QString& section, const QString& key, bool defaultValue) {
  return ReadInteger(ini, section, key, defaultValue ? 1 : 0) != 0;
}

std::uint8_t ReadByte(const TIniFile& ini, const QString& section, const QString& key, std::uint8_t defaultValue) {
  return static_cast<std::uint8_t>(ReadInteger(ini, section, key, defaultValue) & 0xFF);
}

void WriteInteger(TIniFile& ini, const QString& section, const QString& key, std::int32_t value) {
  ini.WriteString(section, key, QString::number(value));
}

void WriteBool(TIniFile& ini, const QString& section, const QString& key, bool value) {
  ini.WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

TSendBulkPreset ReadPreset(const TIniFile& ini, const QString& s) {
  TSendBulkPreset p;
  p.MidiOutDevName = ini.ReadString(s, QStringLiteral("MidiOutDevName"), QString());
  p.Data0Loop = ReadBool(ini, s, QStringLiteral("Data0Loop"), false);
  p.Data1Loop = ReadBool(ini, s, QStringLiteral("Data1Loop"), true);
  p.Data2Loop = ReadBool(ini, s, QStringLiteral("Data2Loop"), true);
  p.LoopInfinite = ReadBool(ini, s, QStringLiteral("LoopInfinite"), false);
  p.Data0Min = ReadByte(ini, s, QStringLiteral("Data0Min"), 1);
  p.Data0Max = ReadByte(ini, s, QStringLiteral("Data0Max"), 16);
  p.Data1Min = ReadByte(ini, s, QStringLiteral("Data1Min"), 0);
  p.Data1Max = ReadByte(ini, s, QStringLiteral("Data1Max"), 127);
  p.Data2Min = ReadByte(ini, s, QStringLiteral("Data2Min"), 0);
  p.Data2Max = ReadByte(ini, s, QStringLiteral("Data2Max"), 127);
  p.LoopDelay = ReadInteger(ini, s, QStringLiteral("LoopDelay"), 100);
  p.EventTypeIndex = ReadInteger(ini, s, QStringLiteral("EventTypeIndex"), 0);
  return p;
}

void WritePreset(TIniFile& ini, const QString& s, const TSendBulkPreset& p) {
  ini.WriteString(s, QStringLiteral("MidiOutDevName"), p.MidiOutDevName);
  WriteBool(ini, s, QStringLiteral("Data0Loop"), p.Data0Loop);
  WriteBool(ini, s, QStringLiteral("Data1Loop"), p.Data1Loop);
  WriteBool(ini, s, QStringLiteral("Data2Loop"), p.Data2Loop);
  WriteBool(ini, s, QStringLiteral("LoopInfinite"), p.LoopInfinite);
  WriteInteger(ini, s, QStringLiteral("Data0Min"), p.Data0Min);
  WriteInteger(ini, s, QStringLiteral("Data0Max"), p.Data0Max);
  WriteInteger(ini, s, QStringLiteral("Data1Min"), p.Data1Min);
  WriteInteger(ini, s, QStringLiteral("Data1Max"), p.Data1Max);
  WriteInteger(ini, s, QStringLiteral("Data2Min"), p.Data2Min);
  WriteInteger(ini, s, QStringLiteral("Data2Max"), p.Data2Max);
  WriteInteger(ini, s, QStringLiteral("LoopDelay"), p.LoopDelay);
  WriteInteger(ini, s, QStringLiteral("EventTypeIndex"), p.EventTypeIndex);
}

void SelectName(QComboBox* list, const QString& name) {
  if (!list || name.isEmpty()) return;
  const int index = list->findText(name, Qt::MatchFixedString);  // whole text, any letter case
  if (index < 0) return;
  const QSignalBlocker quiet(list);
  list->setCurrentIndex(index);
}

}  // namespace

QString Prefs_FileNameFor(const QString& exePath, const QString& fallbackFolder,
                          const QString& installedBinDir) {
  const QFileInfo exe(exePath);
  const bool installed =
      !installedBinDir.isEmpty() &&
      QFileInfo(exe.absolutePath()).canonicalFilePath() == QFileInfo(installedBinDir).canonicalFilePath();
  const QString suffix = exe.suffix();
  const QString base = suffix.isEmpty() ? exe.filePath() : exe.filePath().chopped(suffix.size() + 1);
  const QString beside = base + QStringLiteral(".ini");
  const QFileInfo folder(exe.absolutePath());
  if (!installed && (QFileInfo::exists(beside) || (folder.isDir() && folder.isWritable()))) return beside;
  QDir().mkpath(fallbackFolder);
  return QDir(fallbackFolder).filePath(QStringLiteral("orvalis.ini"));
}

QString Prefs_DefaultFileName() {
  return Prefs_FileNameFor(QCoreApplication::applicationFilePath(),
                           QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
                           QStringLiteral(ORVALIS_INSTALL_BINDIR));
}

bool Prefs_WriteTest(const QString& fileName) {
  try {
    TIniFile ini(fileName);
    ini.WriteString(kTest, QStringLiteral("WriteTest"), QStringLiteral("1"), true);
    return true;
  } catch (const EIniWriteError&) {
    return false;
  }
}

bool Prefs_FileIsReadOnly(const QString& fileName) {
  const QByteArray path = QFile::encodeName(fileName);
  struct stat info {};
  if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  // With the rights the program writes with (its effective user).
  if (::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) == 0) return false;
  // EROFS is the disk's state, not the file's; EACCES its mode, EPERM an
  // immutable flag.
  return errno == EACCES || errno == EPERM;
}

void Prefs_Load(const QString& fileName) {
  {
    const TIniFile ini(fileName);
    LogMaxEvents = ReadInteger(ini, kLog, QStringLiteral("LogItemMax"), 400);
    UserPrefs.MidiInDevName = ini.ReadString(kMidiDevice, QStringLiteral("MidiInDevName"), QString());
    UserPrefs.MidiOutDevName = ini.ReadString(kMidiDevice, QStringLiteral("MidiOutDevName"), QString());
    for (int i = 0; i < SendBulkPresetCount; ++i) UserPrefs.SendBulkPresets[i] = ReadPreset(ini, PresetSection(i));
  }
  Prefs_ApplyToMainWindow();
}

bool Prefs_Save(const QString& fileName) {
  const bool writable = Prefs_WriteTest(fileName);
  // All keys go to the disk in one replacement of the file: a failure (disk
  // full, folder turned read-only) leaves the previous file as it was rather
  // than half old and half new values.
  TIniFile ini(fileName);
  ini.BeginUpdate();
  WriteInteger(ini, kLog, QStringLiteral("LogItemMax"), LogMaxEvents);
  ini.WriteString(kMidiDevice, QStringLiteral("MidiInDevName"), UserPrefs.MidiInDevName);
  ini.WriteString(kMidiDevice, QStringLiteral("MidiOutDevName"), UserPrefs.MidiOutDevName);
  for (int i = 0; i < SendBulkPresetCount; ++i) WritePreset(ini, PresetSection(i), UserPrefs.SendBulkPresets[i]);
  // A file that cannot be written loses nothing if it holds these values.
  if (!writable) return !ini.Changed();
  ini.UpdateFile();
  return true;
}

void Prefs_ApplyToWidgets(QSpinBox* seLogMaxEvents, QComboBox* cbMIDIIn, QComboBox* cbMIDIOut) {
  if (seLogMaxEvents) {
    try {
      const QSignalBlocker quiet(seLogMaxEvents);
      seLogMaxEvents->setValue(LogMaxEvents);
      LogMaxEvents = seLogMaxEvents->value();
    } catch (...) {
    }
  }
  try {
    SelectName(cbMIDIIn, UserPrefs.MidiInDevName);
  } catch (...) {
  }
  try {
    SelectName(cbMIDIOut, UserPrefs.MidiOutDevName);
  } catch (...) {
  }
}

namespace {

std::function<void()>& MainWindowHook() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

void Prefs_SetMainWindowHook(std::function<void()> hook) { MainWindowHook() = std::move(hook); }

void Prefs_ApplyToMainWindow() {
  if (MainWindowHook()) MainWindowHook()();
}

TSendBulkPreset* Prefs_CurrentPreset() {
  if (UserPrefs.PresetIndex < 0 || UserPrefs.PresetIndex >= SendBulkPresetCount) return nullptr;
  return &UserPrefs.SendBulkPresets[static_cast<size_t>(UserPrefs.PresetIndex)];
}
