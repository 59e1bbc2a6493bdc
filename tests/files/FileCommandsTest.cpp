// The file commands of the main window: saving the log, recording the traffic
// (every message, paused or not, beyond the line limit, and a disk that fills
// under it), saving the received system-exclusive messages, and the folders
// and pause they remember.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>

#include <array>
#include <cstring>

#include "FilePrefs.h"
#include "FilesFixture.h"
#include "IniFile.h"
#include "ReceivedSysexStore.h"
#include "SysexFileSender.h"
#include "TmpfsMount.h"
#include "TrafficRecorder.h"

namespace {

constexpr const char* kStamp = "[12:34:56:789] ";

QStringList FileLines(const QString& path) {
  QString text = QString::fromUtf8(ReadAll(path));
  if (text.endsWith('\n')) text.chop(1);
  return text.isEmpty() ? QStringList{} : text.split('\n');
}

// A note on whose bytes tell message i apart.
uint32_t Note(int i) {
  return static_cast<uint32_t>(0x90 | (i % 16)) + 256u * static_cast<uint32_t>((i / 16) % 128) +
         65536u * static_cast<uint32_t>((i / 2048) % 128);
}

QString NoteLine(int i) {
  const uint32_t m = Note(i);
  return QString::asprintf("[MIDI-In] - %02X %02X %02X (Note On)", m & 0xFF, (m >> 8) & 0xFF, m >> 16);
}

class FileCommandsTest : public FilesFixture {
 protected:
  void SetUp() override {
    StartFiles();
    window->LogTimeOfDay = [] { return QTime(12, 34, 56, 789); };
    window->LogEventAgeUs = [](uint64_t) { return uint64_t{0}; };
  }
  void TearDown() override {
    window->Files->FormCloseQuery();
    FilesFixture::TearDown();
  }

  void Send(std::initializer_list<uint8_t> bytes) {
    const std::vector<uint8_t> data(bytes);
    MidiOut_SendBytes(data, data.size(), true);
  }

  // Delivers `count` notes from `first` in batches the input's queue holds,
  // each batch drained by the window.
  void ReceiveNotes(int first, int count) {
    for (int i = first; i < first + count; ++i) {
      ASSERT_TRUE(midi->DeliverShort(Note(i)));
      if ((i - first) % 500 == 499) Pump();
    }
    Pump();
  }
};

TEST_F(FileCommandsTest, TheMenusHoldTheNewCommands) {
  const auto captions = [](QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions()) {
      // As shown: without the mnemonic marks.
      texts << (action->isSeparator() ? QStringLiteral("-") : QString(action->text()).remove(QLatin1Char('&')));
    }
    return texts;
  };
  EXPECT_EQ(captions(window->mnuFile),
            (QStringList{QString::fromUtf8("Enregistrer le journal…"), QString::fromUtf8("Enregistrer le trafic…"),
                         QString::fromUtf8("Arrêter l'enregistrement du trafic"),
                         QString::fromUtf8("Enregistrer les SysEx reçus…"), "-", "Quitter"}));
  EXPECT_EQ(captions(window->mnuTools),
            (QStringList{QString::fromUtf8("Test boucle (sortie sur entrée)"), QString::fromUtf8("Test de liaison…"),
                         "Envoi par paquets",
                         QString::fromUtf8("Envoyer un fichier SysEx…")}));
  EXPECT_TRUE(window->ActFileRecordTraffic->isEnabled());
  EXPECT_FALSE(window->ActFileStopTraffic->isEnabled());
}

// --- The log ---

