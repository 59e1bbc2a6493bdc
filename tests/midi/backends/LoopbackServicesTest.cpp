// The built-in loopback device through the raw services: what is sent to its
// output arrives on its input, delivered by the loopback's own thread.

#include <gtest/gtest.h>

#include <deque>
#include <thread>

#include "BackendTestSupport.h"
#include "backends/common/BackendMidiServices.h"
#include "backends/loopback/LoopbackSource.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::unique_ptr<DeviceSource>> LoopbackOnly() {
  std::vector<std::unique_ptr<DeviceSource>> sources;
  sources.push_back(std::make_unique<LoopbackSource>());
  return sources;
}

class LoopbackServices : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(midi.midiInOpen(&in, 0, &NoticeRecorder::Callback, received.Instance(),
                              CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midi.midiOutOpen(&out, 0, &NoticeRecorder::Callback, sent.Instance(),
                               CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
  }

  TestHeader& AddHeader(size_t size) {
    TestHeader& header = headers.emplace_back(size);
    AddInputHeader(midi, in, header);
    return header;
  }

  MMRESULT SendSysex(const std::vector<uint8_t>& bytes) {
    return SendLong(midi, out, headers.emplace_back(bytes));
  }

  // Every message sent so far has been through the loopback.
  void Flush() { ASSERT_EQ(midi.midiOutReset(out), MMSYSERR_NOERROR); }

  // Declared before the services, which may still hold them until they are gone.
  NoticeRecorder received;
  NoticeRecorder sent;
  std::deque<TestHeader> headers;
  BackendMidiServices midi{LoopbackOnly()};
  HMIDI in = 0;
  HMIDI out = 0;
};

TEST_F(LoopbackServices, ShortMessagesArriveWithTheBytesTheirStatusImpliesAndRisingTimeStamps) {
  struct Case {
    uint32_t sent;
    uint32_t arrived;
  };
  const Case cases[] = {
      {0x403C90, 0x403C90},  // note on: three bytes
      {0x7F05C2, 0x0005C2},  // program change: two bytes, the third is not sent
      {0x0000F8, 0x0000F8},  // timing clock: one byte
      {0x0201F2, 0x0201F2},  // song position: three bytes
      {0x0010F1, 0x0010F1},  // time-code quarter frame: two bytes
      {0x7F7FF6, 0x0000F6},  // tune request: one byte
  };
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  for (const Case& c : cases) {
    ASSERT_EQ(midi.midiOutShortMsg(out, c.sent), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_TRUE(received.WaitFor(std::size(cases)));
  const auto notices = received.Notices();
  ASSERT_EQ(notices.size(), std::size(cases));
  for (size_t i = 0; i < notices.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(notices[i].handle, in);
    EXPECT_EQ(notices[i].msg, MIM_DATA);
    EXPECT_EQ(notices[i].param1, cases[i].arrived);
    if (i > 0) {
      EXPECT_GE(notices[i].param2, notices[i - 1].param2);
    }
  }
  EXPECT_GE(notices.back().param2 - notices.front().param2, 20u);
  EXPECT_LT(notices.back().param2, 10000u);
}

TEST_F(LoopbackServices, SysexFillsTheAddedHeadersInOrderSplittingWhereOneIsFull) {
  std::vector<TestHeader*> added;
  for (int i = 0; i < 4; ++i) added.push_back(&AddHeader(4));
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  const auto message = Sysex(10);
  ASSERT_EQ(SendSysex(message), MMSYSERR_NOERROR);

  ASSERT_TRUE(received.WaitFor(3));
  Flush();
  const auto notices = received.Notices();
  ASSERT_EQ(notices.size(), 3u);
  const std::vector<std::vector<uint8_t>> parts = {
      {message.begin(), message.begin() + 4},
      {message.begin() + 4, message.begin() + 8},
      {message.begin() + 8, message.end()}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(notices[i].msg, MIM_LONGDATA);
    EXPECT_EQ(notices[i].param1, reinterpret_cast<uintptr_t>(added[i]->get()));
    EXPECT_EQ(notices[i].bytes, parts[i]);
    EXPECT_EQ(notices[i].flags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
  }
  EXPECT_EQ(added[3]->hdr.dwFlags & MHDR_INQUEUE, MHDR_INQUEUE);  // still waiting
}

TEST_F(LoopbackServices, SysexBeyondTheAddedHeadersIsDroppedAndTheNextMessageArrivesWhole) {
  TestHeader& only = AddHeader(4);
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  const auto first = Sysex(10);
  ASSERT_EQ(SendSysex(first), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutShortMsg(out, 0x403C90), MMSYSERR_NOERROR);
  ASSERT_TRUE(received.WaitFor(2));
  Flush();

  TestHeader& next = AddHeader(8);
  ASSERT_EQ(SendSysex({0xF0, 0x01, 0xF7}), MMSYSERR_NOERROR);
  ASSERT_TRUE(received.WaitFor(3));
  Flush();

  const auto notices = received.Notices();
  ASSERT_EQ(notices.size(), 3u);
  EXPECT_EQ(notices[0].param1, reinterpret_cast<uintptr_t>(only.get()));
  EXPECT_EQ(notices[0].bytes, std::vector<uint8_t>(first.begin(), first.begin() + 4));
  EXPECT_EQ(notices[1].msg, MIM_DATA);
  EXPECT_EQ(notices[1].param1, 0x403C90u);
  EXPECT_EQ(notices[2].param1, reinterpret_cast<uintptr_t>(next.get()));
  EXPECT_EQ(notices[2].bytes, (std::vector<uint8_t>{0xF0, 0x01, 0xF7}));
}

TEST_F(LoopbackServices, SysexWithoutAnyHeaderIsDropped) {
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  ASSERT_EQ(SendSysex(Sysex(6)), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutShortMsg(out, 0x00F8), MMSYSERR_NOERROR);
  ASSERT_TRUE(received.WaitFor(1));
  Flush();
  const auto notices = received.Notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].msg, MIM_DATA);
}

TEST_F(LoopbackServices, ALongMessageIsReadAsAStreamOfMessages) {
  TestHeader& first = AddHeader(16);
  TestHeader& second = AddHeader(16);
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  // A sysex cut short by a note on (running status for a second one), then a
  // complete sysex with a clock byte inside.
  ASSERT_EQ(SendSysex({0xF0, 0x01, 0x02, 0x90, 0x3C, 0x40, 0x3E, 0x00, 0xF0, 0x03, 0xF8, 0xF7}),
            MMSYSERR_NOERROR);
  Flush();
  const auto notices = received.Notices();
  ASSERT_EQ(notices.size(), 5u);
  EXPECT_EQ(notices[0].msg, MIM_LONGERROR);
  EXPECT_EQ(notices[0].param1, reinterpret_cast<uintptr_t>(first.get()));
  EXPECT_EQ(notices[0].bytes, (std::vector<uint8_t>{0xF0, 0x01, 0x02}));
  EXPECT_EQ(notices[1].param1, 0x403C90u);
  EXPECT_EQ(notices[2].param1, 0x003E90u);
  EXPECT_EQ(notices[3].msg, MIM_DATA);
  EXPECT_EQ(notices[3].param1, 0xF8u);
  EXPECT_EQ(notices[4].msg, MIM_LONGDATA);
  EXPECT_EQ(notices[4].param1, reinterpret_cast<uintptr_t>(second.get()));
  EXPECT_EQ(notices[4].bytes, (std::vector<uint8_t>{0xF0, 0x03, 0xF7}));
}

TEST_F(LoopbackServices, LargeSysexIsSplitOverManyHeaders) {
  std::vector<TestHeader*> added;
  for (int i = 0; i < 16; ++i) added.push_back(&AddHeader(4096));
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  const auto message = Sysex(60000);
  ASSERT_EQ(SendSysex(message), MMSYSERR_NOERROR);

  ASSERT_TRUE(received.WaitFor(15));
  Flush();
  const auto notices = received.Notices();
  ASSERT_EQ(notices.size(), 15u);  // 14 full headers and 2656 bytes
  std::vector<uint8_t> joined;
  for (size_t i = 0; i < notices.size(); ++i) {
    EXPECT_EQ(notices[i].param1, reinterpret_cast<uintptr_t>(added[i]->get()));
    joined.insert(joined.end(), notices[i].bytes.begin(), notices[i].bytes.end());
  }
  EXPECT_EQ(notices.back().bytes.size(), 60000u - 14 * 4096);
  EXPECT_EQ(joined, message);
}

TEST_F(LoopbackServices, NothingArrivesBeforeStartOrAfterStop) {
  ASSERT_EQ(midi.midiOutShortMsg(out, 0x01B0), MMSYSERR_NOERROR);  // not started yet
  Flush();
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutShortMsg(out, 0x02B0), MMSYSERR_NOERROR);
  Flush();
  ASSERT_EQ(midi.midiInStop(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutShortMsg(out, 0x03B0), MMSYSERR_NOERROR);  // stopped
  Flush();
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutShortMsg(out, 0x04B0), MMSYSERR_NOERROR);
  Flush();

  const auto notices = received.Notices();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].param1, 0x02B0u);
  EXPECT_EQ(notices[1].param1, 0x04B0u);
}

