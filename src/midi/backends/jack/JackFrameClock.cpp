#include "JackFrameClock.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Frames further than this from the anchor are anchored again, well before
// their difference could overflow.
constexpr int64_t kMostFramesFromAnchor = int64_t{1} << 29;
// A drift is caught up over about this long, within kMostSlewPpm.
constexpr int64_t kCatchUpUs = 10'000'000;
// The slew moves in steps of this, so that the clock is not anchored anew
// for every small change of the server's reading.
constexpr int32_t kSlewStepPpm = 10;

int64_t RoundedDivide(int64_t value, int64_t by) {
  return value >= 0 ? (value + by / 2) / by : -((-value + by / 2) / by);
}

}  // namespace

void JackFrameClock::Publish(uint32_t frame, int64_t steadyUs, uint32_t rate, int32_t slewPpm) {
  const int next = 1 - current_.load(std::memory_order_relaxed);
  slots_[next].frame.store(frame, std::memory_order_relaxed);
  slots_[next].steadyUs.store(steadyUs, std::memory_order_relaxed);
  slots_[next].rate.store(rate == 0 ? 48000 : rate, std::memory_order_relaxed);
  slots_[next].slewPpm.store(slewPpm, std::memory_order_relaxed);
  current_.store(next, std::memory_order_release);
  anchored_ = true;
}

void JackFrameClock::Anchor(uint32_t frame, int64_t steadyUs, uint32_t rate) {
  Publish(frame, steadyUs, rate, 0);
}

void JackFrameClock::Follow(uint32_t frame, int64_t steadyUs, uint32_t rate) {
  const Slot& slot = slots_[current_.load(std::memory_order_relaxed)];
  const auto fromAnchor = static_cast<int32_t>(frame - slot.frame.load(std::memory_order_relaxed));
  const int64_t ours = MicrosOf(slot, frame);
  const int64_t drift = steadyUs - ours;
  if (!anchored_ || slot.rate.load(std::memory_order_relaxed) != rate ||
      std::llabs(fromAnchor) > kMostFramesFromAnchor || std::llabs(drift) > kMostDriftUs) {
    Anchor(frame, steadyUs, rate);
    return;
  }
  int32_t slew = 0;
  if (std::llabs(drift) > kDeadBandUs) {
    const int64_t ppm = std::clamp<int64_t>(RoundedDivide(drift * 1'000'000, kCatchUpUs), -kMostSlewPpm, kMostSlewPpm);
    slew = static_cast<int32_t>(RoundedDivide(ppm, kSlewStepPpm) * kSlewStepPpm);
  }
  // Anchored anew at this frame's present time: no jump, only another pace.
  if (slew != slot.slewPpm.load(std::memory_order_relaxed)) Publish(frame, ours, rate, slew);
}

int32_t JackFrameClock::SlewPpm() const {
  return slots_[current_.load(std::memory_order_acquire)].slewPpm.load(std::memory_order_relaxed);
}

int64_t JackFrameClock::MicrosOf(const Slot& slot, uint32_t frame) {
  const auto frames = static_cast<int32_t>(frame - slot.frame.load(std::memory_order_relaxed));
  const int64_t rate = slot.rate.load(std::memory_order_relaxed);
  // Rounded to the nearest microsecond, the same way either side of the anchor.
  const int64_t nominal = RoundedDivide(int64_t{frames} * 1'000'000, rate);
  const int64_t slew = RoundedDivide(nominal * slot.slewPpm.load(std::memory_order_relaxed), 1'000'000);
  return slot.steadyUs.load(std::memory_order_relaxed) + nominal + slew;
}

std::chrono::steady_clock::time_point JackFrameClock::TimeOf(uint32_t frame) const {
  const Slot& slot = slots_[current_.load(std::memory_order_acquire)];
  return std::chrono::steady_clock::time_point(std::chrono::microseconds(MicrosOf(slot, frame)));
}
