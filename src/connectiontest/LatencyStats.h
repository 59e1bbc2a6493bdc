#pragma once
// The latencies of the answers of a connection test, in microseconds: count,
// minimum, median, 95th and 99th percentiles, maximum, mean, jitter (the
// standard deviation of the latency), peak-to-peak jitter (maximum minus
// minimum), mean absolute deviation (from the mean), and a histogram. Every value is kept, so the
// percentiles are exact; Summary works on a copy, in time linear in the count.
// User-interface thread only; a plain value.

#include <cstdint>
#include <vector>

class LatencyStats {
 public:
  struct Summary {
    uint64_t Count = 0;
    uint64_t MinUs = 0;
    uint64_t MedianUs = 0;
    uint64_t P95Us = 0;
    uint64_t P99Us = 0;
    uint64_t MaxUs = 0;
    uint64_t PeakToPeakUs = 0;
    double MeanUs = 0;
    double JitterUs = 0;
    double MeanAbsoluteDeviationUs = 0;
  };
  struct Histogram {
    uint64_t FirstUs = 0;  // lower edge of the first bin
    uint64_t BinUs = 1;    // width of every bin
    std::vector<uint64_t> Counts;
  };

  void Clear();
  void Add(uint64_t latencyUs);
  uint64_t Count() const { return FValues.size(); }

  // Median and percentile are the values of rank ceil(p * count) (nearest
  // rank); all zero without values.
  Summary Summarize() const;
  // At most `bins` bins of one round width (1, 2 or 5 times a power of ten
  // microseconds: 10 µs, 20 µs, 50 µs, 0.1 ms...) from a multiple of it at or
  // below the minimum up to the maximum, or to `upperUs` when that lies
  // between them: the values above it are counted in the last bin. None
  // without values.
  Histogram MakeHistogram(int bins, uint64_t upperUs = UINT64_MAX) const;

 private:
  std::vector<uint32_t> FValues;  // latencies beyond 4294 s are held as that
  mutable std::vector<uint32_t> FScratch;
  uint64_t FMin = 0;
  uint64_t FMax = 0;
  double FMean = 0;  // running mean and sum of squared deviations (Welford)
  double FSquares = 0;
};
