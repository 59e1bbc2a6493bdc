// The round trips of the end-to-end tests through a JACK server: to a device,
// and through a client that echoes our output to our input.
#include "EndToEndFixture.h"
#include "JackTestClient.h"

namespace {

TEST_F(EndToEndTest, AutreModeF0WithoutF7GoesOutToAJackDevice) {
  auto device = JackTestClient::Open("OrvalisEndToEndDevice");
  if (!device) GTEST_SKIP() << JackTestClient::kNoServer;
  BootSystem();
  ASSERT_TRUE(Choose(window->cbMIDIOut, QString::fromStdString(device->ClientName()) + ":in (JACK)"));
  ASSERT_EQ(MidiOutPort->State(), mosOpen);
  window->rbSendOther->click();
  window->edData11->setValue(0xF0);

  const JackTestClient::Message unended{0xF0, 0x3C, 0x40};
  const JackTestClient::Message play{0xF0, 0x7F, 0x00, 0x06, 0x02, 0xF7};
  // A graph that has just changed may drop a period: repeat until both arrive.
  const bool arrived = JackTestClient::Retry(
      [&] {
        device->ClearReceived();
        window->btnLogClearClick(window->btnLogClear);
        window->btnSendData1Click(window->btnSendData1);
        window->btnSendRTStartClick(window->btnSendRTStart);
      },
      [&] {
        const auto received = device->Received();
        return std::find(received.begin(), received.end(), unended) != received.end() &&
               std::find(received.begin(), received.end(), play) != received.end();
      });
  EXPECT_TRUE(arrived) << device->Graph();
  EXPECT_EQ(device->Received(), (std::vector<JackTestClient::Message>{unended, play}));
  EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - F0 3C 40", "[Midi-Out] - F0 7F 00 06 02 F7"}));
}

TEST_F(EndToEndTest, ThroughAJackServer) {
  auto echo = JackTestClient::Open("OrvalisEndToEndEcho");
  if (!echo) GTEST_SKIP() << JackTestClient::kNoServer;
  echo->Echo();
  diagnose = [&] { return "\nechoed: " + std::to_string(echo->Received().size()); };
  BootSystem();
  const QString client = QString::fromStdString(echo->ClientName());
  ASSERT_TRUE(Choose(window->cbMIDIOut, client + ":in (JACK)"));
  ASSERT_TRUE(Choose(window->cbMIDIIn, client + ":out (JACK)"));
  ASSERT_EQ(MidiInPort->State(), misOpen);
  ASSERT_EQ(MidiOutPort->State(), mosOpen);
  // A JACK graph that has just changed may skip a period for some clients and
  // lose what was sent in it: wait until a probe makes the round trip.
  QElapsedTimer watch;
  watch.start();
  while (MidiInCount == 0 && watch.elapsed() < 10000) {
    MidiOutPort->PutShort(0xFC, 0, 0);
    QElapsedTimer probe;
    probe.start();
    while (MidiInCount == 0 && probe.elapsed() < 250) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  ASSERT_GT(MidiInCount, 0) << diagnose();
  QElapsedTimer quiet;  // late echoes of further probes
  quiet.start();
  while (quiet.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  SendAndExpectEcho();
}

}  // namespace
