#include "IniFile.h"
#include "uUserPrefs.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <tuple>

namespace {

// The main window is not part of this test program: its hook records what
// Prefs_Load leaves for it.
int applyCalls = 0;
std::int32_t logMaxAtApply = 0;

const char* const kPresetKeys[] = {"MidiOutDevName", "Data0Loop", "Data1Loop", "Data2Loop", "LoopInfinite",
                                   "Data0Min",       "Data0Max",  "Data1Min",  "Data1Max",  "Data2Min",
                                   "Data2Max",       "LoopDelay", "EventTypeIndex"};

class PrefsTest : public ::testing::Test {
protected:
  void SetUp() override {
    UserPrefs = TUserPrefs{};
    LogMaxEvents = 0;
    applyCalls = 0;
    Prefs_SetMainWindowHook([] {
      ++applyCalls;
      logMaxAtApply = LogMaxEvents;
    });
  }
  void TearDown() override {
    TIniFile::SetBeforeCommitHook(nullptr);
    Prefs_SetMainWindowHook(nullptr);
  }

  void Put(const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
  }
  QByteArray Content() const {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir;
  QString path = dir.filePath("orvalis.ini");
};

void ExpectDefaults(const TSendBulkPreset& p, int i) {
  SCOPED_TRACE(i);
  EXPECT_TRUE(p.MidiOutDevName.isEmpty());
  EXPECT_FALSE(p.Data0Loop);
  EXPECT_TRUE(p.Data1Loop);
  EXPECT_TRUE(p.Data2Loop);
  EXPECT_FALSE(p.LoopInfinite);
  EXPECT_EQ(p.Data0Min, 1);
  EXPECT_EQ(p.Data0Max, 16);
  EXPECT_EQ(p.Data1Min, 0);
  EXPECT_EQ(p.Data1Max, 127);
  EXPECT_EQ(p.Data2Min, 0);
  EXPECT_EQ(p.Data2Max, 127);
  EXPECT_EQ(p.LoopDelay, 100);
  EXPECT_EQ(p.EventTypeIndex, 0);
}

TEST_F(PrefsTest, FirstStartWithoutFileGivesDefaults) {
  UserPrefs.PresetIndex = 5;
  Prefs_Load(path);
  EXPECT_EQ(LogMaxEvents, 400);
  EXPECT_TRUE(UserPrefs.MidiInDevName.isEmpty());
  EXPECT_TRUE(UserPrefs.MidiOutDevName.isEmpty());
  for (int i = 0; i < SendBulkPresetCount; ++i) ExpectDefaults(UserPrefs.SendBulkPresets[i], i);
  EXPECT_EQ(UserPrefs.PresetIndex, 5) << "not loaded";
  EXPECT_FALSE(QFile::exists(path)) << "loading creates nothing";
  EXPECT_EQ(applyCalls, 1);
  EXPECT_EQ(logMaxAtApply, 400) << "the main window is updated after loading";
}

struct EncodingCase {
  const char* section;
  const char* key;
  const char* text;
  std::int64_t expected;
};

std::int64_t Loaded(const char* key) {
  const TSendBulkPreset& p = UserPrefs.SendBulkPresets[3];
  const std::map<std::string, std::function<std::int64_t()>> fields = {
      {"LogItemMax", [] { return LogMaxEvents; }},
      {"Data0Loop", [&] { return p.Data0Loop; }},       {"Data1Loop", [&] { return p.Data1Loop; }},
      {"Data2Loop", [&] { return p.Data2Loop; }},       {"LoopInfinite", [&] { return p.LoopInfinite; }},
      {"Data0Min", [&] { return p.Data0Min; }},         {"Data0Max", [&] { return p.Data0Max; }},
      {"Data1Min", [&] { return p.Data1Min; }},         {"Data1Max", [&] { return p.Data1Max; }},
      {"Data2Min", [&] { return p.Data2Min; }},         {"Data2Max", [&] { return p.Data2Max; }},
      {"LoopDelay", [&] { return p.LoopDelay; }},       {"EventTypeIndex", [&] { return p.EventTypeIndex; }}};
  return fields.at(key)();
}

void PrintTo(const EncodingCase& c, std::ostream* os) { *os << c.key << "=" << c.text; }

class PrefsEncoding : public PrefsTest, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(PrefsEncoding, ValueLoadsAs) {
  const EncodingCase& c = GetParam();
  Put(QByteArray("[") + c.section + "]\n" + c.key + "=" + c.text + "\n");
  Prefs_Load(path);
  EXPECT_EQ(Loaded(c.key), c.expected) << c.key << "=" << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, PrefsEncoding,
    ::testing::Values(
        // integers: decimal, "0x"/"0X" with digits, "$"; anything else the default
        EncodingCase{"Log", "LogItemMax", "1000", 1000}, EncodingCase{"Log", "LogItemMax", "0x10", 16},
        EncodingCase{"Log", "LogItemMax", "", 400}, EncodingCase{"Log", "LogItemMax", "12abc", 400},
        EncodingCase{"Log", "LogItemMax", " 77 ", 77},
        EncodingCase{"ToolsSendBulkPreset03", "Data1Max", "0x40", 64},
        EncodingCase{"ToolsSendBulkPreset03", "Data1Max", "0X40", 64},
        EncodingCase{"ToolsSendBulkPreset03", "Data1Max", "$40", 64},
        EncodingCase{"ToolsSendBulkPreset03", "Data1Max", "abc", 127},
        EncodingCase{"ToolsSendBulkPreset03", "Data1Max", "0x", 127},
        EncodingCase{"ToolsSendBulkPreset03", "Data1Max", "$", 127},
        EncodingCase{"ToolsSendBulkPreset03", "Data1Max", "$4G", 127},
        EncodingCase{"ToolsSendBulkPreset03", "Data0Min", "300", 44},
        EncodingCase{"ToolsSendBulkPreset03", "Data0Min", "-1", 255},
        EncodingCase{"ToolsSendBulkPreset03", "Data2Max", "5", 5},
        EncodingCase{"ToolsSendBulkPreset03", "EventTypeIndex", "7", 7},
        EncodingCase{"ToolsSendBulkPreset03", "LoopDelay", "-250", -250},
        EncodingCase{"ToolsSendBulkPreset03", "LoopDelay", "$FFFFFFFF", -1},
        EncodingCase{"ToolsSendBulkPreset03", "LoopDelay", "99999999999", 100},
        EncodingCase{"ToolsSendBulkPreset03", "LoopDelay", "1 2", 100},
        // Booleans: any non-zero integer is true; a non-integer keeps the default
        EncodingCase{"ToolsSendBulkPreset03", "Data1Loop", "1", 1},
        EncodingCase{"ToolsSendBulkPreset03", "Data2Loop", "0", 0},
        EncodingCase{"ToolsSendBulkPreset03", "Data0Loop", "5", 1},
        EncodingCase{"ToolsSendBulkPreset03", "Data0Loop", "-1", 1},
        EncodingCase{"ToolsSendBulkPreset03", "LoopInfinite", "0x10", 1},
        EncodingCase{"ToolsSendBulkPreset03", "LoopInfinite", "yes", 0},
        EncodingCase{"ToolsSendBulkPreset03", "Data2Loop", "true", 1}));

TEST_F(PrefsTest, TextValuesLoadWhole) {
  Put("[MidiDevice]\nMidiInDevName=Port d'entr\xC3\xA9" "e 1\nMidiOutDevName=Synth = 2\n"
      "[ToolsSendBulkPreset15]\nMidiOutDevName=Last\n");
  Prefs_Load(path);
  EXPECT_EQ(UserPrefs.MidiInDevName, QString::fromUtf8("Port d'entrée 1"));
  EXPECT_EQ(UserPrefs.MidiOutDevName, "Synth = 2");
  EXPECT_EQ(UserPrefs.SendBulkPresets[15].MidiOutDevName, "Last");
  EXPECT_TRUE(UserPrefs.SendBulkPresets[14].MidiOutDevName.isEmpty());
}

QByteArray FreshFile() {
  QByteArray text = "[Test]\nWriteTest=1\n[Log]\nLogItemMax=400\n[MidiDevice]\nMidiInDevName=\nMidiOutDevName=\n";
  for (int i = 0; i < SendBulkPresetCount; ++i) {
    text += QString::asprintf("[ToolsSendBulkPreset%02d]\n", i).toUtf8();
    const char* values[] = {"", "0", "1", "1", "0", "1", "16", "0", "127", "0", "127", "100", "0"};
    for (int k = 0; k < 13; ++k) text += QByteArray(kPresetKeys[k]) + "=" + values[k] + "\n";
  }
  return text;
}

TEST_F(PrefsTest, FreshFileHoldsSectionsAndKeysInOrder) {
  Prefs_Load(path);  // defaults
  Prefs_Save(path);
  EXPECT_EQ(Content(), FreshFile());
}

TEST_F(PrefsTest, SavingTwiceWritesTheSame) {
  Prefs_Load(path);
  Prefs_Save(path);
  const QByteArray first = Content();
  int writes = 0;
  TIniFile::SetBeforeCommitHook([&](QSaveFile&) { ++writes; });
  Prefs_Save(path);
  EXPECT_EQ(Content(), first);
  EXPECT_EQ(writes, 1) << "only the write test touches the disk";
  UserPrefs.SendBulkPresets[15].LoopDelay = 5;
  Prefs_Save(path);
  EXPECT_EQ(writes, 3);
  EXPECT_TRUE(Content().endsWith("LoopDelay=5\nEventTypeIndex=0\n"));
}

TEST_F(PrefsTest, EveryFieldRoundTripsAndPresetIndexIsNeverWritten) {
  LogMaxEvents = 1234;
  UserPrefs.MidiInDevName = QString::fromUtf8("Entrée ① USB");
  UserPrefs.MidiOutDevName = "Out B";
  for (int i = 0; i < SendBulkPresetCount; ++i) {
    TSendBulkPreset& p = UserPrefs.SendBulkPresets[i];
    p.MidiOutDevName = QString("Synth %1").arg(i);
    p.Data0Loop = i & 1;
    p.Data1Loop = i & 2;
    p.Data2Loop = i & 4;
    p.LoopInfinite = i & 8;
    p.Data0Min = static_cast<std::uint8_t>(i + 1);
    p.Data0Max = 16;
    p.Data1Min = static_cast<std::uint8_t>(i);
    p.Data1Max = static_cast<std::uint8_t>(100 + i);
    p.Data2Min = static_cast<std::uint8_t>(2 * i);
    p.Data2Max = 255;
    p.LoopDelay = -i * 1000;
    p.EventTypeIndex = i % 3;
  }
  UserPrefs.PresetIndex = 9;
  const TUserPrefs saved = UserPrefs;
  Prefs_Save(path);
  EXPECT_FALSE(Content().contains("PresetIndex"));

  UserPrefs = TUserPrefs{};
  LogMaxEvents = 0;
  Prefs_Load(path);
  EXPECT_EQ(LogMaxEvents, 1234);
  EXPECT_EQ(UserPrefs.MidiInDevName, saved.MidiInDevName);
  EXPECT_EQ(UserPrefs.MidiOutDevName, saved.MidiOutDevName);
  EXPECT_EQ(UserPrefs.PresetIndex, 0);
  for (int i = 0; i < SendBulkPresetCount; ++i) {
    SCOPED_TRACE(i);
    const TSendBulkPreset& a = UserPrefs.SendBulkPresets[i];
    const TSendBulkPreset& b = saved.SendBulkPresets[i];
    EXPECT_EQ(a.MidiOutDevName, b.MidiOutDevName);
    EXPECT_EQ(std::make_tuple(a.Data0Loop, a.Data1Loop, a.Data2Loop, a.LoopInfinite),
              std::make_tuple(b.Data0Loop, b.Data1Loop, b.Data2Loop, b.LoopInfinite));
    EXPECT_EQ(std::make_tuple(a.Data0Min, a.Data0Max, a.Data1Min, a.Data1Max, a.Data2Min, a.Data2Max),
              std::make_tuple(b.Data0Min, b.Data0Max, b.Data1Min, b.Data1Max, b.Data2Min, b.Data2Max));
    EXPECT_EQ(a.LoopDelay, b.LoopDelay);
    EXPECT_EQ(a.EventTypeIndex, b.EventTypeIndex);
  }
}

TEST_F(PrefsTest, HandWrittenContentSurvivesASave) {
  const QByteArray head =
      "; Orvalis, written by hand\r\n"
      "\r\n"
      "[Custom]\r\n"
      "foo = bar\r\n"
      "\r\n"
      "[log]\r\n";
  const QByteArray tail =
      "Note=keep me\r\n"
      "\r\n"
      "[ToolsSendBulkPreset02]\r\n"
      "Colour=blue\r\n"
      "; end\r\n";
  Put(head + "logitemmax=12\r\n" + tail);
  Prefs_Load(path);
  EXPECT_EQ(LogMaxEvents, 12);
  LogMaxEvents = 50;
  Prefs_Save(path);
  const QByteArray after = Content();
  EXPECT_TRUE(after.startsWith(head + "logitemmax=50\r\nNote=keep me\r\n\r\n[ToolsSendBulkPreset02]\r\nColour=blue\r\n"
                                      "MidiOutDevName=\r\n"))
      << after.toStdString();
  EXPECT_TRUE(after.contains("EventTypeIndex=0\r\n; end\r\n[Test]\r\nWriteTest=1\r\n[MidiDevice]\r\n"))
      << "new keys at the end of their section, new sections at the end of the file";
  EXPECT_FALSE(QByteArray(after).replace("\r\n", "").contains('\n')) << "the file's line ending is kept";
}

TEST_F(PrefsTest, UnwritableFileWritesAndRaisesNothing) {
  // chmod does not stop root, under whom the tests run; a missing folder and
  // a directory in the file's place refuse every writer.
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
  for (const QString& place : {dir.filePath("missing/orvalis.ini"), dir.filePath("folder.ini")}) {
    SCOPED_TRACE(place.toStdString());
    EXPECT_FALSE(Prefs_WriteTest(place));
    EXPECT_NO_THROW(Prefs_Save(place));
  }
  EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
  EXPECT_TRUE(QDir(dir.filePath("folder.ini")).isEmpty());
  Prefs_Load(dir.filePath("folder.ini"));
  EXPECT_EQ(LogMaxEvents, 400) << "an unreadable file loads the defaults";
}

TEST_F(PrefsTest, WriteTestLeavesItsMarker) {
  EXPECT_TRUE(Prefs_WriteTest(path));
  EXPECT_EQ(Content(), "[Test]\nWriteTest=1\n");
}

TEST_F(PrefsTest, WriteFailingAfterTheTestRaisesAndKeepsTheFileWhole) {
  Prefs_Load(path);
  UserPrefs.SendBulkPresets[4].LoopDelay = 250;
  Prefs_Save(path);
  const QByteArray before = Content();
  LogMaxEvents = 77;
  UserPrefs.MidiInDevName = "New In";
  UserPrefs.MidiOutDevName = "New Out";
  UserPrefs.SendBulkPresets[4].LoopDelay = 100;
  int writes = 0;
  TIniFile::SetBeforeCommitHook([&](QSaveFile& file) {
    if (++writes == 2) file.cancelWriting();  // the write test passes, the save fails
  });
  try {
    Prefs_Save(path);
    FAIL() << "no error raised";
  } catch (const EIniWriteError& error) {
    EXPECT_EQ(error.Text(), QString::fromUtf8("Impossible d'écrire dans ") + path);
  }
  EXPECT_EQ(writes, 2) << "the write test, then every key at once";
  EXPECT_EQ(Content(), before) << "no key of the failed save reached the file";
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"orvalis.ini"}) << "no temporary file left";
}

