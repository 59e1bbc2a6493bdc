// The JACK back end's timing without a server: frames turned into times, and
// the queue that hands each output message to the cycle of its frame.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "backends/jack/JackFrameClock.h"
#include "backends/jack/JackOutputQueue.h"

namespace {

int64_t Micros(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

TEST(JackFrameClock, FramesAreExactlyTheirCountApartOnEitherSideOfTheAnchorAndAcrossTheWrap) {
  struct Case {
    uint32_t anchor;
    uint32_t from;
    uint32_t to;
    int64_t micros;
  };
  const uint32_t wrap = std::numeric_limits<uint32_t>::max() - 100;
  const Case cases[] = {
      {10'000, 10'000, 11'000, 20'833},     // 1000 frames at 48 kHz
      {10'000, 9'000, 10'000, 20'833},      // before the anchor
      {10'000, 10'256, 11'512, 26'167},     // 1256 frames
      {wrap, wrap, wrap + 1000u, 20'833},   // the frame counter wraps around
      {wrap + 500u, wrap, wrap + 1000u, 20'833},
  };
  for (const Case& c : cases) {
    JackFrameClock clock;
    clock.Anchor(c.anchor, 5'000'000, 48000);
    EXPECT_NEAR(Micros(clock.TimeOf(c.to)) - Micros(clock.TimeOf(c.from)), c.micros, 1)
        << c.anchor << " " << c.from << " " << c.to;
  }
}

TEST(JackFrameClock, SlewsTowardsTheServersClockWithoutAJumpAndJumpsOnlyWhenFarOffOrTheRateChanged) {
  JackFrameClock clock;
  clock.Anchor(0, 1'000'000, 48000);
  // Inside the dead band (the server's reading jitters): nothing changes.
  clock.Follow(48000, 2'000'300, 48000);
  EXPECT_EQ(Micros(clock.TimeOf(48000)), 2'000'000);
  EXPECT_EQ(clock.SlewPpm(), 0);
  // 50 ms behind the server: no jump at this frame, the clock runs faster.
  clock.Follow(96000, 3'050'000, 48000);
  EXPECT_EQ(Micros(clock.TimeOf(96000)), 3'000'000);
  EXPECT_EQ(clock.SlewPpm(), JackFrameClock::kMostSlewPpm);
  // A round trip of 1000 frames while slewing is off by a few microseconds at most.
  EXPECT_NEAR(Micros(clock.TimeOf(97000)) - Micros(clock.TimeOf(96000)), 20'833, 5);
  // Caught up: back to the nominal pace, still without a jump.
  const int64_t before = Micros(clock.TimeOf(144000));
  clock.Follow(144000, before, 48000);
  EXPECT_EQ(clock.SlewPpm(), 0);
  EXPECT_EQ(Micros(clock.TimeOf(144000)), before);
  // Further off than the bound (a server that stalled): anchored there.
  clock.Follow(192000, before + 1'000'000 + JackFrameClock::kMostDriftUs + 1, 48000);
  EXPECT_EQ(Micros(clock.TimeOf(192000)), before + 1'000'000 + JackFrameClock::kMostDriftUs + 1);
  // Another rate: anchored again.
  clock.Follow(200000, 4'000'000, 44100);
  EXPECT_EQ(Micros(clock.TimeOf(200000 + 44100)), 5'000'000);
}

TEST(JackFrameClock, ADriftIsCaughtUpBySlewingAlone) {
  JackFrameClock clock;
  clock.Anchor(0, 0, 48000);
  // The server's clock runs 100 ppm fast against the steady clock's (a sound
  // card's crystal is within that): ours follows it at a steady lag (the
  // slew that matches its pace needs one) and never jumps.
  int64_t worst = 0;
  for (uint32_t second = 1; second <= 120; ++second) {
    const uint32_t frame = second * 48000;
    const int64_t server = int64_t{second} * 1'000'100;
    const int64_t lag = server - Micros(clock.TimeOf(frame));
    worst = std::max<int64_t>(worst, std::llabs(lag));
    clock.Follow(frame, server, 48000);
    ASSERT_EQ(Micros(clock.TimeOf(frame)), server - lag) << "no jump at second " << second;
  }
  EXPECT_LE(std::llabs(120 * int64_t{1'000'100} - Micros(clock.TimeOf(120 * 48000))), 2'000);
  EXPECT_EQ(clock.SlewPpm(), 100);
  EXPECT_LT(worst, 3'000);
}

TEST(JackFrameClock, TheNextCycleCountsFromTheLastCycleUnlessTheServersEstimateIsBelievablyFurther) {
  struct Case {
    const char* what;
    uint32_t lastCycle;
    uint32_t estimated;
    uint32_t expected;
  };
  const uint32_t wrap = std::numeric_limits<uint32_t>::max() - 100;
  const Case cases[] = {
      {"the estimate, inside the cycle under way", 10'000, 10'100, 10'356},
      {"a server catching up is ahead of its estimate", 10'000, 9'500, 10'256},
      {"the estimate equals the last cycle", 10'000, 10'000, 10'256},
      {"across the wrap of the frame counter", wrap, wrap + 200u, wrap + 456u},
      {"PipeWire's estimate 2^31 frames off", 10'000, 10'256u + 0x8000'0000u, 10'256},
      {"an estimate further on than a second", 10'000, 10'000 + 48'000, 10'256},
      {"one before the first cycle, far away", 0, 473'143'915, 256},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextCycleFrameOf(c.lastCycle, c.estimated, 256, 48000), c.expected) << c.what;
  }
}

TEST(JackFrameClock, TheServersTimeOfTheLastCycleIsBelievedOnlyNearNow) {
  const int64_t now = 5'000'000'000;
  EXPECT_TRUE(BelievableCycleTime(now - 5'333, now));        // a period ago
  EXPECT_TRUE(BelievableCycleTime(now + 200, now));          // read a moment before
  EXPECT_TRUE(BelievableCycleTime(now - 900'000, now));      // a server stalled for a while
  EXPECT_FALSE(BelievableCycleTime(now - 17'000'000'000, now));  // hours off
  EXPECT_FALSE(BelievableCycleTime(now + 17'000'000'000, now));
  EXPECT_FALSE(BelievableCycleTime(0, now));
}

// What Drain writes: (offset, first byte) per message.
struct Written {
  uint32_t offset;
  uint8_t first;
  bool operator==(const Written&) const = default;
};

std::vector<Written> DrainCycle(JackOutputQueue& queue, uint32_t first, uint32_t frames,
                                size_t room = SIZE_MAX) {
  std::vector<Written> written;
  queue.Drain(first, frames, [&](uint32_t offset, std::span<const uint8_t> bytes) {
    if (bytes.size() > room) return false;
    room -= bytes.size();
    written.push_back({offset, bytes[0]});
    return true;
  });
  return written;
}

TEST(JackOutputQueue, EachMessageLeavesAtItsFrameInItsCycleAndInOrder) {
  JackOutputQueue queue(1024, 16);
  const uint8_t a[] = {0x90, 1, 2};
  const uint8_t b[] = {0x91, 1, 2};
  const uint8_t c[] = {0x92, 1, 2};
  ASSERT_TRUE(queue.Push(1010, a));
  ASSERT_TRUE(queue.Push(1100, b));
  ASSERT_TRUE(queue.Push(1300, c));  // in the next cycle
  EXPECT_EQ(DrainCycle(queue, 1000, 256), (std::vector<Written>{{10, 0x90}, {100, 0x91}}));
  EXPECT_EQ(DrainCycle(queue, 1256, 256), (std::vector<Written>{{44, 0x92}}));
  EXPECT_EQ(queue.Late(), 0u);
}

TEST(JackOutputQueue, ALateMessageLeavesAtOnceAfterThoseBeforeItAndCounts) {
  JackOutputQueue queue(1024, 16);
  const uint8_t a[] = {0x90, 1, 2};
  const uint8_t b[] = {0x91, 1, 2};
  ASSERT_TRUE(queue.Push(900, a));   // its cycle was missed
  ASSERT_TRUE(queue.Push(1001, b));
  EXPECT_EQ(DrainCycle(queue, 1000, 256), (std::vector<Written>{{0, 0x90}, {1, 0x91}}));
  EXPECT_EQ(queue.Late(), 1u);
}

TEST(JackOutputQueue, AMessageWithoutAFrameLeavesInTheNextCycleAfterThoseBeforeItAndIsNotLate) {
  JackOutputQueue queue(1024, 16);
  const uint8_t a[] = {0x90, 1, 2};
  const uint8_t b[] = {0x91, 1, 2};
  const uint8_t c[] = {0x92, 1, 2};
  ASSERT_TRUE(queue.Push(1020, a));
  ASSERT_TRUE(queue.Push(std::nullopt, b));  // queued before any cycle had run
  ASSERT_TRUE(queue.Push(1030, c));
  EXPECT_EQ(DrainCycle(queue, 1000, 256), (std::vector<Written>{{20, 0x90}, {20, 0x91}, {30, 0x92}}));
  ASSERT_TRUE(queue.Push(std::nullopt, b));
  // Whatever the frames of the cycle: none of them makes it wait.
  EXPECT_EQ(DrainCycle(queue, 0x8000'0000u, 256), (std::vector<Written>{{0, 0x91}}));
  EXPECT_EQ(queue.Late(), 0u);
}

TEST(JackOutputQueue, AMessageTheCycleHasNoRoomForWaitsForTheNextCycleWhole) {
  JackOutputQueue queue(1024, 16);
  const uint8_t a[] = {0xF0, 1, 2, 3, 4, 0xF7};
  const uint8_t b[] = {0x91, 1, 2};
  ASSERT_TRUE(queue.Push(1000, a));
  ASSERT_TRUE(queue.Push(1000, b));
  EXPECT_TRUE(DrainCycle(queue, 1000, 256, 4).empty());
  EXPECT_EQ(DrainCycle(queue, 1256, 256), (std::vector<Written>{{0, 0xF0}, {0, 0x91}}));
}

TEST(JackOutputQueue, RefusesWhatIsTooLongOrHasNoRoomUntilACycleMakesRoom) {
  JackOutputQueue queue(40, 16);
  const std::vector<uint8_t> tooLong(17, 0xF0);
  EXPECT_FALSE(queue.Push(0, tooLong));
  const uint8_t m[] = {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xF7};
  ASSERT_TRUE(queue.Push(0, m));
  ASSERT_TRUE(queue.Push(0, m));
  EXPECT_FALSE(queue.Push(0, m));  // full
  EXPECT_EQ(DrainCycle(queue, 0, 256).size(), 2u);
  EXPECT_TRUE(queue.Push(0, m));
}

}  // namespace
