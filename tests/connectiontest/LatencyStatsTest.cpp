// The latency figures and the histogram of a connection test.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "LatencyStats.h"

namespace {

TEST(LatencyStats, WithoutValuesEveryFigureIsZero) {
  const LatencyStats stats;
  const LatencyStats::Summary s = stats.Summarize();
  EXPECT_EQ(s.Count, 0u);
  EXPECT_EQ(s.MedianUs, 0u);
  EXPECT_EQ(s.MaxUs, 0u);
  EXPECT_EQ(s.JitterUs, 0.0);
  EXPECT_TRUE(stats.MakeHistogram(10).Counts.empty());
}

TEST(LatencyStats, FiguresOfOneToAHundredInAnyOrder) {
  std::vector<uint64_t> values(100);
  std::iota(values.begin(), values.end(), 1);
  std::shuffle(values.begin(), values.end(), std::mt19937(7));
  LatencyStats stats;
  for (uint64_t v : values) stats.Add(v);
  const LatencyStats::Summary s = stats.Summarize();
  EXPECT_EQ(s.Count, 100u);
  EXPECT_EQ(s.MinUs, 1u);
  EXPECT_EQ(s.MedianUs, 50u);
  EXPECT_EQ(s.P95Us, 95u);
  EXPECT_EQ(s.P99Us, 99u);
  EXPECT_EQ(s.MaxUs, 100u);
  EXPECT_EQ(s.PeakToPeakUs, 99u);
  EXPECT_DOUBLE_EQ(s.MeanUs, 50.5);
  EXPECT_NEAR(s.JitterUs, 28.866, 0.001);
  EXPECT_DOUBLE_EQ(s.MeanAbsoluteDeviationUs, 25.0);
  // Summarizing leaves the values as they were.
  EXPECT_EQ(stats.Summarize().MedianUs, 50u);
}

TEST(LatencyStats, OneValueIsEveryFigureWithoutJitter) {
  LatencyStats stats;
  stats.Add(1234);
  const LatencyStats::Summary s = stats.Summarize();
  EXPECT_EQ(s.MinUs, 1234u);
  EXPECT_EQ(s.MedianUs, 1234u);
  EXPECT_EQ(s.P99Us, 1234u);
  EXPECT_EQ(s.MaxUs, 1234u);
  EXPECT_EQ(s.JitterUs, 0.0);
}

TEST(LatencyStats, EvenCountTakesTheLowerMiddleAsMedian) {
  LatencyStats stats;
  for (uint64_t v : {2010, 1000, 1230, 1230}) stats.Add(v);
  EXPECT_EQ(stats.Summarize().MedianUs, 1230u);
  stats.Clear();
  for (uint64_t v : {10, 20}) stats.Add(v);
  EXPECT_EQ(stats.Summarize().MedianUs, 10u);
}

TEST(LatencyStats, FiguresOfAFewLatenciesWithOneLateAnswer) {
  LatencyStats stats;
  for (uint64_t v : {1300, 1000, 5000, 1200, 1100}) stats.Add(v);
  const LatencyStats::Summary s = stats.Summarize();
  EXPECT_EQ(s.MedianUs, 1200u);
  EXPECT_EQ(s.P95Us, 5000u);  // rank ceil(0.95 * 5) = 5
  EXPECT_EQ(s.PeakToPeakUs, 4000u);
  EXPECT_DOUBLE_EQ(s.MeanUs, 1920.0);
  // |1000-1920| + |1100-1920| + |1200-1920| + |1300-1920| + |5000-1920| = 6160
  EXPECT_DOUBLE_EQ(s.MeanAbsoluteDeviationUs, 1232.0);
}

TEST(LatencyStats, HistogramSpansMinimumToMaximumInBinsOfARoundWidth) {
  LatencyStats stats;
  for (uint64_t v : {100, 100, 150, 199, 200}) stats.Add(v);
  const LatencyStats::Histogram h = stats.MakeHistogram(4);
  EXPECT_EQ(h.FirstUs, 100u);
  EXPECT_EQ(h.BinUs, 50u);
  EXPECT_EQ(h.Counts, (std::vector<uint64_t>{2, 2, 1}));
}

TEST(LatencyStats, HistogramWidthIsTheSmallestRoundOneThatHoldsTheSpanFromAMultipleOfIt) {
  struct Case {
    uint64_t min;
    uint64_t max;
    uint64_t binUs;
    uint64_t firstUs;
  };
  const Case cases[] = {
      {1000, 1100, 5, 1000},           // 0.005 ms
      {2000, 2390, 10, 2000},          // 0.01 ms: 39 bins
      {2000, 2400, 20, 2000},          // 41 bins of 0.01 ms would be too many
      {1234, 5678, 200, 1200},         // from a multiple of 0.2 ms
      {20'833, 26'167, 200, 20'800},   // a round trip of 1000 frames and one of 1256
      {0, 3'000'000, 100'000, 0},      // 0.1 s
  };
  for (const Case& c : cases) {
    LatencyStats stats;
    stats.Add(c.min);
    stats.Add(c.max);
    const LatencyStats::Histogram h = stats.MakeHistogram(40);
    EXPECT_EQ(h.BinUs, c.binUs) << c.min << "-" << c.max;
    EXPECT_EQ(h.FirstUs, c.firstUs) << c.min << "-" << c.max;
    EXPECT_LE(h.Counts.size(), 40u);
    EXPECT_EQ(h.Counts.front() + h.Counts.back(), 2u);
  }
}

TEST(LatencyStats, HistogramUpToALimitCountsWhatIsAboveInItsLastBin) {
  LatencyStats stats;
  for (uint64_t v : {100, 110, 120, 130, 5000, 90000}) stats.Add(v);
  const LatencyStats::Histogram h = stats.MakeHistogram(4, 139);
  EXPECT_EQ(h.FirstUs, 100u);
  EXPECT_EQ(h.BinUs, 10u);
  EXPECT_EQ(h.Counts, (std::vector<uint64_t>{1, 1, 1, 3}));
  // A limit below the minimum or above the maximum changes nothing.
  EXPECT_EQ(stats.MakeHistogram(2, 1).Counts, (std::vector<uint64_t>{5, 1}));
  EXPECT_EQ(stats.MakeHistogram(2, 1000000).Counts, (std::vector<uint64_t>{5, 1}));
}

TEST(LatencyStats, HistogramOfEqualValuesIsOneBin) {
  LatencyStats stats;
  for (int i = 0; i < 3; ++i) stats.Add(500);
  const LatencyStats::Histogram h = stats.MakeHistogram(40);
  EXPECT_EQ(h.FirstUs, 500u);
  EXPECT_EQ(h.Counts, (std::vector<uint64_t>{3}));
}

}  // namespace
