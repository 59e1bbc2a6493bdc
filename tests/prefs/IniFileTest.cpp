#include "IniFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class IniFileTest : public ::testing::Test {
protected:
  void TearDown() override { TIniFile::SetBeforeCommitHook(nullptr); }

  QString Put(const QByteArray& content) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
  }
  QByteArray Content() const {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir dir;
  QString path = dir.filePath("test.ini");
};

TEST_F(IniFileTest, ReadsIgnoringLetterCaseFirstOccurrenceWinsValuesTrimmed) {
  Put("\xEF\xBB\xBF[Alpha]\n"
      "; Key=comment\n"
      "# Other=comment too\n"
      "Key = first value \n"
      "key=second\n"
      "[beta]\n"
      "Name=in beta\n"
      "[BETA]\n"
      "Name=second beta\n"
      "Empty=\n");
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("alpha", "KEY", "d"), "first value");
  EXPECT_EQ(ini.ReadString("Beta", "name", "d"), "in beta");
  EXPECT_EQ(ini.ReadString("Alpha", "; Key", "d"), "d") << "comments hold no keys";
  EXPECT_EQ(ini.ReadString("Alpha", "Name", "d"), "d") << "keys belong to their own section";
  EXPECT_EQ(ini.ReadString("Gamma", "Key", "d"), "d");
  EXPECT_EQ(ini.ReadString("BETA", "Empty", "d"), "d") << "only the first [beta] counts";
}

TEST_F(IniFileTest, MissingFileReadsDefaultsAndIsNotCreated) {
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("A", "B", "fallback"), "fallback");
  EXPECT_FALSE(QFile::exists(path));
}

TEST_F(IniFileTest, LongValueReadBackUpTo2047Characters) {
  const QString longValue(3000, QChar('x'));
  TIniFile(path).WriteString("S", "K", longValue);
  EXPECT_EQ(TIniFile(path).ReadString("S", "K", ""), QString(2047, QChar('x')));
  TIniFile(path).WriteString("S", "K", QString(2047, QChar('y')));
  EXPECT_EQ(TIniFile(path).ReadString("S", "K", "").size(), 2047);
}

TEST_F(IniFileTest, WritesUtf8) {
  TIniFile(path).WriteString("MidiDevice", "Name", QString::fromUtf8("Périphérique ① MIDI"));
  EXPECT_EQ(Content(), QByteArray("[MidiDevice]\nName=P\xC3\xA9riph\xC3\xA9rique \xE2\x91\xA0 MIDI\n"));
  EXPECT_EQ(TIniFile(path).ReadString("mididevice", "name", ""), QString::fromUtf8("Périphérique ① MIDI"));
}

struct WriteCase {
  const char* name;
  QByteArray before;
  const char* section;
  const char* key;
  const char* value;
  QByteArray after;
};

class IniFileWrite : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniFileWrite, ChangesOnlyWhatItMust) {
  const WriteCase& c = GetParam();
  if (!c.before.isNull()) Put(c.before);
  TIniFile(path).WriteString(c.section, c.key, c.value);
  EXPECT_EQ(Content(), c.after);
}

