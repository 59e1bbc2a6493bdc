// A message sent by the send routine leaves through a real back end, comes
// back on the input and shows as the outgoing line, then the decoded incoming
// line, with both counters moved: through the built-in loopback, and through
// a JACK server with a client that echoes our output to our input.
#include <algorithm>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "CounterDisplay.h"
#include "HexSpinBox.h"
#include "JackTestClient.h"
#include "MainWindowFixture.h"
#include "MidiOut.h"
#include "backends/SystemMidiServices.h"

namespace {

class EndToEndTest : public MainWindowFixture {
 protected:
  void SetUp() override { realWaits = true; }

  // Chooses a device by its listed name in one of the window's lists.
  static bool Choose(QComboBox* list, const QString& name) {
    const int index = list->findText(name);
    if (index < 0) return false;
    list->setCurrentIndex(index);
    return list->currentText() == name;
  }

  std::function<std::string()> diagnose = [] { return std::string(); };

  void SendAndExpectEcho() {
    window->btnLogClearClick(window->btnLogClear);
    MidiInCount = 0;
    MidiOutCount = 0;
    MidiOut_SendBytes(std::array<uint8_t, 3>{0x93, 0x3C, 0x40}, 3, true);
    ASSERT_TRUE(WaitForLogLines(2)) << LogLines().join('\n').toStdString() << diagnose();
    EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - 93 3C 40", "[MIDI-In] - 93 3C 40 (Note On)"}));
    EXPECT_EQ(MidiOutCount, 1);
    EXPECT_EQ(MidiInCount, 1);
    EXPECT_EQ(window->cntMidiOut->Value(), 1);
    EXPECT_EQ(window->cntMidiIn->Value(), 1);

    MidiOut_SendBytes(std::array<uint8_t, 6>{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}, 6, true);
    ASSERT_TRUE(WaitForLogLines(4)) << LogLines().join('\n').toStdString() << diagnose();
    EXPECT_EQ(LogLines().mid(2), (QStringList{"[Midi-Out] - F0 7E 00 06 01 F7",
                                              "[MIDI-In] - F0 7E 00 06 01 F7  (Sysex - 6)"}));
  }
};

TEST_F(EndToEndTest, ThroughTheBuiltInLoopback) {
  Boot(CreateSystemMidiServices());
  ASSERT_TRUE(Choose(window->cbMIDIIn, "Orvalis Loopback"));
  ASSERT_TRUE(Choose(window->cbMIDIOut, "Orvalis Loopback"));
  ASSERT_EQ(MidiInPort->State(), misOpen);
  ASSERT_EQ(MidiOutPort->State(), mosOpen);
  SendAndExpectEcho();
}

// "Autre" rows go to the port as typed: the log shows what the port sent
// (the one byte of a clock message) and what it refused (a data byte of 0x80
// or more, which would read as a status byte).
TEST_F(EndToEndTest, AutreModeShowsWhatTheLoopbackSentAndWhatItRefused) {
  Boot(CreateSystemMidiServices());
  ASSERT_TRUE(Choose(window->cbMIDIIn, "Orvalis Loopback"));
  ASSERT_TRUE(Choose(window->cbMIDIOut, "Orvalis Loopback"));
  window->rbSendOther->click();
  window->edData13->setValue(0x80);
  window->edData21->setValue(0xF8);
  window->edData22->setValue(0x3C);
  window->edData23->setValue(0x40);
  window->btnLogClearClick(window->btnLogClear);
  MidiOutCount = 0;

  EXPECT_THROW(window->btnSendData1Click(window->btnSendData1), EMidiOutputError);
  window->btnSendData2Click(window->btnSendData2);
  ASSERT_TRUE(WaitForLogLines(3)) << LogLines().join('\n').toStdString();
  EXPECT_EQ(LogLines(),
            (QStringList{"[Midi-Out] - 90 3C 80 (Non envoyé : A parameter or buffer passed to the MIDI device is invalid.)",
                         "[Midi-Out] - F8", "[MIDI-In] - F8 (Timing Clock)"}));
  EXPECT_EQ(MidiOutCount, 1);
}

// "Autre" with F0 first and no F7 goes out as a system-exclusive string of its
// three bytes; the receiving side holds it until the next status byte ends it.
// The messages after it go out whole.
TEST_F(EndToEndTest, AutreModeF0WithoutF7GoesOutThroughTheLoopback) {
  Boot(CreateSystemMidiServices());
  ASSERT_TRUE(Choose(window->cbMIDIIn, "Orvalis Loopback"));
  ASSERT_TRUE(Choose(window->cbMIDIOut, "Orvalis Loopback"));
  window->rbSendOther->click();
  window->edData11->setValue(0xF0);
  window->btnLogClearClick(window->btnLogClear);
  MidiOutCount = 0;

  window->btnSendData1Click(window->btnSendData1);
  window->btnSendData2Click(window->btnSendData2);
  window->btnSendRTStartClick(window->btnSendRTStart);  // MMC Play
  ASSERT_TRUE(WaitForLogLines(6)) << LogLines().join('\n').toStdString();
  EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - F0 3C 40", "[Midi-Out] - 80 3C 00", "[Midi-Out] - F0 7F 00 06 02 F7",
                                     "[MIDI-In] - F0 3C 40  (Sysex - 3)", "[MIDI-In] - 80 3C 00 (Note Off)",
                                     "[MIDI-In] - F0 7F 00 06 02 F7  (Sysex - 6)"}));
  EXPECT_EQ(MidiOutCount, 3);
}

// The same through JACK: the device receives the three bytes as one event,
// and the MMC string after it as another.
TEST_F(EndToEndTest, AutreModeF0WithoutF7GoesOutToAJackDevice) {
  auto device = JackTestClient::Open("OrvalisEndToEndDevice");
  if (!device) GTEST_SKIP() << JackTestClient::kNoServer;
  Boot(CreateSystemMidiServices());
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
  Boot(CreateSystemMidiServices());
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
