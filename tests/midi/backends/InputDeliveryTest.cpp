// The receiving end of an input on its own: bytes handed to Receive in
// pieces, as back ends hand them over, become the driver callbacks.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <stdexcept>
#include <vector>

#include "BackendTestSupport.h"
#include "backends/common/HeaderQueue.h"
#include "backends/common/InputDelivery.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr HMIDI kHandle = 0x1234;

class InputDeliveryTest : public ::testing::Test {
 protected:
  // A prepared header, handed to the delivery.
  TestHeader& Add(size_t size) {
    TestHeader& header = headers.emplace_back(size);
    header->dwFlags = MHDR_PREPARED;
    EXPECT_EQ(delivery.AddBuffer(header.get()), MMSYSERR_NOERROR);
    return header;
  }

  void Receive(const Bytes& bytes) { delivery.Receive(bytes.data(), bytes.size()); }

  NoticeRecorder notices;
  ManualClock clock;
  std::deque<TestHeader> headers;
  InputDelivery delivery{kHandle, &NoticeRecorder::Callback, notices.Instance(), clock.Function()};
};

TEST_F(InputDeliveryTest, ASysexSplitOverTwoDeliveriesFillsOneHeader) {
  TestHeader& header = Add(16);
  delivery.Start();
  Receive({0xF0, 0x01});
  EXPECT_EQ(notices.Count(), 0u) << "the message is not over yet";
  Receive({0x02, 0xF7});
  const auto got = notices.Notices();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].handle, kHandle);
  EXPECT_EQ(got[0].msg, MIM_LONGDATA);
  EXPECT_EQ(got[0].param1, reinterpret_cast<uintptr_t>(header.get()));
  EXPECT_EQ(got[0].bytes, (Bytes{0xF0, 0x01, 0x02, 0xF7}));
  EXPECT_EQ(got[0].flags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
}

TEST_F(InputDeliveryTest, AShortMessageSplitOverTwoDeliveriesArrivesWhole) {
  delivery.Start();
  Receive({0x90});
  Receive({0x3C, 0x40});
  const auto got = notices.Notices();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].msg, MIM_DATA);
  EXPECT_EQ(got[0].param1, 0x403C90u);
}

TEST_F(InputDeliveryTest, ARestartForgetsAHalfFilledHeaderAndTheMessageItHeld) {
  TestHeader& header = Add(8);
  delivery.Start();
  Receive({0xF0, 0x01, 0x02});
  delivery.Stop();
  delivery.Start();
  Receive({0x03, 0xF7});  // the rest of the message from before the restart
  Receive({0xF0, 0x04, 0xF7});
  const auto got = notices.Notices();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].msg, MIM_LONGDATA);
  EXPECT_EQ(got[0].param1, reinterpret_cast<uintptr_t>(header.get()));
  EXPECT_EQ(got[0].bytes, (Bytes{0xF0, 0x04, 0xF7}));
}

TEST_F(InputDeliveryTest, BytesLostInASysexEndItCutShortAndTheRestOfItIsDropped) {
  TestHeader& first = Add(16);
  TestHeader& second = Add(16);
  delivery.Start();
  Receive({0xF0, 0x01, 0x02});
  delivery.Lost();
  Receive({0x05, 0x06, 0xF7});  // its end, after the bytes lost
  Receive({0x90, 0x3C, 0x40, 0xF0, 0x07, 0xF7});
  const auto got = notices.Notices();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].msg, MIM_LONGERROR);
  EXPECT_EQ(got[0].param1, reinterpret_cast<uintptr_t>(first.get()));
  EXPECT_EQ(got[0].bytes, (Bytes{0xF0, 0x01, 0x02}));
  EXPECT_EQ(got[1].msg, MIM_OVERFLOW) << "the loss is told";
  EXPECT_EQ(got[1].param1, 0u) << "how many is not known";
  EXPECT_EQ(got[2].msg, MIM_DATA);
  EXPECT_EQ(got[2].param1, 0x403C90u);
  EXPECT_EQ(got[3].msg, MIM_LONGDATA);
  EXPECT_EQ(got[3].param1, reinterpret_cast<uintptr_t>(second.get()));
  EXPECT_EQ(got[3].bytes, (Bytes{0xF0, 0x07, 0xF7}));
}

TEST_F(InputDeliveryTest, BytesLostBetweenMessagesForgetTheRunningStatusOnly) {
  Add(16);
  delivery.Start();
  Receive({0x90, 0x3C, 0x40});
  delivery.Lost(37);
  Receive({0x3E, 0x40});  // data bytes whose status was lost
  Receive({0xF0, 0x01, 0xF7});
  const auto got = notices.Notices();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].msg, MIM_DATA);
  EXPECT_EQ(got[0].param1, 0x403C90u);
  EXPECT_EQ(got[1].msg, MIM_OVERFLOW);
  EXPECT_EQ(got[1].param1, 37u) << "as many as the system said";
  EXPECT_EQ(got[2].msg, MIM_LONGDATA);
  EXPECT_EQ(got[2].bytes, (Bytes{0xF0, 0x01, 0xF7}));
}

