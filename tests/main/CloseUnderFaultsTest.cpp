// Closing the main window when its preferences cannot be saved: the folder
// is full, read-only, or turns read-only between the write test and the save.
// The first close keeps the window and says so in the status bar, the second
// closes it with its ports; the file is untouched and nothing is printed. A
// file whose folder refuses new files is saved in place; settings that the
// file already holds need no saving. A file made read-only on purpose, and
// the end of a session, close at the first request.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QTimer>

#include <sys/stat.h>

#include <csignal>

#include "EffectiveUser.h"
#include "IniFile.h"
#include "MainWindowFixture.h"
#include "StatusBar.h"
#include "TerminationSignals.h"
#include "TmpfsMount.h"

namespace {

enum class Fault { Full, RoomForTheWriteTest, ReadOnly, ReadOnlyAfterWriteTest };

struct CloseFaultCase {
  const char* name;
  Fault fault;
  int writes;  // attempts to write the file at the first close: 2 when the write test passed
};

// The file the window starts with: one block on the disk.
const QByteArray kPrevious =
    "[Test]\nWriteTest=1\n[Log]\nLogItemMax=250\n[MidiDevice]\nMidiInDevName=Keyboard\n"
    "MidiOutDevName=Synth A\n[ToolsSendBulkPreset03]\nLoopDelay=250\n";

// The fixture's preferences folder is a small tmpfs.
class PrefsOnTmpfs : public MainWindowFixture {
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

  // The user's Quit, through the event loop; what it printed.
  std::string Quit() {
    QTimer::singleShot(0, window.get(), [this] { window->ActAppCloseExecute(window.get()); });
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    EXPECT_NO_THROW(QCoreApplication::processEvents());
    const std::string out = ::testing::internal::GetCapturedStdout();
    return out + ::testing::internal::GetCapturedStderr();
  }

  QString NotSavedNote() const {
    return QStringLiteral("Préférences non enregistrées ! Fermer à nouveau pour quitter. Impossible d'écrire dans %1")
        .arg(PrefsFileName);
  }

  TTmpfsMount mount{256 * 1024, prefsDir.path()};
  int writes = 0;
  bool remounted = false;
};

class CloseUnderFaults : public PrefsOnTmpfs, public ::testing::WithParamInterface<CloseFaultCase> {};

TEST_P(CloseUnderFaults, TheFirstCloseSaysTheSettingsWereNotSavedAndTheSecondCloses) {
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
    case Fault::ReadOnly:
      ASSERT_TRUE(mount.RemountReadOnly()) << mount.Error();
      break;
    case Fault::ReadOnlyAfterWriteTest:
      break;
  }
  // Changes whose file needs more than the previous one's block.
  window->seLogMaxEvents->setValue(123);
  for (TSendBulkPreset& preset : UserPrefs.SendBulkPresets) preset.MidiOutDevName = QString(400, QChar('x'));

  EXPECT_EQ(Quit(), "");
  EXPECT_EQ(writes, GetParam().writes) << "the write test, then the save if the test passed";
  if (GetParam().fault == Fault::ReadOnlyAfterWriteTest) {
    EXPECT_TRUE(remounted) << mount.Error();
  }
  EXPECT_TRUE(window->isVisible()) << "the window stays to say so";
  EXPECT_EQ(window->sbMain->PanelText(1), NotSavedNote());
  EXPECT_TRUE(AbortDelay);
  EXPECT_EQ(MidiOutPort->State(), mosOpen);
  EXPECT_EQ(Content(), kPrevious);

