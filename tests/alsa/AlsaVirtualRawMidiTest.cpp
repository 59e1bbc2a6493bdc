// The program's ports on "Virtual Raw MIDI" devices, whose other end is a raw
// MIDI device: bytes written there arrive at the input port as if from a
// hardware interface, and what the output port sends can be read there as the
// bytes on the wire.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <thread>

#include "AlsaTestSupport.h"
#include "BackendPortsTestSupport.h"
#include "BackendTestSupport.h"

namespace {

using namespace std::chrono_literals;

struct Short {
  uint8_t status, data1, data2;
};

void ExpectShortEvents(const std::vector<std::unique_ptr<TMyMidiEvent>>& events,
                       const std::vector<Short>& expected) {
  ASSERT_EQ(events.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(events[i]->MidiMessage, expected[i].status);
    EXPECT_EQ(events[i]->Data1, expected[i].data1);
    EXPECT_EQ(events[i]->Data2, expected[i].data2);
    EXPECT_EQ(events[i]->Sysex, nullptr);
  }
}

// The program's input and output on "Virtual Raw MIDI 0-0"; the test writes
// to its raw device.
class AlsaRawMidiIn : public AlsaTest {
 protected:
  void SetUp() override {
    AlsaTest::SetUp();
    if (IsSkipped()) return;
    ports.emplace(kVirtualRawMidi0, kVirtualRawMidi0);
    raw.emplace(kRawMidi0, O_WRONLY);
    ASSERT_TRUE(raw->IsOpen());
  }

  // Opens the input again with system-exclusive buffers of that size.
  void UseSysexBuffersOf(uint16_t size) {
    ports->in.StopAndClose();
    ports->in.SetSysexBufferSize(size);
    ports->in.OpenAndStart();
  }

  // Runs the event loop a while longer, for anything that should not come.
  static void PumpAWhile() { PortPair::PumpUntil([] { return false; }, 200ms); }

  std::optional<PortPair> ports;
  std::optional<RawMidiDevice> raw;
};

struct WireCase {
  const char* name;
  std::vector<uint8_t> wire;
  std::vector<Short> expected;
};

void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }

class AlsaRawMidiInShort : public AlsaRawMidiIn, public ::testing::WithParamInterface<WireCase> {};

