// A message sent by the send routine leaves through a real back end, comes
// back on the input and shows as the outgoing line, then the decoded incoming
// line, with both counters moved: through the built-in loopback (the JACK
// cases are in EndToEndJackTest.cpp).
#include "EndToEndFixture.h"

namespace {

TEST_F(EndToEndTest, ThroughTheBuiltInLoopback) {
  BootSystem();
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
  BootSystem();
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
  BootSystem();
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

}  // namespace
