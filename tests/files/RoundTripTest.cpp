// A .syx file sent through a real back end comes back on the input and is
// saved again byte for byte: through the built-in loopback, and through a
// JACK server with a client that echoes our output to our input.
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include "FilesFixture.h"
#include "JackTestClient.h"
#include "ReceivedSysexStore.h"
#include "SysexFileSender.h"
#include "SysexSendJob.h"
#include "backends/SystemMidiServices.h"

namespace {

class RoundTripTest : public FilesFixture {
 protected:
  void SetUp() override { realWaits = true; }
  void TearDown() override {
    if (window) window->Files->FormCloseQuery();
    FilesFixture::TearDown();
  }

  void BootSystem() {
    FilesFixture::BootSystem();
    AnswerDialogs();
  }


  // Pumps events until `done` holds or `timeoutMs` pass.
  static bool WaitFor(const std::function<bool()>& done, int timeoutMs = 30000) {
    QElapsedTimer watch;
    watch.start();
    while (!done() && watch.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
  }

  // Sends the file with the sender window at its real pace, waits for every
  // message to come back, and saves what came back through the menu command.
  // The saved bytes; empty when not everything came back.
  QByteArray SendAndSaveWhatCameBack(const std::vector<Bytes>& messages, int pauseMs) {
    const QString sent = FilePath("sent.syx");
    EXPECT_TRUE(WriteFile(sent, Joined(messages)));
    window->btnLogClear->click();  // also empties the received messages
    window->Files->ShowSysexFileSender();
    SysexFileSender* sender = window->Files->Sender();
    sender->SetPauseMs(pauseMs);
    if (!sender->LoadFile(sent)) {
      ADD_FAILURE() << sender->lblSummary->text().toStdString();
      return {};
    }
    sender->btnSend->click();
    const ReceivedSysexStore& received = window->Files->ReceivedSysex();
    const auto count = static_cast<qsizetype>(messages.size());
    if (!WaitFor([&] { return !sender->Sending() && received.Count() >= count; })) return {};
    EXPECT_EQ(sender->Job()->CurrentState(), SysexSendJob::State::Done) << sender->lblStatus->text().toStdString();
    savePath = FilePath("received.syx");
    window->ActFileSaveSysex->trigger();
    return ReadAll(savePath);
  }
};

TEST_F(RoundTripTest, ThroughTheBuiltInLoopback) {
  BootSystem();
  ASSERT_TRUE(Choose(window->cbMIDIIn, "Orvalis Loopback"));
  ASSERT_TRUE(Choose(window->cbMIDIOut, "Orvalis Loopback"));
  // Small and large messages; the largest the send routine takes arrives in
  // two of the input's buffers and is joined again.
  const std::vector<Bytes> messages{{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xF0, 0xF7}, SysexMessage(4096, 1),
                                    SysexMessage(63999, 2),                SysexMessage(65535, 3),
                                    SysexMessage(300, 4)};
  EXPECT_EQ(SendAndSaveWhatCameBack(messages, 5), Joined(messages));
  EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

TEST_F(RoundTripTest, ThroughAJackServer) {
  auto echo = JackTestClient::Open("OrvalisRoundTripEcho");
  if (!echo) GTEST_SKIP() << JackTestClient::kNoServer;
  echo->Echo();
  BootSystem();
  const QString client = QString::fromStdString(echo->ClientName());
  ASSERT_TRUE(Choose(window->cbMIDIOut, client + ":in (JACK)"));
  ASSERT_TRUE(Choose(window->cbMIDIIn, client + ":out (JACK)"));
  ASSERT_EQ(MidiInPort->State(), misOpen);
  ASSERT_EQ(MidiOutPort->State(), mosOpen);
  // A JACK graph that has just changed may skip a period for some clients and
  // lose what was sent in it: wait until a probe makes the round trip.
  ASSERT_TRUE(JackTestClient::Retry([] { MidiOutPort->PutShort(0xFC, 0, 0); }, [] {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return MidiInCount > 0;
  }));
  WaitFor([] { return false; }, 300);  // late echoes of further probes

  // One JACK period (256 frames) carries about 1 000 bytes of MIDI: each
  // message fits, and the pause gives each one a period of its own.
  std::vector<Bytes> messages{{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xF0, 0xF7}};
  for (unsigned i = 0; i < 10; ++i) messages.push_back(SysexMessage(50 + 90 * i, i));
  // A period lost to the server (an xrun on a loaded machine) loses a message:
  // the whole file is sent again then, up to three times.
  QByteArray saved;
  for (int attempt = 0; attempt < 3 && saved != Joined(messages); ++attempt) {
    saved = SendAndSaveWhatCameBack(messages, 20);
  }
  EXPECT_EQ(saved, Joined(messages)) << "echoed: " << echo->Received().size();
}

}  // namespace