TEST_F(FileCommandsTest, SaveLogWritesTheLogAsShownAsUtf8WithADatedNameProposed) {
  window->cbDTflag->setChecked(true);
  Receive({0x403C90});
  Send({0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7});
  window->Log_AddLine(QString::fromUtf8("Test boucle : Pas de réponse !"));
  savePath = FilePath("journal.txt");
  window->ActFileSaveLog->trigger();
  EXPECT_EQ(ReadAll(savePath), QByteArray("[12:34:56:789] [MIDI-In] - 90 3C 40 (Note On)\n"
                                          "[12:34:56:789] [Midi-Out] - F0 7E 00 06 01 F7\n"
                                          "[12:34:56:789] Test boucle : Pas de r\xC3\xA9ponse !\n"));
  ASSERT_EQ(proposedPaths.size(), 1);
  EXPECT_TRUE(QRegularExpression(R"(/orvalis-journal-\d{4}-\d\d-\d\d-\d{6}\.txt$)").match(proposedPaths[0]).hasMatch())
      << proposedPaths[0].toStdString();
  EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(FileCommandsTest, SaveLogKeepsTheChosenFolderForTheNextTimeAndInThePreferences) {
  ASSERT_TRUE(QDir(files.path()).mkdir("logs"));
  savePath = FilePath("logs/first.txt");
  window->ActFileSaveLog->trigger();
  window->ActFileSaveLog->trigger();
  ASSERT_EQ(proposedPaths.size(), 2);
  EXPECT_TRUE(proposedPaths[1].startsWith(FilePath("logs") + "/orvalis-journal-")) << proposedPaths[1].toStdString();
  EXPECT_EQ(TIniFile(PrefsFileName).ReadString("Files", "LogFolder", ""), FilePath("logs"));
}

TEST_F(FileCommandsTest, ACancelledSaveWritesNothing) {
  Receive({0x403C90});
  savePath.clear();
  window->ActFileSaveLog->trigger();
  EXPECT_TRUE(QDir(files.path()).entryList(QDir::Files).isEmpty());
  EXPECT_TRUE(warnings.isEmpty());
}

TEST_F(FileCommandsTest, ALogThatCannotBeWrittenIsToldAndTheFileLeftAsItWas) {
  Receive({0x403C90});
  savePath = FilePath("missing/journal.txt");
  window->ActFileSaveLog->trigger();
  EXPECT_EQ(warnings, QStringList{QString::fromUtf8("Impossible d'écrire dans journal.txt.")});
}

// --- The traffic ---

// Paused, with a line limit of 10, the log shows almost nothing; the recording
// has every incoming and outgoing message, in the order they came.
TEST_F(FileCommandsTest, ARecordingOfAFloodHoldsEveryMessageInOrderPausedOrNotBeyondTheLineLimit) {
  window->seLogMaxEvents->setValue(10);
  savePath = FilePath("trafic.txt");
  window->ActFileRecordTraffic->trigger();
  ASSERT_TRUE(window->Files->Recording());
  EXPECT_FALSE(window->ActFileRecordTraffic->isEnabled());
  EXPECT_TRUE(window->ActFileStopTraffic->isEnabled());
  EXPECT_TRUE(window->Files->lblRecording->isVisibleTo(window.get()));

  QStringList expected;
  int next = 0;
  for (int round = 0; round < 8; ++round) {
    if (round == 2) window->btnRxPause->click();  // paused from the third round on
    ReceiveNotes(next, 2500);
    for (int i = next; i < next + 2500; ++i) expected << kStamp + NoteLine(i);
    next += 2500;
    Send({0xB0, 0x07, static_cast<uint8_t>(round)});
    expected << kStamp + QString::asprintf("[Midi-Out] - B0 07 %02X", round);
    ASSERT_TRUE(midi->DeliverSysex({0xF0, 0x7D, static_cast<uint8_t>(round), 0xF7}));
    Pump();
    expected << kStamp + QString::asprintf("[MIDI-In] - F0 7D %02X F7  (Sysex - 4)", round);
  }
  EXPECT_EQ(MidiInCount, 20008) << "nothing was lost on the way in";
  EXPECT_LE(LogLines().size(), 10);

  window->ActFileStopTraffic->trigger();
  EXPECT_FALSE(window->Files->Recording());
  EXPECT_TRUE(window->ActFileRecordTraffic->isEnabled());
  EXPECT_FALSE(window->ActFileStopTraffic->isEnabled());
  EXPECT_FALSE(window->Files->lblRecording->isVisibleTo(window.get()));
  const QStringList lines = FileLines(savePath);
  ASSERT_EQ(lines.size(), expected.size());
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(warnings.isEmpty());

  Receive({0x403C90});  // after the stop: not recorded
  EXPECT_EQ(FileLines(savePath).size(), expected.size());
}

TEST_F(FileCommandsTest, ARecordingHoldsReSentAndRefusedMessagesThatTheLogDoesNotShowAsSent) {
  savePath = FilePath("trafic.txt");
  window->ActFileRecordTraffic->trigger();
  ASSERT_TRUE(window->Files->Recording());
  const int logLinesBefore = static_cast<int>(LogLines().size());

  window->Log_SendHexText(QStringLiteral("90 3C 40"));  // a re-send adds no log line
  midi->FailNext("midiOutShortMsg", MIDIERR_NOTREADY);
  EXPECT_ANY_THROW(Send({0xB0, 0x07, 0x01}));

  window->ActFileStopTraffic->trigger();
  const QStringList lines = FileLines(savePath);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], kStamp + QStringLiteral("[Midi-Out] - 90 3C 40"));
  EXPECT_TRUE(lines[1].startsWith(kStamp + QStringLiteral("[Midi-Out] - B0 07 01 (Non envoy")))
      << lines[1].toStdString();
  EXPECT_EQ(static_cast<int>(LogLines().size()), logLinesBefore + 1) << "only the refusal is in the log";
}