class ApplyToWidgets : public PrefsTest {
protected:
  void SetUp() override {
    PrefsTest::SetUp();
    spin.setRange(1, 10000);
    spin.setValue(400);
    in.addItems({"Midi Through", "USB Keyboard", "usb keyboard"});
    out.addItems({"Synth A", "Synth B"});
    QObject::connect(&spin, &QSpinBox::valueChanged, [this] { ++changes; });
    QObject::connect(&in, &QComboBox::currentIndexChanged, [this] { ++changes; });
    QObject::connect(&out, &QComboBox::currentIndexChanged, [this] { ++changes; });
  }
  QSpinBox spin;
  QComboBox in, out;
  int changes = 0;
};

TEST_F(ApplyToWidgets, SelectsNamesIgnoringLetterCaseWithoutFiringHandlers) {
  LogMaxEvents = 250;
  UserPrefs.MidiInDevName = "USB KEYBOARD";
  UserPrefs.MidiOutDevName = "synth b";
  Prefs_ApplyToWidgets(&spin, &in, &out);
  EXPECT_EQ(spin.value(), 250);
  EXPECT_EQ(in.currentIndex(), 1) << "the first matching entry";
  EXPECT_EQ(out.currentIndex(), 1);
  EXPECT_EQ(changes, 0);
}

