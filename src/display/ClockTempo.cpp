#include "ClockTempo.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kClocksPerBeat = 24;
constexpr double kMinToleranceUs = 2500;

}  // namespace

void ClockTempo::Reset() {
  FTimes.clear();
  FTransport = 0;
}

void ClockTempo::Clock(uint64_t timeUs) {
  if (!FTimes.empty()) {
    const uint64_t last = FTimes.back();
    if (timeUs < last) timeUs = last;  // never backwards
    if (timeUs - last > StaleLimitUs(FTimes.size() > 1 ? MedianIntervalUs() : 0)) {
      FTimes.clear();  // a clock that stopped and came back
      FTransport = 0;
    }
  }
  if (FTimes.size() == WindowIntervals + 1) FTimes.erase(FTimes.begin());
  FTimes.push_back(timeUs);
}

void ClockTempo::Transport(uint8_t status) {
  if (status == 0xFA || status == 0xFB || status == 0xFC) FTransport = status;
}

uint64_t ClockTempo::StaleLimitUs(double medianUs) const {
  return std::max<uint64_t>(StaleUs, static_cast<uint64_t>(4 * medianUs));
}

double ClockTempo::MedianIntervalUs() const {
  std::array<uint64_t, WindowIntervals> intervals{};
  const size_t n = FTimes.size() - 1;
  for (size_t i = 0; i < n; ++i) intervals[i] = FTimes[i + 1] - FTimes[i];
  auto* middle = intervals.begin() + static_cast<std::ptrdiff_t>(n / 2);
  std::nth_element(intervals.begin(), middle, intervals.begin() + static_cast<std::ptrdiff_t>(n));
  return static_cast<double>(*middle);
}

std::optional<ClockTempo::Reading> ClockTempo::Read(uint64_t nowUs) const {
  const size_t n = FTimes.size() < 2 ? 0 : FTimes.size() - 1;
  if (n < static_cast<size_t>(MinIntervals)) return std::nullopt;
  const double median = MedianIntervalUs();
  if (nowUs > FTimes.back() && nowUs - FTimes.back() > StaleLimitUs(median)) return std::nullopt;
  if (median <= 0) return std::nullopt;

  // Runs of regular intervals; in each, the clocks' times against their
  // count, centred on the run's own means, pooled into one slope.
  const double tolerance = std::max(median / 4, std::min(kMinToleranceUs, median / 2));
  double sxy = 0;
  double sxx = 0;
  size_t runStart = 0;
  const auto closeRun = [&](size_t end) {  // clocks runStart..end, included
    const size_t count = end - runStart + 1;
    if (count < 2) return;
    const double meanK = (static_cast<double>(runStart) + static_cast<double>(end)) / 2;
    double meanT = 0;
    for (size_t k = runStart; k <= end; ++k) meanT += static_cast<double>(FTimes[k] - FTimes[runStart]);
    meanT /= static_cast<double>(count);
    for (size_t k = runStart; k <= end; ++k) {
      const double dk = static_cast<double>(k) - meanK;
      sxy += dk * (static_cast<double>(FTimes[k] - FTimes[runStart]) - meanT);
      sxx += dk * dk;
    }
  };
  double sum = 0;
  double sumSquares = 0;
  for (size_t i = 0; i < n; ++i) {
    const double interval = static_cast<double>(FTimes[i + 1] - FTimes[i]);
    sum += interval;
    sumSquares += interval * interval;
    if (std::abs(interval - median) > tolerance) {
      closeRun(i);
      runStart = i + 1;
    }
  }
  closeRun(n);
  const double intervalUs = sxx > 0 ? sxy / sxx : median;
  if (intervalUs <= 0) return std::nullopt;

  Reading reading;
  reading.Bpm = 60e6 / (kClocksPerBeat * intervalUs);
  const double mean = sum / static_cast<double>(n);
  reading.SpreadMs = std::sqrt(std::max(0.0, sumSquares / static_cast<double>(n) - mean * mean)) / 1000;
  return reading;
}