TEST_F(FileCommandsTest, TheStatusBarShowsARunningRecordingAndItsSize) {
  savePath = FilePath("trafic.txt");
  window->ActFileRecordTraffic->trigger();
  EXPECT_EQ(window->Files->lblRecording->text(), QString::fromUtf8("\u25CF Enregistrement du trafic : 0 octets"));
  // 1 000 lines of 46 bytes: "[12:34:56:789] [MIDI-In] - 90 00 00 (Note On)" and its line end.
  ReceiveNotes(0, 1000);
  QElapsedTimer watch;
  watch.start();
  while (window->Files->Recorder()->BytesWritten() < 46000 && watch.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  window->Files->UpdateRecordingStatus();
  EXPECT_EQ(window->Files->lblRecording->text(), QString::fromUtf8("\u25CF Enregistrement du trafic : 44,9 Ko"));
  EXPECT_EQ(window->Files->lblRecording->toolTip(), savePath);
}

TEST_F(FileCommandsTest, ARecordingThatCannotStartIsToldAndNothingRuns) {
  savePath = FilePath("missing/trafic.txt");
  window->ActFileRecordTraffic->trigger();
  EXPECT_FALSE(window->Files->Recording());
  EXPECT_TRUE(window->ActFileRecordTraffic->isEnabled());
  EXPECT_EQ(warnings, QStringList{QString::fromUtf8(
                          "Impossible d'enregistrer le trafic dans trafic.txt : dossier introuvable.")});
}

// A real file system that fills up: the recording stops by itself, the user
// is told, the file keeps whole lines, and the program goes on.
TEST_F(FileCommandsTest, AFullDiskStopsTheRecordingTellsTheUserAndTheProgramGoesOn) {
  TTmpfsMount mount(64 * 1024);
  REQUIRE_TMPFS(mount);
  savePath = mount.FilePath("trafic.txt");
  window->ActFileRecordTraffic->trigger();
  ASSERT_TRUE(window->Files->Recording());

  QStringList expected;
  QElapsedTimer watch;
  watch.start();
  int next = 0;
  while (window->Files->Recorder() && watch.elapsed() < 20000) {
    ReceiveNotes(next, 500);
    for (int i = next; i < next + 500; ++i) expected << kStamp + NoteLine(i);
    next += 500;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);  // the status timer's turn
  }
  ASSERT_EQ(window->Files->Recorder(), nullptr) << "the recording did not end on a full disk";
  const QString stopped = QString::fromUtf8("Enregistrement du trafic arrêté : disque plein.");
  EXPECT_EQ(window->Files->lblRecording->text(), stopped);
  EXPECT_TRUE(window->Files->lblRecording->isVisibleTo(window.get()));
  EXPECT_TRUE(window->ActFileRecordTraffic->isEnabled());
  EXPECT_FALSE(window->ActFileStopTraffic->isEnabled());

  const QByteArray content = ReadAll(savePath);
  ASSERT_EQ(warnings.size(), 1);
  const QRegularExpression told(QRegularExpression::escape(stopped) + QString::fromUtf8("\ntrafic.txt garde les ([0-9\u00A0]+) octets enregistrés jusque-là."));
  const QRegularExpressionMatch match = told.match(warnings[0]);
  ASSERT_TRUE(match.hasMatch()) << warnings[0].toStdString();
  EXPECT_EQ(match.captured(1).remove(QChar(0x00A0)).toLongLong(), content.size());
  EXPECT_TRUE(content.endsWith('\n'));
  const QStringList lines = FileLines(savePath);
  EXPECT_GT(lines.size(), 500);
  EXPECT_EQ(lines, expected.mid(0, lines.size()));

  // The program goes on: receiving, logging and a new recording elsewhere.
  window->btnLogClearClick(window->btnLogClear);
  Receive({0x403C90});
  EXPECT_EQ(LogLines(), QStringList{"[MIDI-In] - 90 3C 40 (Note On)"});
  savePath = FilePath("trafic.txt");
  window->ActFileRecordTraffic->trigger();
  EXPECT_TRUE(window->Files->Recording());
  EXPECT_EQ(window->Files->lblRecording->text(), QString::fromUtf8("\u25CF Enregistrement du trafic : 0 octets"));
}