TEST_F(LoopbackServices, NoCallbackRunsOnceStopReturns) {
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(midi.midiOutShortMsg(out, 0x00F8), MMSYSERR_NOERROR);
  ASSERT_TRUE(received.WaitFor(1));
  ASSERT_EQ(midi.midiInStop(in), MMSYSERR_NOERROR);
  const size_t atStop = received.Count();
  Flush();
  EXPECT_EQ(received.Count(), atStop);
}

TEST_F(LoopbackServices, ResetAndCloseTakeBackEveryQueuedHeaderWithoutCallback) {
  for (bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "close" : "reset");
    TestHeader& a = AddHeader(16);
    TestHeader& b = AddHeader(16);
    ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midi.midiInUnprepareHeader(in, a.get(), sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);

    if (closing) {
      ASSERT_EQ(midi.midiInClose(in), MMSYSERR_NOERROR);
    } else {
      ASSERT_EQ(midi.midiInReset(in), MMSYSERR_NOERROR);
    }
    for (TestHeader* header : {&a, &b}) {
      EXPECT_EQ(header->hdr.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
      if (!closing) {
        EXPECT_EQ(midi.midiInUnprepareHeader(in, header->get(), sizeof(MIDIHDR)),
                  MMSYSERR_NOERROR);
      }
    }
  }
  EXPECT_EQ(received.Count(), 0u);
}

