// The send routine: what reaches the port, what the log shows, the counter,
// the LED and the failures.
#include <QTimer>

#include <stdexcept>

#include "../main/MainWindowFixture.h"
#include "CounterDisplay.h"
#include "rmLed.h"

namespace {

class SendBytesTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    Start();
    midi->ClearSent();
  }
};

struct SendCase {
  const char* name;
  std::vector<uint8_t> data;
  size_t count;
  std::vector<uint32_t> shorts;             // short messages the port sent
  std::vector<std::vector<uint8_t>> longs;  // system-exclusive messages
  QString logged;
};

TEST_F(SendBytesTest, SendsLogsAndCountsEachKindOfMessage) {
  const SendCase cases[] = {
      {"real-time byte", {0xFA}, 1, {0x0000FA}, {}, "[Midi-Out] - FA"},
      {"two bytes of three", {0xC0, 0x05, 0x7F}, 2, {0x0005C0}, {}, "[Midi-Out] - C0 05"},
      {"MMC string", {0xF0, 0x7F, 0x00, 0x06, 0x02, 0xF7}, 6, {},
       {{0xF0, 0x7F, 0x00, 0x06, 0x02, 0xF7}}, "[Midi-Out] - F0 7F 00 06 02 F7"},
      {"five bytes, short: the three of a Note On go", {0x90, 0x3C, 0x40, 0x11, 0x22}, 5, {0x403C90}, {},
       "[Midi-Out] - 90 3C 40"},
      {"F7 first, short: one byte goes", {0xF7, 0x01, 0x02, 0x03}, 4, {0x0201F7}, {}, "[Midi-Out] - F7"},
      {"Program Change of three bytes: two go", {0xC3, 0x05, 0x00}, 3, {0x0005C3}, {}, "[Midi-Out] - C3 05"},
      {"sysex with zero bytes", {0xF0, 0x00, 0x00, 0xF7}, 4, {}, {{0xF0, 0x00, 0x00, 0xF7}},
       "[Midi-Out] - F0 00 00 F7"},
  };
  int32_t expectedCount = 0;
  for (const SendCase& c : cases) {
    SCOPED_TRACE(c.name);
    midi->ClearSent();
    window->MemoLog->Clear();
    const std::vector<uint8_t> copy = c.data;
    MidiOut_SendBytes(c.data, c.count, true);
    ++expectedCount;
    EXPECT_EQ(midi->ShortMessages(), c.shorts);
    EXPECT_EQ(midi->LongMessages(), c.longs);
    EXPECT_EQ(LogLines(), QStringList{c.logged});
    EXPECT_EQ(MidiOutCount, expectedCount);
    EXPECT_EQ(window->cntMidiOut->Value(), expectedCount);
    EXPECT_TRUE(window->LedMidiOut->LedOn());
    EXPECT_TRUE(window->TimerMidiOut->isActive());
    EXPECT_EQ(c.data, copy);
  }
}

TEST_F(SendBytesTest, PointerFormSendsTheGivenCount) {
  const uint8_t bytes[3] = {0x90, 0x3C, 0x40};
  MidiOut_SendBytes(bytes, 3, true);
  EXPECT_EQ(midi->ShortMessages(), std::vector<uint32_t>{0x403C90});
}

TEST_F(SendBytesTest, WithoutLogItOnlyTheLogLineIsMissing) {
  MidiOut_SendBytes(std::array<uint8_t, 3>{0x90, 0x3C, 0x40}, 3, false);
  EXPECT_TRUE(LogLines().isEmpty());
  EXPECT_EQ(midi->ShortMessages(), std::vector<uint32_t>{0x403C90});
  EXPECT_EQ(MidiOutCount, 1);
  EXPECT_TRUE(window->LedMidiOut->LedOn());
}

