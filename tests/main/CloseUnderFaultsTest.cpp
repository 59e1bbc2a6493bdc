// Closing the main window when its preferences cannot be saved: the folder
// is full, or turns read-only between the write test and the save. The window
// closes all the same, with its ports, silently, and the file is untouched.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QTimer>

#include "IniFile.h"
#include "MainWindowFixture.h"
#include "TmpfsMount.h"

namespace {

enum class Fault { Full, RoomForTheWriteTest, ReadOnlyAfterWriteTest };

struct CloseFaultCase {
  const char* name;
  Fault fault;
  int writes;  // attempts to write the file: 2 when the write test passed
};

// The file the window starts with: one block on the disk.
const QByteArray kPrevious =
    "[Test]\nWriteTest=1\n[Log]\nLogItemMax=250\n[MidiDevice]\nMidiInDevName=Keyboard\n"
    "MidiOutDevName=Synth A\n[ToolsSendBulkPreset03]\nLoopDelay=250\n";

// The fixture's preferences folder is a small tmpfs.
class CloseUnderFaults : public MainWindowFixture, public ::testing::WithParamInterface<CloseFaultCase> {
 protected:
  void SetUp() override {
    REQUIRE_TMPFS(mount);
    QFile file(mount.FilePath("orvalis.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kPrevious);
  }
  void TearDown() override {
    TIniFile::SetBeforeWriteHook(nullptr);
    MainWindowFixture::TearDown();
  }

  QByteArray Content() const {
    QFile file(PrefsFileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  TTmpfsMount mount{256 * 1024, prefsDir.path()};
  int writes = 0;
  bool remounted = false;
};

TEST_P(CloseUnderFaults, WindowClosesWithItsPortsAndTheFileStaysWhole) {
  Start();
  ASSERT_EQ(PrefsFileName, mount.FilePath("orvalis.ini"));
  ASSERT_EQ(UserPrefs.SendBulkPresets[3].LoopDelay, 250) << "the window started from the file on the tmpfs";
  ASSERT_EQ(MidiInPort->State(), misOpen);
  ASSERT_EQ(MidiOutPort->State(), mosOpen);

  TIniFile::SetBeforeWriteHook([this] {
    if (++writes == 2 && GetParam().fault == Fault::ReadOnlyAfterWriteTest) remounted = mount.RemountReadOnly();
  });
  switch (GetParam().fault) {
    case Fault::Full:
      ASSERT_TRUE(mount.FillLeaving(0)) << mount.Error();
      break;
    case Fault::RoomForTheWriteTest:
      ASSERT_TRUE(mount.FillLeaving(mount.BlockSize())) << mount.Error();
      break;
    case Fault::ReadOnlyAfterWriteTest:
      break;
  }
  // Changes whose file needs more than the previous one's block.
  window->seLogMaxEvents->setValue(123);
  for (TSendBulkPreset& preset : UserPrefs.SendBulkPresets) preset.MidiOutDevName = QString(400, QChar('x'));

  // The user's Quit, through the event loop.
  QTimer::singleShot(0, window.get(), [this] { window->ActAppCloseExecute(window.get()); });
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_NO_THROW(QCoreApplication::processEvents());
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(writes, GetParam().writes) << "the write test, then the save if the test passed";
  if (GetParam().fault == Fault::ReadOnlyAfterWriteTest) {
    EXPECT_TRUE(remounted) << mount.Error();
  }
  EXPECT_FALSE(window->isVisible()) << "the window closed";
  EXPECT_TRUE(AbortDelay);
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_FALSE(midi->OutputOpen());
  EXPECT_EQ(Content(), kPrevious);
  for (const QString& name : QDir(mount.Path()).entryList(QDir::Files | QDir::Hidden))
    EXPECT_TRUE(name == "orvalis.ini" || name == TTmpfsMount::FillerName) << "left behind: " << name.toStdString();
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
}

INSTANTIATE_TEST_SUITE_P(Faults, CloseUnderFaults,
                         ::testing::Values(CloseFaultCase{"Full", Fault::Full, 1},
                                           CloseFaultCase{"RoomForTheWriteTestOnly", Fault::RoomForTheWriteTest, 2},
                                           CloseFaultCase{"ReadOnlyBetweenWriteTestAndSave",
                                                          Fault::ReadOnlyAfterWriteTest, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
