#pragma once
// Turns the server's frames into times of the steady clock at the server's
// nominal rate, from one anchor (a frame and its time): two frames are always
// exactly their count of frames apart, whatever the jitter of the moments at
// which the server's cycles woke up (the dummy driver's, above all), so that
// a round trip measured from frame to frame is what the route took. The
// anchor is set again only when the server's own clock has drifted from it by
// more than kMostDriftUs (a sound card's crystal, over hours; a dummy driver
// that fell behind), since a round trip that spans the change is off by as
// much: times are close to the steady clock's, their differences exact.
//
// Threads: Anchor on the user-interface thread only; TimeOf on any thread,
// the real-time one included: it neither locks nor allocates. Two anchors
// alternate, so that a reader never sees one half-written.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

class JackFrameClock {
 public:
  static constexpr int64_t kMostDriftUs = 250'000;

  // The frame was, or will be, at that time; the server runs at `rate` frames a second.
  void Anchor(uint32_t frame, int64_t steadyUs, uint32_t rate);
  // Anchors again when `steadyUs`, the server's own time of `frame`, lies more
  // than kMostDriftUs from this clock's, or the frame is far from the anchor.
  void Follow(uint32_t frame, int64_t steadyUs, uint32_t rate);
  std::chrono::steady_clock::time_point TimeOf(uint32_t frame) const;

 private:
  struct Slot {
    std::atomic<uint32_t> frame{0};
    std::atomic<int64_t> steadyUs{0};
    std::atomic<uint32_t> rate{48000};
  };
  static int64_t MicrosOf(const Slot& slot, uint32_t frame);

  std::array<Slot, 2> slots_;
  std::atomic<int> current_{0};
  bool anchored_ = false;  // user-interface thread
};