TEST_F(SendBytesTest, NothingHappensOnceAbortDelayIsSetOrForACountOfZero) {
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFA}, 0, true);
  AbortDelay = true;
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFA}, 1, true);
  EXPECT_TRUE(LogLines().isEmpty());
  EXPECT_TRUE(midi->ShortMessages().empty());
  EXPECT_EQ(MidiOutCount, 0);
  EXPECT_FALSE(window->LedMidiOut->LedOn());
  EXPECT_FALSE(window->TimerMidiOut->isActive());
}

TEST_F(SendBytesTest, ClosedPortLogsTheRefusalKeepsTheCounterAndRaises) {
  MidiOut_Close();
  EXPECT_THROW(MidiOut_SendBytes(std::array<uint8_t, 1>{0xFA}, 1, true), EMidiOutputError);
  EXPECT_EQ(LogLines(), QStringList{"[Midi-Out] - FA (Non envoyé : MIDI Output device not open)"});
  EXPECT_EQ(MidiOutCount, 0);
  EXPECT_FALSE(window->LedMidiOut->LedOn());
}

TEST_F(SendBytesTest, RefusedMessageRaisesThePlatformError) {
  midi->FailNext("midiOutShortMsg", MIDIERR_NOTREADY);
  EXPECT_THROW(MidiOut_SendBytes(std::array<uint8_t, 1>{0xFA}, 1, true), EMidiOutputError);
  EXPECT_EQ(MidiOutCount, 0);
}

// What a device refuses is logged with the port's reason, all its bytes shown,
// and not counted.
TEST_F(SendBytesTest, MessagesADeviceRefusesAreLoggedWithTheReasonAndNotCounted) {
  struct RefusedCase {
    const char* name;
    std::vector<uint8_t> data;
    const char* logged;
  };
  const RefusedCase cases[] = {
      {"data byte first", {0x3C, 0x40},
       "[Midi-Out] - 3C 40 (Non envoyé : (Short Msg) The application sent a message without a status byte "
       "to a stream handle.)"},
      {"data byte of 0x80 or more", {0x90, 0x3C, 0x80},
       "[Midi-Out] - 90 3C 80 (Non envoyé : A parameter or buffer passed to the MIDI device is invalid.)"},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    window->MemoLog->Clear();
    EXPECT_THROW(MidiOut_SendBytes(c.data, c.data.size(), true), EMidiOutputError);
    EXPECT_EQ(LogLines(), QStringList{QString::fromUtf8(c.logged)});
    EXPECT_TRUE(midi->ShortMessages().empty());
    EXPECT_EQ(MidiOutCount, 0);
  }
}

TEST_F(SendBytesTest, MissingPortObjectRaisesWithoutSending) {
  MidiOut_Close();
  MidiOutPort.reset();
  EXPECT_THROW(MidiOut_SendBytes(std::array<uint8_t, 1>{0xFA}, 1, true), EMidiOutputError);
  EXPECT_EQ(LogLines(), QStringList{"[Midi-Out] - FA (Non envoyé : MIDI Output port not available)"});
  EXPECT_EQ(MidiOutCount, 0);
  EXPECT_TRUE(midi->ShortMessages().empty());
}

TEST_F(SendBytesTest, ACountBeyondTheBytesIsRefusedBeforeAnythingHappens) {
  const std::array<uint8_t, 3> bytes{0x90, 0x3C, 0x40};
  EXPECT_THROW(MidiOut_SendBytes(bytes, 4, true), std::invalid_argument);
  EXPECT_TRUE(LogLines().isEmpty());
  EXPECT_TRUE(midi->ShortMessages().empty());
}

TEST_F(SendBytesTest, FiveSendsCountFiveWhateverTheirLength) {
  const std::vector<uint8_t> sysex{0xF0, 0x7F, 0x00, 0x06, 0x01, 0xF7};
  for (size_t count : {1u, 2u, 3u}) MidiOut_SendBytes(std::array<uint8_t, 3>{0x90, 0x3C, 0x40}, count, true);
  MidiOut_SendBytes(sysex, sysex.size(), true);
  MidiOut_SendBytes(sysex, 1, false);  // a lone F0 goes out as a one-byte string
  EXPECT_EQ(MidiOutCount, 5);
}

}  // namespace
