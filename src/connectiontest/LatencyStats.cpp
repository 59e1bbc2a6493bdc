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
  s.PeakToPeakUs = FMax - FMin;
  s.MeanUs = FMean;
  s.JitterUs = std::sqrt(FSquares / static_cast<double>(s.Count));
  double deviations = 0;
  for (uint32_t value : FValues) deviations += std::abs(static_cast<double>(value) - FMean);
  s.MeanAbsoluteDeviationUs = deviations / static_cast<double>(s.Count);
  FScratch.assign(FValues.begin(), FValues.end());
  const auto rank = [&](double p) {
    const auto r = static_cast<size_t>(std::ceil(p * static_cast<double>(s.Count)));
    return std::max<size_t>(r, 1) - 1;
  };
  // Each rank at least the one before: the later ones are among the values after it.
  const auto at = [&](size_t from, size_t r) {
    std::nth_element(FScratch.begin() + static_cast<std::ptrdiff_t>(from),
                     FScratch.begin() + static_cast<std::ptrdiff_t>(r), FScratch.end());
    return FScratch[r];
  };
  const size_t median = rank(0.5);
  const size_t p95 = rank(0.95);
  const size_t p99 = rank(0.99);
  s.MedianUs = at(0, median);
  s.P95Us = at(median, p95);
  s.P99Us = at(p95, p99);
  return s;
}

LatencyStats::Histogram LatencyStats::MakeHistogram(int bins, uint64_t upperUs) const {
  Histogram h;
  if (FValues.empty() || bins <= 0) return h;
  const uint64_t top = upperUs < FMin ? FMax : std::min(upperUs, FMax);
  // The smallest round width whose bins, from a multiple of it, hold the span.
  for (uint64_t decade = 1;; decade *= 10) {
    for (uint64_t step : {1, 2, 5}) {
      h.BinUs = step * decade;
      h.FirstUs = FMin / h.BinUs * h.BinUs;
      if ((top - h.FirstUs) / h.BinUs < static_cast<uint64_t>(bins)) {
        h.Counts.assign(static_cast<size_t>((top - h.FirstUs) / h.BinUs + 1), 0);
        for (uint32_t value : FValues) ++h.Counts[(std::min<uint64_t>(value, top) - h.FirstUs) / h.BinUs];
        return h;
      }
    }
  }
}
