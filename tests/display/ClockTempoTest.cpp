// The tempo of a MIDI clock from the times of its messages: steady streams,
// jitter, a clock that starts and stops, bursts.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "ClockTempo.h"

namespace {

constexpr uint64_t kStart = 5'000'000'000;  // an arbitrary steady-clock time, in µs

// The times of `count` clocks at `bpm`, from `start`, rounded to the µs as
// drivers give them, each moved by up to ±jitterUs (uniform, fixed seed).
std::vector<uint64_t> Paced(double bpm, int count, uint64_t start = kStart, double jitterUs = 0, unsigned seed = 1) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> jitter(-jitterUs, jitterUs);
  const double intervalUs = 60e6 / (24 * bpm);
  std::vector<uint64_t> times;
  for (int k = 0; k < count; ++k) {
    times.push_back(static_cast<uint64_t>(std::llround(static_cast<double>(start) + k * intervalUs +
                                                        (jitterUs > 0 ? jitter(random) : 0))));
  }
  return times;
}

double IntervalUs(double bpm) { return 60e6 / (24 * bpm); }

void Feed(ClockTempo& tempo, const std::vector<uint64_t>& times) {
  for (uint64_t t : times) tempo.Clock(t);
}

TEST(ClockTempoTest, ASteadyClockReadsItsExactTempo) {
  for (double bpm : {60.0, 120.0, 187.5, 33.3, 300.0}) {
    ClockTempo tempo;
    const std::vector<uint64_t> times = Paced(bpm, 24 * 8);
    // Every reading from the first one on, not only the last.
    for (size_t k = 0; k < times.size(); ++k) {
      tempo.Clock(times[k]);
      const auto reading = tempo.Read(times[k]);
      if (k < ClockTempo::MinIntervals) {
        EXPECT_FALSE(reading) << bpm << " BPM after " << k << " intervals";
        continue;
      }
      ASSERT_TRUE(reading) << bpm << " BPM after " << k << " intervals";
      EXPECT_NEAR(reading->Bpm, bpm, 0.05) << k;
      EXPECT_LT(reading->SpreadMs, 0.01);
    }
  }
}

TEST(ClockTempoTest, JitterOfOneMillisecondStaysWithinHalfABpm) {
  for (double bpm : {60.0, 120.0, 187.5}) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
      ClockTempo tempo;
      const std::vector<uint64_t> times = Paced(bpm, 24 * 6, kStart, 1000, seed);
      double worst = 0;
      for (size_t k = 0; k < times.size(); ++k) {
        tempo.Clock(times[k]);
        if (k < 48) continue;  // two beats in
        const auto reading = tempo.Read(times[k]);
        ASSERT_TRUE(reading);
        worst = std::max(worst, std::abs(reading->Bpm - bpm));
      }
      EXPECT_LT(worst, 0.5) << bpm << " BPM, seed " << seed;
      const auto reading = tempo.Read(times.back());
      // Uniform ±1 ms on both ends of an interval: about 0.8 ms of spread.
      EXPECT_GT(reading->SpreadMs, 0.5);
      EXPECT_LT(reading->SpreadMs, 1.2);
    }
  }
}

TEST(ClockTempoTest, AClockThatStopsIsNoLongerReadAndStartsAfreshWhenItComesBack) {
  ClockTempo tempo;
  const std::vector<uint64_t> first = Paced(120, 48);
  Feed(tempo, first);
  tempo.Transport(0xFC);
  EXPECT_TRUE(tempo.Read(first.back() + 900'000)) << "less than a second without clock";
  EXPECT_FALSE(tempo.Read(first.back() + 1'000'001)) << "a second without clock";
  EXPECT_EQ(tempo.TransportStatus(), 0xFC);

  // Back at another tempo two seconds later: nothing of the first one counts.
  const std::vector<uint64_t> second = Paced(90, 30, first.back() + 2'000'000);
  Feed(tempo, std::vector<uint64_t>(second.begin(), second.begin() + 12));
  EXPECT_FALSE(tempo.Read(second[11])) << "11 intervals: not yet";
  EXPECT_EQ(tempo.TransportStatus(), 0) << "the transport state went with the old clock";
  Feed(tempo, std::vector<uint64_t>(second.begin() + 12, second.end()));
  ASSERT_TRUE(tempo.Read(second.back()));
  EXPECT_NEAR(tempo.Read(second.back())->Bpm, 90, 0.05);
}

TEST(ClockTempoTest, ABurstAfterAStallDoesNotMoveTheTempo) {
  // 120 BPM; the driver stalls for a beat, then hands the 24 clocks of that
  // beat over at once, and the clock goes on.
  const double interval = IntervalUs(120);
  std::vector<uint64_t> times = Paced(120, 96);
  const uint64_t resume = times.back() + static_cast<uint64_t>(24 * interval);
  for (int k = 0; k < 24; ++k) times.push_back(resume);
  const std::vector<uint64_t> after = Paced(120, 96, resume + static_cast<uint64_t>(interval));
  ClockTempo tempo;
  Feed(tempo, times);
  ASSERT_TRUE(tempo.Read(resume));
  EXPECT_NEAR(tempo.Read(resume)->Bpm, 120, 0.5) << "just after the burst";
  EXPECT_GT(tempo.Read(resume)->SpreadMs, 20) << "the burst shows in the steadiness";
  for (uint64_t t : after) {
    tempo.Clock(t);
    ASSERT_TRUE(tempo.Read(t));
    EXPECT_NEAR(tempo.Read(t)->Bpm, 120, 0.5) << "after the burst, at " << t - resume << " us";
  }
  EXPECT_NEAR(tempo.Read(after.back())->Bpm, 120, 0.05) << "exact again once the burst has left the window";
  EXPECT_LT(tempo.Read(after.back())->SpreadMs, 0.01);
}

TEST(ClockTempoTest, ExtraClocksBunchedTogetherAreIgnored) {
  // A steady 100 BPM with, every beat, three clocks bunched within 1 ms of
  // one of its clocks (a sender that doubles messages).
  ClockTempo tempo;
  const std::vector<uint64_t> times = Paced(100, 24 * 4);
  std::vector<uint64_t> bunched;
  for (size_t k = 0; k < times.size(); ++k) {
    bunched.push_back(times[k]);
    if (k % 24 == 5) {
      bunched.push_back(times[k] + 300);
      bunched.push_back(times[k] + 600);
    }
  }
  Feed(tempo, bunched);
  ASSERT_TRUE(tempo.Read(bunched.back()));
  EXPECT_NEAR(tempo.Read(bunched.back())->Bpm, 100, 0.5);
}

TEST(ClockTempoTest, AChangeOfTempoIsFollowedWithinFourBeats) {
  ClockTempo tempo;
  const std::vector<uint64_t> slow = Paced(100, 96);
  Feed(tempo, slow);
  const std::vector<uint64_t> fast = Paced(140, 97, slow.back() + static_cast<uint64_t>(IntervalUs(140)));
  Feed(tempo, fast);
  EXPECT_NEAR(tempo.Read(fast.back())->Bpm, 140, 0.05);
}

TEST(ClockTempoTest, TransportKeepsTheLastStartContinueOrStop) {
  ClockTempo tempo;
  EXPECT_EQ(tempo.TransportStatus(), 0);
  for (uint8_t status : {0xFA, 0xFC, 0xFB}) {
    tempo.Transport(status);
    EXPECT_EQ(tempo.TransportStatus(), status);
  }
  tempo.Transport(0xF8);
  tempo.Transport(0x90);
  EXPECT_EQ(tempo.TransportStatus(), 0xFB);
}

}  // namespace
