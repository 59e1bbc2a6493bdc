// The window "Envoyer un fichier SysEx": what it shows of a file, what it
// refuses, the progress of a send and how it ends.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

#include "FilesFixture.h"
#include "SysexFile.h"
#include "SysexFileSender.h"
#include "SysexMessageListModel.h"
#include "SysexSendJob.h"

namespace {

QString Nb(const char* text) { return QString::fromUtf8(text).replace(QLatin1Char('_'), QChar(0x00A0)); }

class SysexFileSenderTest : public FilesFixture {
 protected:
  void SetUp() override {
    StartFiles();
    window->Files->ShowSysexFileSender();
    sender = window->Files->Sender();
    ASSERT_NE(sender, nullptr);
    sender->SetSendTimer(timer);
  }
  void TearDown() override {
    window->Files->FormCloseQuery();
    FilesFixture::TearDown();
  }

  QStringList Rows() const {
    QStringList rows;
    const QAbstractItemModel* model = sender->lstMessages->model();
    for (int row = 0; row < model->rowCount(); ++row) rows << model->data(model->index(row, 0)).toString();
    return rows;
  }

  // Three messages of 6, 4 096 and 10 bytes.
  QString ThreeMessages() {
    const QString path = FilePath("bank.syx");
    EXPECT_TRUE(WriteFile(path, Joined({{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, SysexMessage(4096, 1),
                                        {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0x00, 0xF7}})));
    return path;
  }

  FakeSendTimer timer;
  SysexFileSender* sender = nullptr;
};

TEST_F(SysexFileSenderTest, ALoadedFileShowsHowManyMessagesAndTheirSizes) {
  EXPECT_EQ(sender->windowTitle(), "Envoyer un fichier SysEx");
  EXPECT_EQ(sender->lblOutput->text(), "Sortie MIDI : Synth A");
  EXPECT_FALSE(sender->btnSend->isEnabled());
  ASSERT_TRUE(sender->LoadFile(ThreeMessages()));
  EXPECT_EQ(sender->edFile->text(), FilePath("bank.syx"));
  EXPECT_EQ(sender->lblSummary->text(), Nb("3 messages, 4_112 octets en tout (de 6 à 4_096 octets)."));
  EXPECT_EQ(Rows(), (QStringList{"1 : 6 octets  F0 7E 7F 06 01 F7", Nb("2 : 4_096 octets  F0 26 2D 34 3B 42 … F7"),
                                 "3 : 10 octets  F0 43 10 4C 00 00 … F7"}));
  EXPECT_EQ(sender->lblBytes->text(), Nb("Octets envoyés : 0 sur 4_112"));
  EXPECT_EQ(sender->lblTimeLeft->text(), "Temps restant : 0:01") << "two pauses of 20 ms";
  EXPECT_EQ(sender->lblStatus->text(), QString::fromUtf8("Prêt à envoyer."));
  EXPECT_TRUE(sender->btnSend->isEnabled());
  EXPECT_FALSE(sender->btnStop->isEnabled());
}

TEST_F(SysexFileSenderTest, TheOutputShownFollowsTheMainWindowsChoice) {
  midi->AddOutputDevice("Synth B");
  window->cbMIDIOut->addItem("Synth B");
  window->cbMIDIOut->setCurrentIndex(1);
  EXPECT_EQ(sender->lblOutput->text(), "Sortie MIDI : Synth B");
}

TEST_F(SysexFileSenderTest, OneMessageAndMessagesOfOneSizeAreSaidSo) {
  ASSERT_TRUE(WriteFile(FilePath("one.syx"), Joined({SysexMessage(8, 1)})));
  ASSERT_TRUE(sender->LoadFile(FilePath("one.syx")));
  EXPECT_EQ(sender->lblSummary->text(), "1 message de 8 octets.");
  ASSERT_TRUE(WriteFile(FilePath("two.syx"), Joined({SysexMessage(8, 1), SysexMessage(8, 2)})));
  ASSERT_TRUE(sender->LoadFile(FilePath("two.syx")));
  EXPECT_EQ(sender->lblSummary->text(), "2 messages, 16 octets en tout (8 octets chacun).");
}

struct RefusedCase {
  const char* name;
  QByteArray content;
  const char* shown;
};

class SysexFileSenderRefuses : public SysexFileSenderTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(SysexFileSenderRefuses, ShowsWhyAndSendsNothing) {
  ASSERT_TRUE(sender->LoadFile(ThreeMessages()));  // a good file before does not stay
  ASSERT_TRUE(WriteFile(FilePath("bad.syx"), GetParam().content));
  EXPECT_FALSE(sender->LoadFile(FilePath("bad.syx")));
  EXPECT_EQ(sender->lblSummary->text(), QString::fromUtf8(GetParam().shown));
  EXPECT_TRUE(Rows().isEmpty());
  EXPECT_FALSE(sender->btnSend->isEnabled());
  EXPECT_EQ(sender->File(), nullptr);
  sender->StartSend();
  timer.RunAll();
  EXPECT_TRUE(midi->LongMessages().empty());
  EXPECT_TRUE(midi->ShortMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    BadFiles, SysexFileSenderRefuses,
    ::testing::Values(RefusedCase{"Empty", QByteArray(), "Fichier vide."},
                      RefusedCase{"NoF0", QByteArray("\x90\x3C\x40", 3), "Aucun message SysEx (F0) dans le fichier."},
                      RefusedCase{"NoF7AtTheEnd", QByteArray("\xF0\x01\xF7\xF0\x02", 5),
                                  "Message 2 incomplet : F7 manquant à la fin du fichier."},
                      RefusedCase{"StatusByteInside", QByteArray("\xF0\x01\x90\x3C\x40\xF7", 6),
                                  "Octet d'état 90 dans le message 1 (octet 3 du fichier)."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SysexFileSenderTest, TheSendShowsItsProgressAndHowItEnded) {
  ASSERT_TRUE(sender->LoadFile(ThreeMessages()));
  sender->sePause->setValue(500);
  sender->btnSend->click();
  EXPECT_EQ(sender->lblStatus->text(), QString::fromUtf8("Envoi en cours…"));
  EXPECT_FALSE(sender->btnSend->isEnabled());
  EXPECT_FALSE(sender->btnChoose->isEnabled());
  EXPECT_TRUE(sender->btnStop->isEnabled());

  ASSERT_TRUE(timer.RunNext());
  EXPECT_EQ(sender->lblBytes->text(), Nb("Octets envoyés : 6 sur 4_112"));
  EXPECT_EQ(sender->pbProgress->value(), 6);
  EXPECT_EQ(sender->pbProgress->maximum(), 4112);
  EXPECT_EQ(sender->lstMessages->currentIndex().row(), 0) << "the last message sent is in sight";
  EXPECT_EQ(sender->lblTimeLeft->text(), "Temps restant : 0:01");
  ASSERT_TRUE(timer.RunNext());
  EXPECT_EQ(sender->lblTimeLeft->text(), "Temps restant : 0:01");
  ASSERT_TRUE(timer.RunNext());
  EXPECT_FALSE(timer.Due);
  EXPECT_EQ(sender->lblBytes->text(), Nb("Octets envoyés : 4_112 sur 4_112"));
  EXPECT_EQ(sender->lblTimeLeft->text(), "Temps restant : 0:00");
  EXPECT_EQ(sender->lblStatus->text(), Nb("Envoi terminé : 3 messages, 4_112 octets."));
  EXPECT_TRUE(sender->btnSend->isEnabled());
  EXPECT_FALSE(sender->btnStop->isEnabled());
  EXPECT_EQ(midi->LongMessages().size(), 3u);

  // Sent again from the first message.
  sender->btnSend->click();
  timer.RunAll();
  EXPECT_EQ(midi->LongMessages().size(), 6u);
}

TEST_F(SysexFileSenderTest, StopEndsTheSendAndSaysHowFarItWent) {
  ASSERT_TRUE(sender->LoadFile(ThreeMessages()));
  sender->btnSend->click();
  ASSERT_TRUE(timer.RunNext());
  sender->btnStop->click();
  EXPECT_EQ(sender->lblStatus->text(), QString::fromUtf8("Envoi arrêté après 1 message sur 3."));
  EXPECT_FALSE(timer.Due);
  EXPECT_TRUE(sender->btnSend->isEnabled());
  EXPECT_EQ(midi->LongMessages().size(), 1u);
}

TEST_F(SysexFileSenderTest, ARefusedMessageIsShown) {
  ASSERT_TRUE(sender->LoadFile(ThreeMessages()));
  MidiOut_Close();
  sender->btnSend->click();
  timer.RunAll();
  EXPECT_EQ(sender->lblStatus->text(),
            QString::fromUtf8("Envoi interrompu. Message 1 refusé : MIDI Output device not open"));
  EXPECT_TRUE(sender->btnSend->isEnabled());
}

TEST_F(SysexFileSenderTest, ClosingTheWindowStopsTheSend) {
  ASSERT_TRUE(sender->LoadFile(ThreeMessages()));
  sender->btnSend->click();
  ASSERT_TRUE(timer.RunNext());
  sender->btnClose->click();
  EXPECT_FALSE(sender->isVisible());
  EXPECT_FALSE(sender->Sending());
  EXPECT_FALSE(timer.Due);
  EXPECT_EQ(midi->LongMessages().size(), 1u);
}

// The close request sets AbortDelay and stops the send before anything else
// closes: no message leaves after it.
TEST_F(SysexFileSenderTest, ClosingTheProgramDuringASendStopsItCleanly) {
  ASSERT_TRUE(sender->LoadFile(ThreeMessages()));
  sender->btnSend->click();
  ASSERT_TRUE(timer.RunNext());
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(sender->isVisible());
  EXPECT_EQ(sender->Job()->CurrentState(), SysexSendJob::State::Stopped);
  EXPECT_FALSE(timer.Due);
  EXPECT_EQ(midi->LongMessages().size(), 1u);
}

TEST_F(SysexFileSenderTest, ChooseOpensInTheRememberedFolderAndRemembersTheNewOne) {
  openPath = ThreeMessages();
  sender->SetFolder("/somewhere");
  sender->btnChoose->click();
  EXPECT_EQ(openFolders, QStringList{"/somewhere"});
  EXPECT_EQ(sender->File()->MessageCount(), 3);
  EXPECT_EQ(sender->Folder(), files.path());
  EXPECT_EQ(window->Files->Prefs().SysexSendFolder, files.path());

  openPath.clear();  // cancelled: the file stays
  sender->btnChoose->click();
  EXPECT_EQ(sender->File()->MessageCount(), 3);
}

TEST_F(SysexFileSenderTest, ThePauseRangesFromZeroToOneSecondAndStartsAtTwentyMilliseconds) {
  EXPECT_EQ(sender->sePause->minimum(), 0);
  EXPECT_EQ(sender->sePause->maximum(), 1000);
  EXPECT_EQ(sender->sePause->value(), 20);
}

TEST_F(SysexFileSenderTest, AMillionMessagesAreListedWithoutAStringEach) {
  // 6-byte messages up to the file limit's order of magnitude: the list makes
  // only the rows it shows.
  Bytes content;
  for (int i = 0; i < 1'000'000; ++i) {
    const Bytes message = SysexMessage(6, static_cast<unsigned>(i));
    content.insert(content.end(), message.begin(), message.end());
  }
  ASSERT_TRUE(WriteFile(FilePath("many.syx"), Joined({content})));
  ASSERT_TRUE(sender->LoadFile(FilePath("many.syx")));
  EXPECT_EQ(sender->lstMessages->model()->rowCount(), 1'000'000);
  EXPECT_EQ(sender->lstMessages->model()->data(sender->lstMessages->model()->index(999'999, 0)).toString(),
            Nb("1_000_000 : 6 octets  F0 28 2F 36 3D F7"));
}

}  // namespace