TEST_F(FileCommandsTest, ClosingTheProgramEndsTheRecordingWithEverythingOnTheDisk) {
  savePath = FilePath("trafic.txt");
  window->ActFileRecordTraffic->trigger();
  Receive({0x403C90});
  Send({0x80, 0x3C, 0x00});
  window->close();
  EXPECT_EQ(window->Files->Recorder(), nullptr);
  EXPECT_EQ(FileLines(savePath), (QStringList{QString(kStamp) + "[MIDI-In] - 90 3C 40 (Note On)",
                                              QString(kStamp) + "[Midi-Out] - 80 3C 00"}));
  EXPECT_TRUE(warnings.isEmpty());
}

// --- Received system-exclusive messages ---

TEST_F(FileCommandsTest, TheReceivedSysexAreSavedWholeAfterTheirCountAndSizeWereShown) {
  // 100 000 bytes arrive in two pieces (the input's buffers hold 63 999).
  const std::vector<Bytes> messages{{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}, SysexMessage(100000, 3), SysexMessage(20, 4)};
  window->btnRxPauseClick(window->btnRxPause);  // paused: still kept
  for (const Bytes& message : messages) {
    ASSERT_TRUE(midi->DeliverSysex(message));
    Receive({0x403C90, 0xF8});
    Pump();
  }
  ASSERT_EQ(window->Files->ReceivedSysex().Count(), 3);

  savePath = FilePath("recus.syx");
  window->ActFileSaveSysex->trigger();
  EXPECT_EQ(confirmations,
            QStringList{QString::fromUtf8("3 SysEx reçus, 100\u00A0026 octets en tout.")});
  ASSERT_EQ(proposedPaths.size(), 1);
  EXPECT_TRUE(QRegularExpression(R"(/orvalis-sysex-\d{4}-\d\d-\d\d-\d{6}\.syx$)").match(proposedPaths[0]).hasMatch());
  EXPECT_EQ(ReadAll(savePath), Joined(messages));
  EXPECT_EQ(TIniFile(PrefsFileName).ReadString("Files", "SysexSaveFolder", ""), files.path());
}