TEST_F(ApplyToWidgets, UnknownOrEmptyNameLeavesSelection) {
  in.setCurrentIndex(2);
  changes = 0;
  LogMaxEvents = 400;
  UserPrefs.MidiInDevName = "USB";  // a part of a name is no match
  UserPrefs.MidiOutDevName = "";
  Prefs_ApplyToWidgets(&spin, &in, &out);
  EXPECT_EQ(in.currentIndex(), 2);
  EXPECT_EQ(out.currentIndex(), 0);
  EXPECT_EQ(changes, 0);
}

TEST_F(ApplyToWidgets, OutOfRangeLogLengthTakesTheBoxsLimit) {
  LogMaxEvents = 0;
  Prefs_ApplyToWidgets(&spin, &in, &out);
  EXPECT_EQ(spin.value(), 1);
  EXPECT_EQ(LogMaxEvents, 1);
  LogMaxEvents = 50000;
  Prefs_ApplyToWidgets(&spin, nullptr, nullptr);
  EXPECT_EQ(LogMaxEvents, 10000);
}

TEST(PrefsFileName, BesideTheExecutableWithIniExtension) {
  QTemporaryDir dir;
  const QString fallback = dir.filePath("config");
  EXPECT_EQ(Prefs_FileNameFor(dir.filePath("orvalis"), fallback), dir.filePath("orvalis.ini"));
  EXPECT_EQ(Prefs_FileNameFor(dir.filePath("orvalis.exe"), fallback), dir.filePath("orvalis.ini"));
  EXPECT_FALSE(QFile::exists(fallback));
}