TEST_F(LoopbackServices, EachLongMessageComesBackWithMomDoneAfterItsBytesArrived) {
  // One recorder for both ends shows the order of delivery and completion.
  NoticeRecorder both;
  HMIDI bothIn = 0;
  HMIDI bothOut = 0;
  ASSERT_EQ(midi.midiInClose(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiInOpen(&bothIn, 0, &NoticeRecorder::Callback, both.Instance(),
                            CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutOpen(&bothOut, 0, &NoticeRecorder::Callback, both.Instance(),
                             CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  for (int i = 0; i < 3; ++i) AddInputHeader(midi, bothIn, headers.emplace_back(64));
  ASSERT_EQ(midi.midiInStart(bothIn), MMSYSERR_NOERROR);

  std::vector<TestHeader*> sentHeaders;
  for (uint8_t i = 0; i < 3; ++i) {
    TestHeader& header = headers.emplace_back(std::vector<uint8_t>{0xF0, i, 0xF7});
    ASSERT_EQ(SendLong(midi, bothOut, header), MMSYSERR_NOERROR);
    sentHeaders.push_back(&header);
  }
  ASSERT_EQ(midi.midiOutClose(bothOut), MMSYSERR_NOERROR);  // returns once all came back

  const auto notices = both.Notices();
  ASSERT_EQ(notices.size(), 6u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(notices[2 * i].msg, MIM_LONGDATA);
    EXPECT_EQ(notices[2 * i].bytes, sentHeaders[i]->data);
    EXPECT_EQ(notices[2 * i + 1].msg, MOM_DONE);
    EXPECT_EQ(notices[2 * i + 1].handle, bothOut);
    EXPECT_EQ(notices[2 * i + 1].param1, reinterpret_cast<uintptr_t>(sentHeaders[i]->get()));
    EXPECT_EQ(sentHeaders[i]->hdr.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
  }
  ASSERT_EQ(midi.midiInClose(bothIn), MMSYSERR_NOERROR);
}

TEST_F(LoopbackServices, ResetReturnsEveryPendingLongMessageBeforeItReturns) {
  for (int i = 0; i < 50; ++i) ASSERT_EQ(SendSysex(Sysex(100)), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutReset(out), MMSYSERR_NOERROR);
  EXPECT_EQ(sent.Of(MOM_DONE).size(), 50u);
}

TEST_F(LoopbackServices, OnlyOneInputAtATime) {
  HMIDI second = 0;
  EXPECT_EQ(midi.midiInOpen(&second, 0, nullptr, 0, 0), MMSYSERR_ALLOCATED);
  EXPECT_EQ(second, 0u);
  ASSERT_EQ(midi.midiInClose(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiInOpen(&second, 0, nullptr, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midi.midiInClose(second), MMSYSERR_NOERROR);
}

TEST_F(LoopbackServices, MessagesFromSeveralOutputsAllArrive) {
  HMIDI other = 0;
  ASSERT_EQ(midi.midiOutOpen(&other, 0, nullptr, 0, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutShortMsg(out, 0x01B0), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutShortMsg(other, 0x02B0), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutClose(other), MMSYSERR_NOERROR);
  Flush();
  EXPECT_EQ(received.Count(), 2u);
}

}  // namespace