TEST_F(FileCommandsTest, NothingIsWrittenWhenTheUserDoesNotGoOn) {
  ASSERT_TRUE(midi->DeliverSysex({0xF0, 0x01, 0xF7}));
  Pump();
  confirm = false;
  savePath = FilePath("recus.syx");
  window->ActFileSaveSysex->trigger();
  EXPECT_EQ(confirmations, QStringList{QString::fromUtf8("1 SysEx reçu, 3 octets.")});
  EXPECT_TRUE(proposedPaths.isEmpty());
  EXPECT_FALSE(QFile::exists(savePath));
}

TEST_F(FileCommandsTest, WithNoSysexReceivedTheUserIsToldAndNothingIsAsked) {
  Receive({0x403C90});
  window->ActFileSaveSysex->trigger();
  EXPECT_TRUE(confirmations.isEmpty());
  EXPECT_EQ(warnings, QStringList{QString::fromUtf8("Aucun SysEx reçu depuis le début ou « Effacer ».")});
}

TEST_F(FileCommandsTest, EffacerForgetsTheReceivedSysex) {
  ASSERT_TRUE(midi->DeliverSysex({0xF0, 0x01, 0xF7}));
  Pump();
  window->btnLogClear->click();
  EXPECT_EQ(window->Files->ReceivedSysex().Count(), 0);
  ASSERT_TRUE(midi->DeliverSysex({0xF0, 0x02, 0xF7}));
  Pump();
  savePath = FilePath("recus.syx");
  window->ActFileSaveSysex->trigger();
  EXPECT_EQ(ReadAll(savePath), QByteArray("\xF0\x02\xF7"));
}

TEST_F(FileCommandsTest, BeyondSixtyFourMegabytesTheOldestGoAndTheUserIsTold) {
  ReceivedSysexStore& store = window->Files->ReceivedSysex();
  ASSERT_EQ(store.Capacity(), 64LL * 1024 * 1024);
  // 1 025 messages of 65 535 bytes: one more than 64 Mo holds.
  for (unsigned i = 0; i < 1025; ++i) {
    TMyMidiEvent event;
    event.MidiMessage = 0xF0;
    const Bytes message = SysexMessage(65535, i);
    event.SetSysex(message.data(), 65535);
    window->OnMidiInEvent(event);
  }
  EXPECT_EQ(store.Count(), 1024);
  EXPECT_EQ(store.DroppedCount(), 1);
  EXPECT_EQ(window->Files->lblSysexDropped->text(), QString::fromUtf8("SysEx reçus : anciens retirés"));
  EXPECT_EQ(window->Files->lblSysexDropped->toolTip(),
            QString::fromUtf8("Les SysEx reçus les plus anciens sont retirés : la mémoire est limitée à 64,0 Mo."));
  EXPECT_TRUE(window->Files->lblSysexDropped->isVisibleTo(window.get()));

  confirm = false;
  window->ActFileSaveSysex->trigger();
  EXPECT_EQ(confirmations, QStringList{QString::fromUtf8(
                               "1\u00A0024 SysEx reçus, 67\u00A0107\u00A0840 octets en tout.\n"
                               "Le plus ancien a été retiré (mémoire limitée à 64,0 Mo).")});
  window->btnLogClear->click();
  EXPECT_FALSE(window->Files->lblSysexDropped->isVisibleTo(window.get()));
}

// --- Preferences ---

TEST_F(FileCommandsTest, RemembersItsChoicesInASectionOfItsOwnBesideTheOtherPreferences) {
  TIniFile(PrefsFileName).WriteString("Files", "SysexSendPauseMs", "250");
  TIniFile(PrefsFileName).WriteString("Files", "SysexSendFolder", files.path());
  window->Files->ShowSysexFileSender();
  SysexFileSender* sender = window->Files->Sender();
  EXPECT_EQ(sender->PauseMs(), 250);
  EXPECT_EQ(sender->Folder(), files.path());

  sender->sePause->setValue(40);
  window->close();  // a pause still settling is written at the close
  const TIniFile ini(PrefsFileName);
  EXPECT_EQ(ini.ReadString("Files", "SysexSendPauseMs", ""), "40");
  EXPECT_EQ(ini.ReadString("Log", "LogItemMax", ""), "400") << "the program's own keys are saved as ever";
}

}  // namespace
