// The contract of MidiServices through the raw services, on every
// implementation (MidiServicesContract.h): device lists, opening, handles,
// header bookkeeping, result codes and texts, and what goes round the loop.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <utility>

#include "MidiServicesContract.h"
#include "backends/common/ErrorTexts.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

bool HasLongData(const NoticeRecorder& recorder, const Bytes& bytes) {
  for (const auto& notice : recorder.Of(MIM_LONGDATA)) {
    if (notice.bytes == bytes) return true;
  }
  return false;
}

// ---- Devices, opening and handles -------------------------------------------

TEST_P(MidiServicesContract, TheLoopsDevicesAreListedAndIdsPastTheListAreRefused) {
  EXPECT_GE(InputIdOf(*midi, rig->LoopInput()), 0);
  EXPECT_GE(OutputIdOf(*midi, rig->LoopOutput()), 0);
  const uint32_t inputs = midi->midiInGetNumDevs();
  const uint32_t outputs = midi->midiOutGetNumDevs();
  MIDIINCAPS in;
  MIDIOUTCAPS out;
  EXPECT_EQ(midi->midiInGetDevCaps(inputs, &in), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midi->midiInGetDevCaps(MIDI_MAPPER, &in), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midi->midiOutGetDevCaps(outputs, &out), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midi->midiInGetDevCaps(0, nullptr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midi->midiOutGetDevCaps(MIDI_MAPPER, nullptr), MMSYSERR_INVALPARAM);

  MIDIOUTCAPS mapper;
  ASSERT_EQ(midi->midiOutGetDevCaps(MIDI_MAPPER, &mapper), MMSYSERR_NOERROR);
  EXPECT_EQ(mapper.wTechnology, MOD_MAPPER);
}

TEST_P(MidiServicesContract, OpeningChecksItsArgumentsAndLeavesNoHandleWhenRefused) {
  const auto in = static_cast<uint32_t>(InputIdOf(*midi, rig->LoopInput()));
  const auto out = static_cast<uint32_t>(OutputIdOf(*midi, rig->LoopOutput()));
  const uint32_t inputs = midi->midiInGetNumDevs();
  const uint32_t outputs = midi->midiOutGetNumDevs();

  EXPECT_EQ(midi->midiInOpen(nullptr, in, nullptr, 0, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midi->midiOutOpen(nullptr, out, nullptr, 0, 0), MMSYSERR_INVALPARAM);

  struct Case {
    const char* what;
    std::function<MMRESULT(HMIDI*)> open;
    MMRESULT expected;
  };
  const Case cases[] = {
      {"input with a function callback but no function",
       [&](HMIDI* h) { return midi->midiInOpen(h, in, nullptr, 0, CALLBACK_FUNCTION); },
       MMSYSERR_INVALPARAM},
      {"output with a function callback but no function",
       [&](HMIDI* h) { return midi->midiOutOpen(h, out, nullptr, 0, CALLBACK_FUNCTION); },
       MMSYSERR_INVALPARAM},
      {"input with a window callback, which is not offered",
       [&](HMIDI* h) { return midi->midiInOpen(h, in, &NoticeRecorder::Callback, 0, 0x00010000); },
       MMSYSERR_INVALPARAM},
      {"input past the list",
       [&](HMIDI* h) { return midi->midiInOpen(h, inputs, nullptr, 0, 0); }, MMSYSERR_BADDEVICEID},
      {"output past the list",
       [&](HMIDI* h) { return midi->midiOutOpen(h, outputs, nullptr, 0, 0); },
       MMSYSERR_BADDEVICEID},
      {"input through the mapper, which only outputs have",
       [&](HMIDI* h) { return midi->midiInOpen(h, MIDI_MAPPER, nullptr, 0, 0); },
       MMSYSERR_BADDEVICEID},
  };
  for (const Case& c : cases) {
    HMIDI handle = 0x55;
    EXPECT_EQ(c.open(&handle), c.expected) << c.what;
    EXPECT_EQ(handle, 0u) << c.what;
  }
}

TEST_P(MidiServicesContract, OperationsOnHandlesThatAreNotOpenFail) {
  const HMIDI closedIn = OpenIn(received);
  ASSERT_EQ(midi->midiInClose(closedIn), MMSYSERR_NOERROR);
  const HMIDI closedOut = OpenOut(sent);
  ASSERT_EQ(midi->midiOutClose(closedOut), MMSYSERR_NOERROR);
  const HMIDI in = OpenIn(received);
  const HMIDI out = OpenOut(sent);
  TestHeader& header = headers.emplace_back(8);
  uint16_t patches[128] = {};

  const std::vector<std::pair<const char*, std::function<MMRESULT(HMIDI)>>> inputOps = {
      {"midiInClose", [&](HMIDI h) { return midi->midiInClose(h); }},
      {"midiInPrepareHeader",
       [&](HMIDI h) { return midi->midiInPrepareHeader(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiInUnprepareHeader",
       [&](HMIDI h) { return midi->midiInUnprepareHeader(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiInAddBuffer",
       [&](HMIDI h) { return midi->midiInAddBuffer(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiInStart", [&](HMIDI h) { return midi->midiInStart(h); }},
      {"midiInStop", [&](HMIDI h) { return midi->midiInStop(h); }},
      {"midiInReset", [&](HMIDI h) { return midi->midiInReset(h); }},
  };
  const std::vector<std::pair<const char*, std::function<MMRESULT(HMIDI)>>> outputOps = {
      {"midiOutClose", [&](HMIDI h) { return midi->midiOutClose(h); }},
      {"midiOutShortMsg", [&](HMIDI h) { return midi->midiOutShortMsg(h, 0x403C90); }},
      {"midiOutPrepareHeader",
       [&](HMIDI h) { return midi->midiOutPrepareHeader(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiOutUnprepareHeader",
       [&](HMIDI h) { return midi->midiOutUnprepareHeader(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiOutLongMsg",
       [&](HMIDI h) { return midi->midiOutLongMsg(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiOutReset", [&](HMIDI h) { return midi->midiOutReset(h); }},
      {"midiOutCachePatches", [&](HMIDI h) { return midi->midiOutCachePatches(h, 0, patches, 0); }},
      {"midiOutCacheDrumPatches",
       [&](HMIDI h) { return midi->midiOutCacheDrumPatches(h, 0, patches, 0); }},
  };
  for (const auto& [name, op] : inputOps) {
    for (HMIDI bad : {HMIDI{0}, closedIn, out}) {
      EXPECT_EQ(op(bad), MMSYSERR_INVALHANDLE) << name << " with handle " << bad;
    }
  }
  for (const auto& [name, op] : outputOps) {
    for (HMIDI bad : {HMIDI{0}, closedOut, in}) {
      EXPECT_EQ(op(bad), MMSYSERR_INVALHANDLE) << name << " with handle " << bad;
    }
  }
}

TEST_P(MidiServicesContract, OutputFunctionsCheckTheDeviceIdAndTheirArguments) {
  const auto loopOut = static_cast<uint32_t>(OutputIdOf(*midi, rig->LoopOutput()));
  const uint32_t outputs = midi->midiOutGetNumDevs();
  uint32_t volume = 0;
  for (uint32_t bad : {outputs, outputs + 100}) {
    EXPECT_EQ(midi->midiOutGetVolume(bad, &volume), MMSYSERR_BADDEVICEID) << bad;
    EXPECT_EQ(midi->midiOutSetVolume(bad, 0), MMSYSERR_BADDEVICEID) << bad;
    EXPECT_EQ(midi->midiOutMessage(bad, 0, 0, 0), MMSYSERR_BADDEVICEID) << bad;
  }
  EXPECT_EQ(midi->midiOutGetVolume(loopOut, nullptr), MMSYSERR_INVALPARAM);
  const HMIDI out = OpenOut(sent);
  EXPECT_EQ(midi->midiOutCachePatches(out, 0, nullptr, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midi->midiOutCacheDrumPatches(out, 0, nullptr, 0), MMSYSERR_INVALPARAM);
}

// ---- Headers ----------------------------------------------------------------

TEST_P(MidiServicesContract, HeadersAreCheckedBeforeTheDriverTakesThem) {
  const HMIDI in = OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  constexpr uint32_t kSize = sizeof(MIDIHDR);
  TestHeader& unprepared = headers.emplace_back(8);
  TestHeader& empty = headers.emplace_back(0);
  TestHeader& noBytes = headers.emplace_back(8);
  noBytes->dwBufferLength = 0;
  MIDIHDR noData{};
  noData.dwBufferLength = 8;

  struct Case {
    const char* what;
    std::function<MMRESULT()> op;
    MMRESULT expected;
  };
  const Case cases[] = {
      {"in: no header", [&] { return midi->midiInPrepareHeader(in, nullptr, kSize); },
       MMSYSERR_INVALPARAM},
      {"in: header size too small",
       [&] { return midi->midiInPrepareHeader(in, unprepared.get(), kSize - 1); },
       MMSYSERR_INVALPARAM},
      {"in: header without data", [&] { return midi->midiInPrepareHeader(in, &noData, kSize); },
       MMSYSERR_INVALPARAM},
      {"in: header of 0 bytes", [&] { return midi->midiInPrepareHeader(in, empty.get(), kSize); },
       MMSYSERR_INVALPARAM},
      {"in: header with data but a length of 0",
       [&] { return midi->midiInPrepareHeader(in, noBytes.get(), kSize); }, MMSYSERR_INVALPARAM},
      {"in: unprepared header added",
       [&] { return midi->midiInAddBuffer(in, unprepared.get(), kSize); }, MIDIERR_UNPREPARED},
      {"in: no header added", [&] { return midi->midiInAddBuffer(in, nullptr, kSize); },
       MMSYSERR_INVALPARAM},
      {"in: unprepare without header",
       [&] { return midi->midiInUnprepareHeader(in, nullptr, kSize); }, MMSYSERR_INVALPARAM},
      {"out: no header", [&] { return midi->midiOutPrepareHeader(out, nullptr, kSize); },
       MMSYSERR_INVALPARAM},
      {"out: header with data but a length of 0",
       [&] { return midi->midiOutPrepareHeader(out, noBytes.get(), kSize); }, MMSYSERR_INVALPARAM},
      {"out: header size too small",
       [&] { return midi->midiOutLongMsg(out, unprepared.get(), kSize - 1); },
       MMSYSERR_INVALPARAM},
      {"out: unprepared header sent",
       [&] { return midi->midiOutLongMsg(out, unprepared.get(), kSize); }, MIDIERR_UNPREPARED},
      {"out: no header sent", [&] { return midi->midiOutLongMsg(out, nullptr, kSize); },
       MMSYSERR_INVALPARAM},
  };
  for (const Case& c : cases) EXPECT_EQ(c.op(), c.expected) << c.what;
  Settle(out);
  EXPECT_EQ(received.Count(), 0u) << "nothing went round the loop";
  EXPECT_EQ(sent.Count(), 0u);
}

TEST_P(MidiServicesContract, AHeaderWithTheDriverCannotBeAddedAgainOrUnprepared) {
  const HMIDI in = OpenIn(received);
  TestHeader& header = headers.emplace_back(8);
  AddInputHeader(*midi, in, header);
  EXPECT_EQ(header->dwFlags & (MHDR_PREPARED | MHDR_INQUEUE), MHDR_PREPARED | MHDR_INQUEUE);
  EXPECT_EQ(midi->midiInAddBuffer(in, header.get(), sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midi->midiInUnprepareHeader(in, header.get(), sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midi->midiInPrepareHeader(in, header.get(), sizeof(MIDIHDR)), MMSYSERR_NOERROR);

  ASSERT_EQ(midi->midiInReset(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->midiInUnprepareHeader(in, header.get(), sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(header->dwFlags & MHDR_PREPARED, 0u);
  EXPECT_EQ(midi->midiInAddBuffer(in, header.get(), sizeof(MIDIHDR)), MIDIERR_UNPREPARED);
}

TEST_P(MidiServicesContract, ResetAndCloseTakeBackEveryQueuedHeaderWithoutCallback) {
  const HMIDI in = OpenIn(received);
  for (bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "close" : "reset");
    TestHeader& a = AddHeader(in, 16);
    TestHeader& b = AddHeader(in, 16);
    ASSERT_EQ(midi->midiInStart(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midi->midiInUnprepareHeader(in, a.get(), sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);

    if (closing) {
      ASSERT_EQ(midi->midiInClose(in), MMSYSERR_NOERROR);
    } else {
      ASSERT_EQ(midi->midiInReset(in), MMSYSERR_NOERROR);
    }
    for (TestHeader* header : {&a, &b}) {
      EXPECT_EQ(header->hdr.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
      if (!closing) {
        EXPECT_EQ(midi->midiInUnprepareHeader(in, header->get(), sizeof(MIDIHDR)),
                  MMSYSERR_NOERROR);
      }
    }
  }
  EXPECT_EQ(received.Count(), 0u);
}

// ---- Short messages ---------------------------------------------------------

TEST_P(MidiServicesContract, ShortMessagesArriveWithTheBytesTheirStatusImplies) {
  const HMIDI in = OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  struct Case {
    uint32_t sent;
    uint32_t arrived;
  };
  const Case cases[] = {
      {0x403C90, 0x403C90},    // note on: three bytes
      {0x003C80, 0x003C80},    // note off
      {0x7F05C2, 0x0005C2},    // program change: two bytes, the third is not sent
      {0xFF05C0, 0x0005C0},    // ... even when it would read as a status
      {0x1234D0, 0x0034D0},    // channel pressure: two bytes
      {0x0000F8, 0x0000F8},    // timing clock: one byte
      {0x7F7FFA, 0x0000FA},    // start: one byte
      {0x0000FE, 0x0000FE},    // active sensing
      {0x0201F2, 0x0201F2},    // song position: three bytes
      {0x0010F1, 0x0010F1},    // time-code quarter frame: two bytes
      {0x7F7FF6, 0x0000F6},    // tune request: one byte
      {0x40103C90, 0x103C90},  // bits above the third byte are ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.sent);
    received.Clear();
    ASSERT_TRUE(Until([&] { EXPECT_EQ(midi->midiOutShortMsg(out, c.sent), MMSYSERR_NOERROR); },
                      [&] { return received.Count() > 0; }));
    Settle(out);
    const auto notices = received.Notices();
    EXPECT_EQ(notices[0].handle, in);
    EXPECT_EQ(notices[0].msg, MIM_DATA);
    EXPECT_EQ(notices[0].param1, c.arrived);
    if (!rig->Loses()) {
      EXPECT_EQ(notices.size(), 1u) << "a byte too many would arrive as a message of its own";
    }
  }
}

TEST_P(MidiServicesContract, ShortMessagesThatCannotBeSentAreRefusedAndNothingArrives) {
  SKIP_UNLESS(Claim::kRefusesShortMessagesItCannotSend);
  OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  struct Case {
    uint32_t packed;
    MMRESULT expected;
  };
  const Case cases[] = {
      {0x00403C, MIDIERR_BADOPENMODE},  // a data byte where the status belongs
      {0x000000, MIDIERR_BADOPENMODE},
      {0x0000F0, MMSYSERR_INVALPARAM},  // system exclusive needs a long message
      {0x80BC90, MMSYSERR_INVALPARAM},  // a data byte that would read as a status
  };
  for (const Case& c : cases) {
    EXPECT_EQ(midi->midiOutShortMsg(out, c.packed), c.expected) << std::hex << c.packed;
  }
  Settle(out);
  EXPECT_EQ(received.Count(), 0u);
}

TEST_P(MidiServicesContract, ShortMessagesAreStampedWithTheMillisecondsSinceTheLastStart) {
  ManualClock* clock = rig->Clock();
  if (clock == nullptr) GTEST_SKIP() << "its time stamps are not read from a clock of its own";
  const HMIDI in = OpenIn(received);
  const HMIDI out = OpenOut(sent);
  struct Step {
    std::chrono::milliseconds wait;
    bool restart;
    uint32_t stamp;
  };
  const Step steps[] = {
      {0ms, true, 0}, {40ms, false, 40}, {1960ms, false, 2000}, {500ms, true, 0}, {7ms, false, 7},
  };
  for (const Step& step : steps) {
    clock->Advance(step.wait);
    if (step.restart) {
      ASSERT_EQ(midi->midiInStop(in), MMSYSERR_NOERROR);
      ASSERT_EQ(midi->midiInStart(in), MMSYSERR_NOERROR);
    }
    received.Clear();
    ASSERT_TRUE(Until([&] { midi->midiOutShortMsg(out, 0x403C90); },
                      [&] { return received.Count() > 0; }));
    EXPECT_EQ(received.Notices()[0].param2, step.stamp);
  }
}

TEST_P(MidiServicesContract, NothingArrivesBeforeStartOrAfterStop) {
  if (rig->Loses()) GTEST_SKIP() << "a message it drops cannot be told from one the input refused";
  const HMIDI in = OpenIn(received);
  const HMIDI out = OpenOut(sent);
  ASSERT_EQ(midi->midiOutShortMsg(out, 0x01B0), MMSYSERR_NOERROR);  // not started yet
  Settle(out);
  ASSERT_EQ(midi->midiInStart(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi->midiOutShortMsg(out, 0x02B0), MMSYSERR_NOERROR);
  Settle(out);
  ASSERT_EQ(midi->midiInStop(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi->midiOutShortMsg(out, 0x03B0), MMSYSERR_NOERROR);  // stopped
  Settle(out);
  ASSERT_EQ(midi->midiInStart(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi->midiOutShortMsg(out, 0x04B0), MMSYSERR_NOERROR);
  Settle(out);

  const auto notices = received.Notices();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].param1, 0x02B0u);
  EXPECT_EQ(notices[1].param1, 0x04B0u);
}

TEST_P(MidiServicesContract, NoCallbackRunsOnceStopReturns) {
  const HMIDI in = OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  const auto send2000Clocks = [&] {
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(midi->midiOutShortMsg(out, 0x00F8), MMSYSERR_NOERROR);
  };
  ASSERT_TRUE(Until(send2000Clocks, [&] { return received.Count() > 0; }));
  ASSERT_EQ(midi->midiInStop(in), MMSYSERR_NOERROR);
  const size_t atStop = received.Count();
  Settle(out);
  EXPECT_EQ(received.Count(), atStop);
}

TEST_P(MidiServicesContract, MessagesFromSeveralOutputsAllArrive) {
  OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  const HMIDI other = OpenOut(sent);
  const auto arrived = [&] {
    std::set<uintptr_t> values;
    for (const auto& notice : received.Notices()) values.insert(notice.param1);
    return values;
  };
  ASSERT_TRUE(Until(
      [&] {
        ASSERT_EQ(midi->midiOutShortMsg(out, 0x01B0), MMSYSERR_NOERROR);
        ASSERT_EQ(midi->midiOutShortMsg(other, 0x02B0), MMSYSERR_NOERROR);
      },
      [&] { return arrived().size() == 2; }));
  ASSERT_EQ(midi->midiOutClose(other), MMSYSERR_NOERROR);
  Settle(out);
  EXPECT_EQ(arrived(), (std::set<uintptr_t>{0x01B0, 0x02B0}));
  if (!rig->Loses()) {
    EXPECT_EQ(received.Count(), 2u);
  }
}

// ---- System-exclusive messages ----------------------------------------------

TEST_P(MidiServicesContract, SysexFillsTheAddedHeadersInOrderSplittingWhereOneIsFull) {
  const HMIDI in = OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  std::vector<TestHeader*> added;
  for (int i = 0; i < 4; ++i) added.push_back(&AddHeader(in, 4));
  const Bytes message = Sysex(10);
  ASSERT_TRUE(Until([&] { EXPECT_EQ(SendSysex(out, message), MMSYSERR_NOERROR); },
                    [&] { return received.Count() >= 3; }));
  Settle(out);

  const auto notices = received.Notices();
  const std::vector<Bytes> parts = {{message.begin(), message.begin() + 4},
                                    {message.begin() + 4, message.begin() + 8},
                                    {message.begin() + 8, message.end()}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(notices[i].msg, MIM_LONGDATA);
    EXPECT_EQ(notices[i].handle, in);
    EXPECT_EQ(notices[i].param1, reinterpret_cast<uintptr_t>(added[i]->get()));
    EXPECT_EQ(notices[i].bytes, parts[i]);
    EXPECT_EQ(notices[i].flags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
  }
  if (!rig->Loses()) {
    EXPECT_EQ(notices.size(), 3u);
    EXPECT_EQ(added[3]->hdr.dwFlags & MHDR_INQUEUE, MHDR_INQUEUE);  // still waiting
  }
}

TEST_P(MidiServicesContract, ASysexLongerThanAHeaderIsSplitOverAsManyAsItNeeds) {
  const ServicesUnderTest::Split split = rig->LargeSysex();
  const HMIDI in = OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  std::vector<TestHeader*> added;
  for (size_t i = 0; i <= split.headersFilled; ++i) {
    added.push_back(&AddHeader(in, split.headerBytes));  // one more than it needs
  }
  const Bytes message = Sysex(split.messageBytes);
  ASSERT_TRUE(Until([&] { EXPECT_EQ(SendSysex(out, message), MMSYSERR_NOERROR); },
                    [&] { return received.Count() >= split.headersFilled; }));
  Settle(out);

  const auto notices = received.Notices();
  Bytes joined;
  for (size_t i = 0; i < split.headersFilled; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(notices[i].msg, MIM_LONGDATA);
    EXPECT_EQ(notices[i].param1, reinterpret_cast<uintptr_t>(added[i]->get()));
    joined.insert(joined.end(), notices[i].bytes.begin(), notices[i].bytes.end());
  }
  EXPECT_EQ(notices[split.headersFilled - 1].bytes.size(), split.lastHeaderBytes);
  EXPECT_EQ(joined, message);
}

TEST_P(MidiServicesContract, SysexBeyondTheAddedHeadersIsDroppedAndTheNextMessageArrivesWhole) {
  const HMIDI in = OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  TestHeader& only = AddHeader(in, 4);
  const Bytes first = Sysex(10);
  ASSERT_TRUE(Until([&] { EXPECT_EQ(SendSysex(out, first), MMSYSERR_NOERROR); },
                    [&] { return received.Count() > 0; }));
  ASSERT_TRUE(Until([&] { EXPECT_EQ(midi->midiOutShortMsg(out, 0x403C90), MMSYSERR_NOERROR); },
                    [&] { return !received.Of(MIM_DATA).empty(); }));
  Settle(out);

  TestHeader& next = AddHeader(in, 8);
  ASSERT_TRUE(Until([&] { EXPECT_EQ(SendSysex(out, {0xF0, 0x01, 0xF7}), MMSYSERR_NOERROR); },
                    [&] { return HasLongData(received, {0xF0, 0x01, 0xF7}); }));
  Settle(out);

  const auto longs = received.Of(MIM_LONGDATA);
  ASSERT_EQ(longs.size(), 2u);
  EXPECT_EQ(longs[0].param1, reinterpret_cast<uintptr_t>(only.get()));
  EXPECT_EQ(longs[0].bytes, Bytes(first.begin(), first.begin() + 4));
  EXPECT_EQ(longs[1].param1, reinterpret_cast<uintptr_t>(next.get()));
  EXPECT_EQ(longs[1].bytes, (Bytes{0xF0, 0x01, 0xF7}));
  EXPECT_EQ(received.Of(MIM_DATA)[0].param1, 0x403C90u);
  EXPECT_TRUE(received.Of(MIM_LONGERROR).empty());
  if (!rig->Loses()) {
    EXPECT_EQ(received.Count(), 3u);
  }
}

TEST_P(MidiServicesContract, SysexWithoutAnyHeaderIsDropped) {
  OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  ASSERT_TRUE(Until(
      [&] {
        EXPECT_EQ(SendSysex(out, Sysex(6)), MMSYSERR_NOERROR);
        EXPECT_EQ(midi->midiOutShortMsg(out, 0x00F8), MMSYSERR_NOERROR);
      },
      [&] { return received.Count() > 0; }));
  Settle(out);
  for (const auto& notice : received.Notices()) {
    EXPECT_EQ(notice.msg, MIM_DATA);
    EXPECT_EQ(notice.param1, 0xF8u);
  }
  if (!rig->Loses()) {
    EXPECT_EQ(received.Count(), 1u);
  }
}

TEST_P(MidiServicesContract, ASysexSentInPiecesArrivesAsOneMessage) {
  SKIP_UNLESS(Claim::kJoinsASysexSentInPieces);
  const HMIDI in = OpenStartedIn();
  const HMIDI out = OpenOut(sent);
  for (int i = 0; i < 4; ++i) AddHeader(in, 16);
  ASSERT_TRUE(Until(
      [&] {
        EXPECT_EQ(SendSysex(out, {0xF0, 0x01}), MMSYSERR_NOERROR);
        EXPECT_EQ(SendSysex(out, {0x02, 0xF7}), MMSYSERR_NOERROR);
      },
      [&] { return HasLongData(received, {0xF0, 0x01, 0x02, 0xF7}); }));
  Settle(out);
  const auto notices = received.Notices();
  EXPECT_EQ(notices.back().msg, MIM_LONGDATA);
  EXPECT_EQ(notices.back().bytes, (Bytes{0xF0, 0x01, 0x02, 0xF7}));
  EXPECT_GE(sent.Of(MOM_DONE).size(), 2u) << "each piece's header came back";
  if (!rig->Loses()) {
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_EQ(sent.Of(MOM_DONE).size(), 2u);
  }
}

// ---- Long messages sent -----------------------------------------------------

TEST_P(MidiServicesContract, EachLongMessageComesBackOnceWithMomDone) {
  const HMIDI out = OpenOut(sent);
  std::vector<TestHeader*> sentHeaders;
  for (uint8_t i = 0; i < 3; ++i) {
    TestHeader& header = headers.emplace_back(Bytes{0xF0, i, 0xF7});
    ASSERT_EQ(SendLong(*midi, out, header), MMSYSERR_NOERROR);
    sentHeaders.push_back(&header);
  }
  ASSERT_EQ(midi->midiOutClose(out), MMSYSERR_NOERROR);  // returns once all came back

  const auto done = sent.Of(MOM_DONE);
  ASSERT_EQ(done.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(done[i].handle, out);
    EXPECT_EQ(done[i].param1, reinterpret_cast<uintptr_t>(sentHeaders[i]->get()));
    EXPECT_EQ(sentHeaders[i]->hdr.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
  }
}

TEST_P(MidiServicesContract, ResetReturnsEveryPendingLongMessageBeforeItReturns) {
  const HMIDI out = OpenOut(sent);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(SendSysex(out, Sysex(100)), MMSYSERR_NOERROR);
  ASSERT_EQ(midi->midiOutReset(out), MMSYSERR_NOERROR);
  EXPECT_EQ(sent.Of(MOM_DONE).size(), 50u);
}

// ---- Error texts ------------------------------------------------------------

const MMRESULT kReturnedCodes[] = {
    MMSYSERR_NOERROR,   MMSYSERR_ERROR,     MMSYSERR_BADDEVICEID, MMSYSERR_ALLOCATED,
    MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER, MMSYSERR_NOMEM,      kMidiNotSupported,
    MMSYSERR_INVALPARAM, MIDIERR_UNPREPARED, MIDIERR_STILLPLAYING, MIDIERR_NOTREADY,
    MIDIERR_NODEVICE,   MIDIERR_BADOPENMODE,
};

TEST_P(MidiServicesContract, EveryCodeTheServicesReturnHasATextOfItsOwn) {
  std::set<std::string> texts;
  for (MMRESULT code : kReturnedCodes) {
    std::string in;
    std::string out;
    EXPECT_EQ(midi->midiInGetErrorText(code, &in), MMSYSERR_NOERROR) << code;
    EXPECT_EQ(midi->midiOutGetErrorText(code, &out), MMSYSERR_NOERROR) << code;
    EXPECT_FALSE(in.empty()) << code;
    EXPECT_EQ(in, out) << code;
    texts.insert(in);
  }
  EXPECT_EQ(texts.size(), std::size(kReturnedCodes)) << "every code has a text of its own";

  for (MMRESULT unknown : {3u, 9u, 63u, 71u, 0xFFFFFFFFu}) {
    std::string text = "unchanged";
    EXPECT_NE(midi->midiInGetErrorText(unknown, &text), MMSYSERR_NOERROR) << unknown;
    EXPECT_NE(midi->midiOutGetErrorText(unknown, &text), MMSYSERR_NOERROR) << unknown;
    EXPECT_EQ(text, "unchanged");
  }
  EXPECT_NE(midi->midiInGetErrorText(MMSYSERR_NOERROR, nullptr), MMSYSERR_NOERROR);
  EXPECT_NE(midi->midiOutGetErrorText(MMSYSERR_NOERROR, nullptr), MMSYSERR_NOERROR);
}

// An implementation that keeps a wording of its own for most codes
// (Claim::kWordsErrorsAsUsersReadThem) is held to the codes it shares.
TEST_P(MidiServicesContract, ErrorTextsReadAsTheUserSeesThem) {
  const bool ownWording = !rig->WhyNot(Claim::kWordsErrorsAsUsersReadThem).empty();
  struct Case {
    MMRESULT code;
    const char* text;
    bool shared;  // also by an implementation with a wording of its own
  };
  const Case cases[] = {
      {MMSYSERR_NOERROR, "No error.", false},
      {MMSYSERR_ERROR, "The MIDI device reported an unspecified error.", false},
      {MMSYSERR_BADDEVICEID, "There is no MIDI device with this number.", false},
      {MMSYSERR_ALLOCATED, "The MIDI device is already in use.", true},
      {MMSYSERR_INVALHANDLE, "The handle does not belong to an open MIDI device.", false},
      {MMSYSERR_NODRIVER, "No MIDI driver is installed.", false},
      {MMSYSERR_NOMEM, "There is not enough memory for this MIDI operation.", false},
      {kMidiNotSupported, "The MIDI device does not support this function.", true},
      {MMSYSERR_INVALPARAM, "A parameter or buffer passed to the MIDI device is invalid.", false},
      {MIDIERR_UNPREPARED, "The MIDI buffer has not been prepared.", false},
      {MIDIERR_STILLPLAYING, "The MIDI buffer is still with the device.", false},
      {MIDIERR_NOTREADY, "The MIDI device is busy; try again later.", false},
      {MIDIERR_NODEVICE, "The MIDI device is no longer present.", false},
      {MIDIERR_BADOPENMODE, "A MIDI message was sent without a status byte.", false},
  };
  for (const Case& c : cases) {
    if (ownWording && !c.shared) continue;
    std::string text;
    EXPECT_EQ(midi->midiInGetErrorText(c.code, &text), MMSYSERR_NOERROR) << c.code;
    EXPECT_EQ(text, c.text) << c.code;
  }
}

}  // namespace
