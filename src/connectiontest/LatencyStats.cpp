#include "LatencyStats.h"

#include <algorithm>
#include <cmath>
#include <limits>

void LatencyStats::Clear() { *this = LatencyStats(); }

void LatencyStats::Add(uint64_t latencyUs) {
  const uint64_t held = std::min<uint64_t>(latencyUs, std::numeric_limits<uint32_t>::max());
  FValues.push_back(static_cast<uint32_t>(held));
  if (FValues.size() == 1) {
    FMin = FMax = held;
  } else {
    FMin = std::min(FMin, held);
    FMax = std::max(FMax, held);
  }
  const double value = static_cast<double>(held);
  const double delta = value - FMean;
  FMean += delta / static_cast<double>(FValues.size());
  FSquares += delta * (value - FMean);
}

LatencyStats::Summary LatencyStats::Summarize() const {
  Summary s;
  s.Count = FValues.size();
  if (s.Count == 0) return s;
  s.MinUs = FMin;
  s.MaxUs = FMax;
  s.MeanUs = FMean;
  s.JitterUs = std::sqrt(FSquares / static_cast<double>(s.Count));
  FScratch.assign(FValues.begin(), FValues.end());
  const auto rank = [&](double p) {
    const auto r = static_cast<size_t>(std::ceil(p * static_cast<double>(s.Count)));
    return std::max<size_t>(r, 1) - 1;
  };
  const size_t median = rank(0.5);
  const size_t p99 = rank(0.99);
  std::nth_element(FScratch.begin(), FScratch.begin() + static_cast<std::ptrdiff_t>(median), FScratch.end());
  s.MedianUs = FScratch[median];
  // Everything after the median is at least the median: the 99th percentile is among them.
  std::nth_element(FScratch.begin() + static_cast<std::ptrdiff_t>(median),
                   FScratch.begin() + static_cast<std::ptrdiff_t>(p99), FScratch.end());
  s.P99Us = FScratch[p99];
  return s;
}

LatencyStats::Histogram LatencyStats::MakeHistogram(int bins, uint64_t upperUs) const {
  Histogram h;
  if (FValues.empty() || bins <= 0) return h;
  const uint64_t top = upperUs < FMin ? FMax : std::min(upperUs, FMax);
  const uint64_t span = top - FMin + 1;
  h.FirstUs = FMin;
  h.BinUs = std::max<uint64_t>(1, (span + static_cast<uint64_t>(bins) - 1) / static_cast<uint64_t>(bins));
  const auto used = static_cast<size_t>((span + h.BinUs - 1) / h.BinUs);
  h.Counts.assign(used, 0);
  for (uint32_t value : FValues) ++h.Counts[(std::min<uint64_t>(value, top) - FMin) / h.BinUs];
  return h;
}
