// The file commands' section of the preferences file.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "FilePrefs.h"
#include "FileTestSupport.h"
#include "IniFile.h"

namespace {

class FilePrefsTest : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  QString path = folder.filePath("orvalis.ini");
};

TEST_F(FilePrefsTest, WithoutAFileOrASectionEverythingHasItsDefault) {
  EXPECT_EQ(FilePrefs::Load(QString()), FilePrefs{});
  EXPECT_EQ(FilePrefs::Load(path), FilePrefs{});
  const FilePrefs defaults = FilePrefs::Load(path);
  EXPECT_EQ(defaults.SendPauseMs, 20);
  EXPECT_EQ(defaults.LogFolder, "");
}

TEST_F(FilePrefsTest, SavedValuesComeBackAndTheOtherSectionsStayByteForByte) {
  const QByteArray before = "; by hand\n[Log]\nLogItemMax=250\n\n[MidiDevice]\nMidiInDevName=Keyboard\n";
  ASSERT_TRUE(WriteFile(path, before));
  FilePrefs prefs;
  prefs.LogFolder = "/home/user/logs";
  prefs.TrafficFolder = QString::fromUtf8("/home/user/trafic é");
  prefs.SysexSaveFolder = "/tmp/in";
  prefs.SysexSendFolder = "/tmp/out";
  prefs.SendPauseMs = 125;
  prefs.Save(path);
  EXPECT_EQ(FilePrefs::Load(path), prefs);
  EXPECT_EQ(ReadAll(path), before + QByteArray("[Files]\nLogFolder=/home/user/logs\nTrafficFolder=/home/user/trafic "
                                               "\xC3\xA9\nSysexSaveFolder=/tmp/in\nSysexSendFolder=/tmp/out\n"
                                               "SysexSendPauseMs=125\n"));
}

struct PauseCase {
  const char* name;
  const char* stored;
  int loaded;
};

class FilePrefsPause : public FilePrefsTest, public ::testing::WithParamInterface<PauseCase> {};

TEST_P(FilePrefsPause, IsBroughtIntoItsRange) {
  TIniFile(path).WriteString("Files", "SysexSendPauseMs", GetParam().stored);
  EXPECT_EQ(FilePrefs::Load(path).SendPauseMs, GetParam().loaded);
}

INSTANTIATE_TEST_SUITE_P(Values, FilePrefsPause,
                         ::testing::Values(PauseCase{"InRange", "0", 0}, PauseCase{"Largest", "1000", 1000},
                                           PauseCase{"TooLarge", "5000", 1000}, PauseCase{"Negative", "-3", 0},
                                           PauseCase{"NotANumber", "abc", 20}, PauseCase{"Empty", "", 20}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilePrefsTest, AFileThatCannotBeWrittenRaisesTheIniLayersError) {
  EXPECT_THROW(FilePrefs{}.Save(folder.filePath("missing/orvalis.ini")), EIniWriteError);
}

}  // namespace
