// Saving the preferences on a real file system that is full or turns
// read-only: the previous file stays byte for byte, nothing half-written is
// left, and the error reaches the caller only where the write test passed.
// The same holds where the folder refuses new files and the file is written
// in place.
#include "EffectiveUser.h"
#include "IniFile.h"
#include "TmpfsMount.h"
#include "uUserPrefs.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

enum class Fault {
  Full,                    // not one block free
  RoomForTheWriteTest,     // the write test fits, the whole save does not
  ReadOnly,                // read-only before the save begins
  ReadOnlyAfterWriteTest,  // turns read-only between the write test and the save's write
};

struct FaultCase {
  const char* name;
  Fault fault;
  bool raises;  // only a failure after a successful write test reaches the caller
};

class PrefsOnTmpfs : public ::testing::TestWithParam<FaultCase> {
 protected:
  void SetUp() override {
    REQUIRE_TMPFS(mount);
    UserPrefs = TUserPrefs{};
    LogMaxEvents = 0;
  }
  void TearDown() override {
    TIniFile::SetBeforeCommitHook(nullptr);
    TIniFile::SetBeforeWriteHook(nullptr);
  }

  QByteArray Content() const {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  QStringList Files() const { return QDir(mount.Path()).entryList(QDir::Files | QDir::Hidden); }

  // Values that need more room than the file they replace.
  static void ChangeToLongerValues() {
    LogMaxEvents = 9999;
    UserPrefs.MidiInDevName = "Another input";
    for (TSendBulkPreset& preset : UserPrefs.SendBulkPresets) preset.MidiOutDevName = QString(400, QChar('x'));
  }

  // Sets the fault up; `blocksForTheWriteTest` is what the write test needs.
  void Apply(Fault fault, qint64 blocksForTheWriteTest) {
    switch (fault) {
      case Fault::Full:
        ASSERT_TRUE(mount.FillLeaving(0)) << mount.Error();
        break;
      case Fault::RoomForTheWriteTest:
        ASSERT_TRUE(mount.FillLeaving(blocksForTheWriteTest * mount.BlockSize())) << mount.Error();
        break;
      case Fault::ReadOnly:
        ASSERT_TRUE(mount.RemountReadOnly()) << mount.Error();
        break;
      case Fault::ReadOnlyAfterWriteTest:
        TIniFile::SetBeforeWriteHook([this] {
          if (++writes == 2) remounted = mount.RemountReadOnly();
        });
        break;
    }
  }

  // Runs Prefs_Save; true if it raised the ini layer's error for this file.
  bool SaveRaised() {
    try {
      Prefs_Save(path);
    } catch (const EIniWriteError& error) {
      EXPECT_EQ(error.Text(), QString::fromUtf8("Impossible d'écrire dans ") + path);
      return true;
    }
    return false;
  }

  void ExpectTheFaultTookPlace(Fault fault) {
    if (fault != Fault::ReadOnlyAfterWriteTest) return;
    EXPECT_EQ(writes, 2) << "the write test, then the save";
    EXPECT_TRUE(remounted) << mount.Error();
  }

  TTmpfsMount mount{256 * 1024};
  QString path = mount.FilePath("orvalis.ini");
  int writes = 0;
  bool remounted = false;
};

qint64 BlocksFor(qint64 bytes, qint64 block) { return (bytes + block - 1) / block; }

using PreviousFileOnTmpfs = PrefsOnTmpfs;

TEST_P(PreviousFileOnTmpfs, StaysByteForByte) {
  const FaultCase& c = GetParam();
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("; kept by hand\n");
  }
  Prefs_Load(path);
  UserPrefs.MidiOutDevName = "Synth A";
  UserPrefs.SendBulkPresets[3].LoopDelay = 250;
  UserPrefs.SendBulkPresets[3].EventTypeIndex = 2;
  ASSERT_NO_THROW(Prefs_Save(path)) << "with room, the save works here";
  const QByteArray before = Content();
  ASSERT_TRUE(before.contains("[ToolsSendBulkPreset03]\nMidiOutDevName=\nData0Loop=0"));