TEST_P(IniFileWrite, GatheredWriteChangesTheSame) {
  const WriteCase& c = GetParam();
  if (!c.before.isNull()) Put(c.before);
  TIniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString(c.section, c.key, c.value);
  ini.UpdateFile();
  EXPECT_EQ(Content(), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniFileWrite,
    ::testing::Values(
        WriteCase{"CreatesFile", QByteArray(), "S", "K", "v", "[S]\nK=v\n"},
        WriteCase{"ReplacesInPlaceKeepingEverythingElse",
                  "; top\r\n\r\n[Other]\r\nx = 1\r\n\r\n[s]\r\nA=1\r\nk = old\r\nB=2\r\n",
                  "S", "K", "new",
                  "; top\r\n\r\n[Other]\r\nx = 1\r\n\r\n[s]\r\nA=1\r\nk=new\r\nB=2\r\n"},
        WriteCase{"NewKeyAfterLastEntryOfItsSection",
                  "[S]\nA=1\n\n; next section\n[T]\nB=2\n", "s", "New", "3",
                  "[S]\nA=1\nNew=3\n\n; next section\n[T]\nB=2\n"},
        WriteCase{"NewKeyInEmptySectionRightAfterHeader", "[S]\n\n[T]\n", "S", "K", "v", "[S]\nK=v\n\n[T]\n"},
        WriteCase{"NewSectionAtEndAfterMissingLineEnd", "[S]\nA=1", "T", "K", "v", "[S]\nA=1\n[T]\nK=v\n"},
        WriteCase{"NewSectionUsesTheFilesLineEnding", "[S]\r\nA=1\r\n", "T", "K", "v", "[S]\r\nA=1\r\n[T]\r\nK=v\r\n"},
        WriteCase{"LastLineWithoutLineEndReplaced", "[S]\nK=1", "S", "K", "2", "[S]\nK=2"},
        WriteCase{"LineBreaksInValueBecomeSpaces", QByteArray(), "S", "K", "a\nb\r\nc\r[X]",
                  "[S]\nK=a b c [X]\n"},
        WriteCase{"KeepsByteOrderMarkAndUnknownBytes", "\xEF\xBB\xBF[S]\nRaw=\xFF\xFE\nK=1\n", "S", "K", "2",
                  "\xEF\xBB\xBF[S]\nRaw=\xFF\xFE\nK=2\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, WriteThatChangesNothingIsSkippedUnlessAsked) {
  Put("[S]\nK=1\nSpaced = 1\n");
  int commits = 0;
  TIniFile::SetBeforeCommitHook([&](QSaveFile&) { ++commits; });
  TIniFile ini(path);
  ini.WriteString("s", "k", "1");
  EXPECT_EQ(commits, 0);
  ini.WriteString("S", "K", "1", true);
  EXPECT_EQ(commits, 1);
  ini.WriteString("S", "Spaced", "1");
  EXPECT_EQ(commits, 2) << "same value, other bytes";
  EXPECT_EQ(Content(), "[S]\nK=1\nSpaced=1\n");
  QFile::remove(path);
  ini.WriteString("S", "K", "1");
  EXPECT_EQ(commits, 3) << "a file that has gone is written again";
  EXPECT_EQ(Content(), "[S]\nK=1\nSpaced=1\n");
}

TEST_F(IniFileTest, FailedWriteRaisesAndLeavesPreviousFileWhole) {
  const QByteArray before = "[S]\nK=1\nOther=keep\n";
  Put(before);
  TIniFile ini(path);
  TIniFile::SetBeforeCommitHook([](QSaveFile& file) { file.cancelWriting(); });
  try {
    ini.WriteString("S", "K", "2");
    FAIL() << "no error raised";
  } catch (const EIniWriteError& error) {
    EXPECT_EQ(error.Text(), QString::fromUtf8("Impossible d'écrire dans %1").arg(path));
    EXPECT_EQ(std::string(error.what()), error.Text().toStdString());
  }
  EXPECT_EQ(Content(), before);
  EXPECT_EQ(ini.ReadString("S", "K", ""), "1") << "memory follows the file";
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"test.ini"}) << "no temporary file left";
}

TEST_F(IniFileTest, GatheredWritesReachTheDiskInOneReplacement) {
  const QByteArray before = "; mine\n[S]\nA=1\nB=2\n";
  Put(before);
  int commits = 0;
  TIniFile::SetBeforeCommitHook([&](QSaveFile&) { ++commits; });
  TIniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString("S", "A", "10");
  ini.WriteString("S", "C", "3");
  ini.WriteString("T", "D", "4");
  ini.WriteString("S", "A", "11");
  EXPECT_EQ(Content(), before) << "nothing written before UpdateFile";
  EXPECT_EQ(ini.ReadString("S", "A", ""), "11") << "reads see the gathered writes";
  ini.UpdateFile();
  EXPECT_EQ(commits, 1);
  EXPECT_EQ(Content(), "; mine\n[S]\nA=11\nB=2\nC=3\n[T]\nD=4\n");
  ini.WriteString("S", "B", "20");
  EXPECT_EQ(commits, 2) << "after UpdateFile each write goes to the disk again";
}

struct GatheredSkipCase {
  const char* name;
  bool forced;       // one write asks evenIfUnchanged
  bool fileRemoved;  // the file is gone before UpdateFile
  int commits;
};

class IniFileGatheredSkip : public IniFileTest, public ::testing::WithParamInterface<GatheredSkipCase> {};

TEST_P(IniFileGatheredSkip, WritesOnlyWhatChangesOrIsAskedFor) {
  const GatheredSkipCase& c = GetParam();
  Put("[S]\nK=1\nL=2\n");
  int commits = 0;
  TIniFile::SetBeforeCommitHook([&](QSaveFile&) { ++commits; });
  TIniFile ini(path);
  ini.BeginUpdate();
  ini.WriteString("S", "K", "1", c.forced);
  ini.WriteString("S", "L", "5");
  ini.WriteString("S", "L", "2");  // and back
  if (c.fileRemoved) QFile::remove(path);
  ini.UpdateFile();
  EXPECT_EQ(commits, c.commits);
  EXPECT_EQ(Content(), "[S]\nK=1\nL=2\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, IniFileGatheredSkip,
                         ::testing::Values(GatheredSkipCase{"NoChangeNoWrite", false, false, 0},
                                           GatheredSkipCase{"AskedEvenIfUnchanged", true, false, 1},
                                           GatheredSkipCase{"FileGoneIsWrittenAgain", false, true, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, FailedGatheredWriteLeavesFileAndMemoryAsBefore) {
  const QByteArray before = "[S]\r\nK=1\r\nOther=keep\r\n";
  Put(before);
  TIniFile ini(path);
  TIniFile::SetBeforeCommitHook([](QSaveFile& file) { file.cancelWriting(); });
  ini.BeginUpdate();
  ini.WriteString("S", "K", "2");
  ini.WriteString("New", "X", "y");
  try {
    ini.UpdateFile();
    FAIL() << "no error raised";
  } catch (const EIniWriteError& error) {
    EXPECT_EQ(error.Text(), QString::fromUtf8("Impossible d'écrire dans %1").arg(path));
  }
  EXPECT_EQ(Content(), before);
  EXPECT_EQ(ini.ReadString("S", "K", ""), "1") << "memory follows the file";
  EXPECT_EQ(ini.ReadString("New", "X", "none"), "none");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"test.ini"}) << "no temporary file left";

  TIniFile::SetBeforeCommitHook(nullptr);
  ini.WriteString("S", "Other", "changed");
  EXPECT_EQ(Content(), "[S]\r\nK=1\r\nOther=changed\r\n") << "the failed writes are not carried along";
}

TEST_F(IniFileTest, GatheredWritesNeverUpdatedAreDropped) {
  Put("[S]\nK=1\n");
  {
    TIniFile ini(path);
    ini.BeginUpdate();
    ini.WriteString("S", "K", "2");
  }
  EXPECT_EQ(Content(), "[S]\nK=1\n");
}

TEST_F(IniFileTest, UnwritablePlacesRaise) {
  // Tests run as root, for whom file permissions do not stop a write; a
  // missing folder and a directory in the file's place stop anyone.
  const QString missingFolder = dir.filePath("missing/test.ini");
  EXPECT_THROW(TIniFile(missingFolder).WriteString("S", "K", "v"), EIniWriteError);
  EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
  EXPECT_THROW(TIniFile(dir.filePath("folder.ini")).WriteString("S", "K", "v"), EIniWriteError);
}

TEST_F(IniFileTest, ReadOnlyFileIsNotReplaced) {
  Put("[S]\nK=1\n");
  QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
  if (geteuid() == 0) GTEST_SKIP() << "root may write read-only files";
  EXPECT_THROW(TIniFile(path).WriteString("S", "K", "2"), EIniWriteError);
  EXPECT_EQ(Content(), "[S]\nK=1\n");
}

TEST_F(IniFileTest, ReplacingKeepsTheFilesPermissions) {
  Put("[S]\nK=1\n");
  const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
  QFile::setPermissions(path, permissions);
  TIniFile(path).WriteString("S", "K", "2");
  EXPECT_EQ(QFile::permissions(path) & QFileDevice::Permissions(0x7077), permissions);
}

}  // namespace