TEST_F(InputDeliveryTest, BytesLostWhileStoppedChangeNothing) {
  Add(16);
  delivery.Start();
  Receive({0xF0, 0x01});
  delivery.Stop();
  delivery.Lost();
  EXPECT_EQ(notices.Count(), 0u);
}

TEST_F(InputDeliveryTest, AMessageDroppedForWantOfAHeaderLeavesTheNextOneWhole) {
  struct Case {
    const char* what;
    Bytes end;  // how the dropped message ends
  };
  const Case cases[] = {{"ended by F7", {0x03, 0xF7}}, {"cut short by the next message", {0x03}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    notices.Clear();
    delivery.Start();
    Receive({0xF0, 0x01, 0x02});  // no header: dropped
    TestHeader& header = Add(8);  // added while the message is still under way
    Receive(c.end);
    Receive({0xF0, 0x05, 0xF7});
    const auto got = notices.Notices();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].msg, MIM_LONGDATA);
    EXPECT_EQ(got[0].param1, reinterpret_cast<uintptr_t>(header.get()));
    EXPECT_EQ(got[0].bytes, (Bytes{0xF0, 0x05, 0xF7}));
    delivery.Stop();
  }
}

TEST_F(InputDeliveryTest, ARestartEndsTheDroppingOfAMessageThatFoundNoHeader) {
  delivery.Start();
  Receive({0xF0, 0x01});  // no header: dropped, and never ended
  delivery.Stop();
  TestHeader& header = Add(8);
  delivery.Start();
  Receive({0xF0, 0x05, 0xF7});
  const auto got = notices.Notices();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].param1, reinterpret_cast<uintptr_t>(header.get()));
  EXPECT_EQ(got[0].bytes, (Bytes{0xF0, 0x05, 0xF7}));
}

TEST_F(InputDeliveryTest, TakingBackBuffersReturnsTheHalfFilledOneEmptyAndTheQueuedOnes) {
  TestHeader& filling = Add(8);
  TestHeader& queued = Add(8);
  delivery.Start();
  Receive({0xF0, 0x01, 0x02});
  delivery.TakeBackBuffers();
  for (TestHeader* header : {&filling, &queued}) {
    EXPECT_EQ(header->hdr.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    EXPECT_EQ(header->hdr.dwBytesRecorded, 0u);
  }
  EXPECT_EQ(notices.Count(), 0u);
}

TEST_F(InputDeliveryTest, AHeaderBeyondTheQueuesCapacityIsRefusedAndNotTaken) {
  for (size_t i = 0; i < HeaderQueue::kCapacity; ++i) Add(4);
  TestHeader& extra = headers.emplace_back(4);
  extra->dwFlags = MHDR_PREPARED;
  EXPECT_EQ(delivery.AddBuffer(extra.get()), MMSYSERR_NOMEM);
  EXPECT_EQ(extra->dwFlags & (MHDR_INQUEUE | MHDR_DONE), 0u);
}

TEST_F(InputDeliveryTest, TimeStampsCountFromTheFirstOfConsecutiveStarts) {
  struct Step {
    std::chrono::milliseconds wait;
    enum { kNone, kStart, kRestart } start;
    uint32_t stamp;
  };
  const Step steps[] = {
      {0ms, Step::kStart, 0},       {40ms, Step::kNone, 40},
      {10ms, Step::kStart, 50},     // starting a started input changes nothing
      {500ms, Step::kRestart, 0},   // a stop and a start count anew
      {1234ms, Step::kNone, 1234},
  };
  for (const Step& step : steps) {
    clock.Advance(step.wait);
    if (step.start == Step::kRestart) delivery.Stop();
    if (step.start != Step::kNone) delivery.Start();
    notices.Clear();
    Receive({0xF8});
    ASSERT_EQ(notices.Count(), 1u);
    EXPECT_EQ(notices.Notices()[0].param2, step.stamp) << "after " << step.wait.count() << " ms";
  }
}

void Throwing(HMIDI, uint32_t, uintptr_t instance, uintptr_t, uintptr_t) {
  ++*reinterpret_cast<int*>(instance);
  throw std::runtime_error("a callback must not throw");
}

TEST(InputDelivery, ACallbackThatThrowsStopsNeitherTheCallNorTheNextMessages) {
  int calls = 0;
  InputDelivery delivery(kHandle, &Throwing, reinterpret_cast<uintptr_t>(&calls));
  delivery.Start();
  const uint8_t bytes[] = {0x90, 0x3C, 0x40, 0xF8};
  delivery.Receive(bytes, sizeof bytes);
  EXPECT_EQ(calls, 2);
}

}  // namespace
