#include "JackFrameClock.h"

#include <cstdlib>

namespace {

// Frames further than this from the anchor are anchored again, well before
// their difference could overflow.
constexpr int64_t kMostFramesFromAnchor = int64_t{1} << 29;

}  // namespace

void JackFrameClock::Anchor(uint32_t frame, int64_t steadyUs, uint32_t rate) {
  const int next = 1 - current_.load(std::memory_order_relaxed);
  slots_[next].frame.store(frame, std::memory_order_relaxed);
  slots_[next].steadyUs.store(steadyUs, std::memory_order_relaxed);
  slots_[next].rate.store(rate == 0 ? 48000 : rate, std::memory_order_relaxed);
  current_.store(next, std::memory_order_release);
  anchored_ = true;
}

void JackFrameClock::Follow(uint32_t frame, int64_t steadyUs, uint32_t rate) {
  const Slot& slot = slots_[current_.load(std::memory_order_relaxed)];
  const auto fromAnchor = static_cast<int32_t>(frame - slot.frame.load(std::memory_order_relaxed));
  if (!anchored_ || slot.rate.load(std::memory_order_relaxed) != rate ||
      std::llabs(fromAnchor) > kMostFramesFromAnchor ||
      std::llabs(MicrosOf(slot, frame) - steadyUs) > kMostDriftUs) {
    Anchor(frame, steadyUs, rate);
  }
}

int64_t JackFrameClock::MicrosOf(const Slot& slot, uint32_t frame) {
  const auto frames = static_cast<int32_t>(frame - slot.frame.load(std::memory_order_relaxed));
  const int64_t rate = slot.rate.load(std::memory_order_relaxed);
  // Rounded to the nearest microsecond, the same way either side of the anchor.
  const int64_t scaled = int64_t{frames} * 1'000'000;
  const int64_t micros = scaled >= 0 ? (scaled + rate / 2) / rate : -((-scaled + rate / 2) / rate);
  return slot.steadyUs.load(std::memory_order_relaxed) + micros;
}

std::chrono::steady_clock::time_point JackFrameClock::TimeOf(uint32_t frame) const {
  const Slot& slot = slots_[current_.load(std::memory_order_acquire)];
  return std::chrono::steady_clock::time_point(std::chrono::microseconds(MicrosOf(slot, frame)));
}