TEST(PrefsFileName, UnwritableFolderWithoutFileFallsBackToConfigFolder) {
  QTemporaryDir dir;
  const QString fallback = dir.filePath("config/Orvalis");
  EXPECT_EQ(Prefs_FileNameFor(dir.filePath("gone/orvalis"), fallback), fallback + "/orvalis.ini");
  EXPECT_TRUE(QDir(fallback).exists()) << "created as needed";
}

TEST(PrefsFileName, InstalledCopyKeepsItsFileInTheConfigFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(QDir(dir.path()).mkpath("usr/bin"));
  const QString bin = dir.filePath("usr/bin");
  const QString fallback = dir.filePath("home/.config/orvalis");
  // Even with a writable folder and a stray file beside it.
  QFile stray(bin + "/orvalis.ini");
  ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
  stray.close();
  EXPECT_EQ(Prefs_FileNameFor(bin + "/orvalis", fallback, bin), fallback + "/orvalis.ini");
  EXPECT_EQ(Prefs_FileNameFor(bin + "/orvalis", fallback, dir.filePath("usr/bin/")), fallback + "/orvalis.ini")
      << "the same folder spelt with a trailing slash";
  EXPECT_EQ(Prefs_FileNameFor(bin + "/orvalis", fallback, dir.filePath("usr/local/bin")), bin + "/orvalis.ini")
      << "a copy elsewhere is not the installed one";
}

TEST(PrefsFileName, DefaultIsBesideThisProgram) {
  const QString name = Prefs_DefaultFileName();
  EXPECT_TRUE(name.endsWith(".ini"));
}

}  // namespace