  ChangeToLongerValues();
  Apply(c.fault, BlocksFor(before.size(), mount.BlockSize()));
  EXPECT_EQ(SaveRaised(), c.raises);
  ExpectTheFaultTookPlace(c.fault);

  EXPECT_EQ(Content(), before);
  QStringList expected{"orvalis.ini"};
  if (c.fault == Fault::Full || c.fault == Fault::RoomForTheWriteTest) expected.append(TTmpfsMount::FillerName);
  expected.sort();
  EXPECT_EQ(Files(), expected) << "no temporary file left";

  UserPrefs = TUserPrefs{};
  Prefs_Load(path);
  EXPECT_EQ(UserPrefs.SendBulkPresets[3].LoopDelay, 250);
  EXPECT_EQ(UserPrefs.SendBulkPresets[3].MidiOutDevName, "");
  EXPECT_EQ(UserPrefs.MidiOutDevName, "Synth A");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PreviousFileOnTmpfs,
    ::testing::Values(FaultCase{"Full", Fault::Full, false},
                      FaultCase{"RoomForTheWriteTestOnly", Fault::RoomForTheWriteTest, true},
                      FaultCase{"ReadOnly", Fault::ReadOnly, false},
                      FaultCase{"ReadOnlyBetweenWriteTestAndSave", Fault::ReadOnlyAfterWriteTest, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A folder that refuses new files, as an installed program's: the file is
// written in place, and a disk without room for the new content still leaves
// the previous one whole (the write test, which needs no new block, passes).
using InPlaceOnTmpfs = PrefsOnTmpfs;

TEST_P(InPlaceOnTmpfs, StaysByteForByte) {
  const FaultCase& c = GetParam();
  if (geteuid() != 0) GTEST_SKIP() << "acting as an ordinary user needs root";
  Prefs_Load(path);
  UserPrefs.SendBulkPresets[3].LoopDelay = 250;
  ASSERT_NO_THROW(Prefs_Save(path));
  const QByteArray before = Content();
  ASSERT_EQ(chmod(mount.Path().toLocal8Bit().constData(), 0755), 0);
  ASSERT_EQ(chown(path.toLocal8Bit().constData(), kOrdinaryUserId, kOrdinaryUserId), 0);

  ChangeToLongerValues();
  Apply(c.fault, BlocksFor(before.size(), mount.BlockSize()));
  bool raised = false;
  {
    TEffectiveUser user(kOrdinaryUserId);
    ASSERT_TRUE(user.Switched());
    raised = SaveRaised();
  }
  EXPECT_EQ(raised, c.raises);
  EXPECT_EQ(Content(), before);
  EXPECT_EQ(Files(), (QStringList{TTmpfsMount::FillerName, "orvalis.ini"}));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, InPlaceOnTmpfs,
    ::testing::Values(FaultCase{"Full", Fault::Full, true},
                      FaultCase{"RoomForTheWriteTestOnly", Fault::RoomForTheWriteTest, true}),
    [](const auto& info) { return std::string(info.param.name); });

using FreshFileOnTmpfs = PrefsOnTmpfs;

TEST_P(FreshFileOnTmpfs, LeavesNoFileOrAWholeOne) {
  const FaultCase& c = GetParam();
  Prefs_Load(path);  // defaults
  ChangeToLongerValues();
  Apply(c.fault, 1);
  EXPECT_EQ(SaveRaised(), c.raises);
  ExpectTheFaultTookPlace(c.fault);

  if (c.raises) {
    EXPECT_EQ(Content(), "[Test]\nWriteTest=1\n") << "the write test's marker, whole";
  } else {
    EXPECT_FALSE(QFile::exists(path));
  }
  const QStringList files = Files();
  for (const QString& name : files)
    EXPECT_TRUE(name == "orvalis.ini" || name == TTmpfsMount::FillerName) << "left behind: " << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FreshFileOnTmpfs,
    ::testing::Values(FaultCase{"Full", Fault::Full, false},
                      FaultCase{"RoomForTheWriteTestOnly", Fault::RoomForTheWriteTest, true},
                      FaultCase{"ReadOnlyBetweenWriteTestAndSave", Fault::ReadOnlyAfterWriteTest, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
