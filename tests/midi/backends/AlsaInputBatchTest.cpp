// What the ALSA client reads is held until the next read says whether events
// were lost: a system-exclusive message is never joined across a loss.

#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "BackendTestSupport.h"
#include "backends/alsa/AlsaInputBatch.h"
#include "backends/common/InputDelivery.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One open input with headers enough for the messages of a test.
struct Input {
  explicit Input(HMIDI handle) : delivery(handle, &NoticeRecorder::Callback, notices.Instance()) {
    for (int i = 0; i < 4; ++i) {
      TestHeader& header = headers.emplace_back(64);
      header->dwFlags = MHDR_PREPARED;
      EXPECT_EQ(delivery.AddBuffer(header.get()), MMSYSERR_NOERROR);
    }
    delivery.Start();
  }

  NoticeRecorder notices;
  std::deque<TestHeader> headers;
  InputDelivery delivery;
};

class AlsaInputBatchTest : public ::testing::Test {
 protected:
  void Hold(Input& input, const Bytes& bytes, bool sysex) { batch.Hold(input.delivery, bytes, sysex); }

  Input first{1};
  Input second{2};
  InputDelivery* const deliveries[2] = {&first.delivery, &second.delivery};
  AlsaInputBatch batch{1024};
};

TEST_F(AlsaInputBatchTest, NothingGoesOnUntilReleasedThenEveryPieceInOrder) {
  Hold(first, {0xF0, 0x01}, true);
  Hold(first, {0xF8}, false);  // a clock that came inside the message
  Hold(second, {0x90, 0x3C, 0x40}, false);
  Hold(first, {0x02, 0xF7}, true);
  EXPECT_FALSE(batch.Empty());
  EXPECT_EQ(first.notices.Count() + second.notices.Count(), 0u);

  batch.Release();
  EXPECT_TRUE(batch.Empty());
  const auto got = first.notices.Notices();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].msg, MIM_DATA);
  EXPECT_EQ(got[0].param1, 0xF8u);
  EXPECT_EQ(got[1].msg, MIM_LONGDATA);
  EXPECT_EQ(got[1].bytes, (Bytes{0xF0, 0x01, 0x02, 0xF7}));
  ASSERT_EQ(second.notices.Of(MIM_DATA).size(), 1u);
  EXPECT_EQ(second.notices.Of(MIM_DATA)[0].param1, 0x403C90u);
}

TEST_F(AlsaInputBatchTest, AfterALossTheSysexUnderWayEndsWhereTheLastTrustedReadLeftIt) {
  // A trusted read began a message on each input.
  Hold(first, {0xF0, 0x01, 0x02}, true);
  Hold(second, {0xF0, 0x11}, true);
  batch.Release();
  // The next read brought more of it, a whole other message and a note; the
  // read after it reported that events were lost somewhere among them.
  Hold(first, {0x03, 0x04}, true);
  Hold(first, {0xF7, 0xF0, 0x21, 0xF7}, true);
  Hold(first, {0x90, 0x3C, 0x40}, false);
  Hold(first, {0xF0, 0x31}, true);
  batch.ReleaseAfterLoss(deliveries);
  EXPECT_TRUE(batch.Empty());
  // What comes after the loss: the end of a message whose beginning went.
  Hold(first, {0x32, 0xF7}, true);
  Hold(first, {0xF0, 0x41, 0xF7}, true);
  batch.Release();

  const auto got = first.notices.Notices();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].msg, MIM_LONGERROR);
  EXPECT_EQ(got[0].bytes, (Bytes{0xF0, 0x01, 0x02}));
  EXPECT_EQ(got[1].msg, MIM_OVERFLOW) << "the loss is told, its count unknown";
  EXPECT_EQ(got[1].param1, 0u);
  EXPECT_EQ(got[2].msg, MIM_DATA);
  EXPECT_EQ(got[2].param1, 0x403C90u);
  EXPECT_EQ(got[3].msg, MIM_LONGDATA);
  EXPECT_EQ(got[3].bytes, (Bytes{0xF0, 0x41, 0xF7}));

  // The other input had nothing in the suspect read, but its message lost
  // bytes too, whatever they were, and it hears of the loss.
  const auto other = second.notices.Notices();
  ASSERT_EQ(other.size(), 2u);
  EXPECT_EQ(other[0].msg, MIM_LONGERROR);
  EXPECT_EQ(other[0].bytes, (Bytes{0xF0, 0x11}));
  EXPECT_EQ(other[1].msg, MIM_OVERFLOW);
}

}  // namespace