  EXPECT_EQ(Quit(), "");
  EXPECT_FALSE(window->isVisible()) << "the second close closes";
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_FALSE(midi->OutputOpen());
  EXPECT_EQ(Content(), kPrevious);
  for (const QString& name : QDir(mount.Path()).entryList(QDir::Files | QDir::Hidden))
    EXPECT_TRUE(name == "orvalis.ini" || name == TTmpfsMount::FillerName) << "left behind: " << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Faults, CloseUnderFaults,
                         ::testing::Values(CloseFaultCase{"Full", Fault::Full, 1},
                                           CloseFaultCase{"RoomForTheWriteTestOnly", Fault::RoomForTheWriteTest, 2},
                                           CloseFaultCase{"ReadOnly", Fault::ReadOnly, 1},
                                           CloseFaultCase{"ReadOnlyBetweenWriteTestAndSave",
                                                          Fault::ReadOnlyAfterWriteTest, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// The end of a session (the desktop's quit request, a termination signal)
// waits for nobody: the first close closes, with its ports, whatever the save
// did, and the previous file stays whole.
enum class SessionEnd { ApplicationQuit, TerminationSignal };

class SessionEndOnAFullDisk : public PrefsOnTmpfs, public ::testing::WithParamInterface<SessionEnd> {};

TEST_P(SessionEndOnAFullDisk, ClosesAtTheFirstRequestWithoutAWord) {
  Start();
  ASSERT_TRUE(mount.FillLeaving(0)) << mount.Error();
  window->seLogMaxEvents->setValue(123);
  for (TSendBulkPreset& preset : UserPrefs.SendBulkPresets) preset.MidiOutDevName = QString(400, QChar('x'));

  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  if (GetParam() == SessionEnd::ApplicationQuit) {
    // What the desktop's session manager sends when the session ends.
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
  } else {
    TTerminationSignals termination([this] { window->CloseAtSessionEnd(); });
    ASSERT_TRUE(termination.IsActive());
    termination.Enable();
    std::raise(SIGTERM);
    PumpUntil([this] { return !window->isVisible(); }, 5000);
  }
  const std::string printed = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed, "");
  EXPECT_FALSE(window->isVisible()) << "one request closes";
  EXPECT_EQ(window->sbMain->PanelText(1), "");
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  EXPECT_EQ(Content(), kPrevious);
}

INSTANTIATE_TEST_SUITE_P(Ends, SessionEndOnAFullDisk,
                         ::testing::Values(SessionEnd::ApplicationQuit, SessionEnd::TerminationSignal),
                         [](const auto& info) {
                           return std::string(info.param == SessionEnd::ApplicationQuit ? "ApplicationQuit"
                                                                                        : "TerminationSignal");
                         });

// Nothing is lost when the file already holds every setting: the window
// closes at once, without a word.
TEST_F(PrefsOnTmpfs, UnchangedSettingsOnAReadOnlyDiskCloseAtOnce) {
  Start();
  Prefs_Save(PrefsFileName);
  const QByteArray saved = Content();
  ASSERT_NE(saved, kPrevious);
  ASSERT_TRUE(mount.RemountReadOnly()) << mount.Error();

  EXPECT_EQ(Quit(), "");
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->sbMain->PanelText(1), "");
  EXPECT_EQ(Content(), saved);
}

// A program installed in a folder that the user cannot write, with a
// preferences file that the user can: no temporary file can be made beside
// it, so the file is written in place.
class PrefsFolderTest : public MainWindowFixture {};

TEST_F(PrefsFolderTest, SettingsInAFolderThatRefusesNewFilesAreSavedInPlace) {
  const bool root = geteuid() == 0;
  const QString file = prefsDir.filePath("orvalis.ini");
  {
    QFile ini(file);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(kPrevious);
  }
  // Root may create files anywhere: the close then runs as an ordinary user
  // who owns the file and not the folder.
  if (root) {
    ASSERT_EQ(chown(file.toLocal8Bit().constData(), kOrdinaryUserId, kOrdinaryUserId), 0);
  }
  ASSERT_EQ(chmod(prefsDir.path().toLocal8Bit().constData(), root ? 0755 : 0555), 0);
  Start();
  window->seLogMaxEvents->setValue(123);
  {
    TEffectiveUser user(kOrdinaryUserId);
    ASSERT_EQ(user.Switched(), root);
    QFile probe(prefsDir.filePath("probe"));
    ASSERT_FALSE(probe.open(QIODevice::WriteOnly)) << "the folder must refuse new files";
    window->close();
  }
  ASSERT_EQ(chmod(prefsDir.path().toLocal8Bit().constData(), 0700), 0);

  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->sbMain->PanelText(1), "");
  QFile ini(file);
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  const QString content = QString::fromUtf8(ini.readAll());
  EXPECT_TRUE(content.startsWith("[Test]\nWriteTest=1\n[Log]\nLogItemMax=123\n")) << content.toStdString();
  EXPECT_TRUE(content.contains("[ToolsSendBulkPreset03]\nLoopDelay=250\n")) << content.toStdString();
  EXPECT_TRUE(content.contains("[ToolsSendBulkPreset15]")) << content.toStdString();
  EXPECT_EQ(QDir(prefsDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"orvalis.ini"});
}

// A file made read-only by its owner or an administrator is meant to stay as
// it is: the first close closes without a word and leaves it untouched.
TEST_F(PrefsFolderTest, AFileMadeReadOnlyClosesAtOnceWithoutAWord) {
  const bool root = geteuid() == 0;
  const QString file = prefsDir.filePath("orvalis.ini");
  {
    QFile ini(file);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(kPrevious);
  }
  ASSERT_EQ(chmod(file.toLocal8Bit().constData(), 0444), 0);
  // Root writes any file: the close then runs as an ordinary user, who may
  // read the folder but not write in it or the file.
  if (root) {
    ASSERT_EQ(chmod(prefsDir.path().toLocal8Bit().constData(), 0755), 0);
  }
  Start();
  window->seLogMaxEvents->setValue(123);
  {
    TEffectiveUser user(kOrdinaryUserId);
    ASSERT_EQ(user.Switched(), root);
    ASSERT_TRUE(Prefs_FileIsReadOnly(file));
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    window->close();
    const std::string printed = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");
  }
  ASSERT_EQ(chmod(prefsDir.path().toLocal8Bit().constData(), 0700), 0);

  EXPECT_FALSE(window->isVisible()) << "the first close closes";
  EXPECT_EQ(window->sbMain->PanelText(1), "");
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  QFile ini(file);
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_EQ(ini.readAll(), kPrevious);
  ASSERT_EQ(chmod(file.toLocal8Bit().constData(), 0600), 0);
}

// Only the file's own rights make it read-only on purpose; a disk full or
// mounted read-only is a fault to tell.
TEST_F(PrefsOnTmpfs, OnlyTheFilesOwnRightsMakeItReadOnly) {
  const QString file = mount.FilePath("orvalis.ini");
  EXPECT_FALSE(Prefs_FileIsReadOnly(file));
  EXPECT_FALSE(Prefs_FileIsReadOnly(mount.FilePath("missing.ini")));
  ASSERT_TRUE(mount.FillLeaving(0)) << mount.Error();
  EXPECT_FALSE(Prefs_FileIsReadOnly(file)) << "full";
  ASSERT_TRUE(mount.RemountReadOnly()) << mount.Error();
  EXPECT_FALSE(Prefs_FileIsReadOnly(file)) << "mounted read-only";
}

}  // namespace