TEST_P(AlsaRawMidiInShort, ArriveAsTheirMessages) {
  const WireCase& c = GetParam();
  ASSERT_TRUE(raw->Write(c.wire));
  ASSERT_TRUE(ports->PumpUntilEvents(c.expected.size()));
  PumpAWhile();
  ExpectShortEvents(ports->events, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, AlsaRawMidiInShort,
    ::testing::Values(
        WireCase{"NoteOn", {0x90, 0x3C, 0x40}, {{0x90, 0x3C, 0x40}}},
        WireCase{"RunningStatus", {0x90, 0x3C, 0x40, 0x3E, 0x40}, {{0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x40}}},
        WireCase{"RunningStatusOfATwoByteMessage", {0xC1, 0x05, 0x06}, {{0xC1, 0x05, 0x00}, {0xC1, 0x06, 0x00}}},
        WireCase{"StartInsideANote", {0x90, 0x3C, 0xFA, 0x40}, {{0xFA, 0x00, 0x00}, {0x90, 0x3C, 0x40}}},
        // The input port leaves out timing clocks unless told otherwise.
        WireCase{"ClockInsideANoteLeftOut", {0x90, 0x3C, 0xF8, 0x40}, {{0x90, 0x3C, 0x40}}},
        WireCase{"PitchBendThenSongPosition", {0xE3, 0x00, 0x40, 0xF2, 0x01, 0x02},
                 {{0xE3, 0x00, 0x40}, {0xF2, 0x01, 0x02}}},
        WireCase{"ControlChangesOnTwoChannels", {0xB0, 0x07, 0x64, 0xBF, 0x0A, 0x00},
                 {{0xB0, 0x07, 0x64}, {0xBF, 0x0A, 0x00}}}),
    [](const ::testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

struct PiecesCase {
  const char* name;
  std::vector<uint8_t> message;
  size_t piece;  // bytes per write
  std::chrono::milliseconds pause;  // between writes
};

void PrintTo(const PiecesCase& c, std::ostream* os) { *os << c.name; }

class AlsaRawMidiInSysexPieces : public AlsaRawMidiIn, public ::testing::WithParamInterface<PiecesCase> {};

TEST_P(AlsaRawMidiInSysexPieces, ArriveAsOneMessage) {
  const PiecesCase& c = GetParam();
  for (size_t at = 0; at < c.message.size(); at += c.piece) {
    const size_t end = std::min(at + c.piece, c.message.size());
    ASSERT_TRUE(raw->Write({c.message.begin() + static_cast<ptrdiff_t>(at),
                            c.message.begin() + static_cast<ptrdiff_t>(end)}));
    std::this_thread::sleep_for(c.pause);
  }
  ASSERT_TRUE(ports->PumpUntilEvents(1));
  PumpAWhile();
  ASSERT_EQ(ports->events.size(), 1u);
  EXPECT_EQ(ports->events[0]->MidiMessage, 0xF0);
  EXPECT_EQ(SysexOf(*ports->events[0]), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, AlsaRawMidiInSysexPieces,
    ::testing::Values(PiecesCase{"SixBytesTwoAtATime", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, 2, 50ms},
                      PiecesCase{"ThousandBytesAHundredAtATime", Sysex(1000), 100, 20ms},
                      PiecesCase{"FourHundredBytesOneAtATime", Sysex(400), 1, 1ms}),
    [](const ::testing::TestParamInfo<PiecesCase>& info) { return std::string(info.param.name); });

TEST_F(AlsaRawMidiIn, ARealTimeByteInsideASysexArrivesOnItsOwnBeforeTheSysex) {
  ASSERT_TRUE(raw->Write({0xF0, 0x43, 0x10, 0xFA, 0x4C, 0x00, 0xF7}));
  ASSERT_TRUE(ports->PumpUntilEvents(2));
  PumpAWhile();
  ASSERT_EQ(ports->events.size(), 2u);
  EXPECT_EQ(ports->events[0]->MidiMessage, 0xFA);
  EXPECT_EQ(ports->events[0]->Sysex, nullptr);
  EXPECT_EQ(ports->events[1]->MidiMessage, 0xF0);
  EXPECT_EQ(SysexOf(*ports->events[1]), (std::vector<uint8_t>{0xF0, 0x43, 0x10, 0x4C, 0x00, 0xF7}));
}

TEST_F(AlsaRawMidiIn, A60000ByteSysexArrivesAsOneMessageInTheProgramsBufferSize) {
  UseSysexBuffersOf(63999);
  const std::vector<uint8_t> message = Sysex(60000);
  // The sequencer drops events once a reader's queue is full: written all at
  // once, such a message outruns any reader (aseqdump too). Here it comes at
  // about fifteen times the speed of a MIDI cable.
  for (size_t at = 0; at < message.size(); at += 256) {
    const size_t end = std::min(at + 256, message.size());
    ASSERT_TRUE(raw->Write({message.begin() + static_cast<ptrdiff_t>(at),
                            message.begin() + static_cast<ptrdiff_t>(end)}));
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(ports->PumpUntilEvents(1));
  PumpAWhile();
  ASSERT_EQ(ports->events.size(), 1u);
  EXPECT_EQ(ports->events[0]->MidiMessage, 0xF0);
  EXPECT_EQ(ports->events[0]->SysexLength, 60000);
  EXPECT_EQ(SysexOf(*ports->events[0]), message);
}

// The program's input and output on "Virtual Raw MIDI 0-1"; the test reads its
// raw device, opened first so that nothing sent is dropped.
class AlsaRawMidiOut : public AlsaTest {
 protected:
  void SetUp() override {
    AlsaTest::SetUp();
    if (IsSkipped()) return;
    raw.emplace(kRawMidi1, O_RDONLY);
    ASSERT_TRUE(raw->IsOpen());
    ports.emplace(kVirtualRawMidi1, kVirtualRawMidi1);
  }

  std::optional<RawMidiDevice> raw;
  std::optional<PortPair> ports;
};

TEST_F(AlsaRawMidiOut, WhatTheOutputSendsIsOnTheWireByteForByteInOrder) {
  // Each channel message has a status of its own, so that none may be sent
  // with running status.
  const std::vector<uint8_t> sysex = Sysex(1000);
  ports->out.NoteOn(0, 0x3C, 0x40);
  ports->out.ControllerChange(1, 0x07, 0x64);
  ports->out.ProgramChange(2, 0x05);
  ports->out.PutLong(sysex.data(), static_cast<uint16_t>(sysex.size()));
  ports->out.PutShort(0xE3, 0x00, 0x40);
  ports->out.PutShort(0xFA, 0, 0);
  ports->out.NoteOff(3, 0x3C, 0x00);

  std::vector<uint8_t> expected = {0x90, 0x3C, 0x40, 0xB1, 0x07, 0x64, 0xC2, 0x05};
  expected.insert(expected.end(), sysex.begin(), sysex.end());
  expected.insert(expected.end(), {0xE3, 0x00, 0x40, 0xFA, 0x83, 0x3C, 0x00});
  EXPECT_EQ(raw->Read(expected.size()), expected);
  EXPECT_EQ(raw->Read(1, 200ms), std::vector<uint8_t>{}) << "nothing more";
  EXPECT_TRUE(PortPair::PumpUntil([&] { return ports->outputsDone == 1; }));
  EXPECT_TRUE(ports->events.empty());
}

}  // namespace
