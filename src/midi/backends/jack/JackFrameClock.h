#pragma once
// Turns the server's frames into times of the steady clock at the server's
// nominal rate, from an anchor (a frame and its time): two frames are exactly
// their count of frames apart, whatever the jitter of the moments at which
// the server's cycles woke up (the dummy driver's, above all), so that a round
// trip measured from frame to frame is what the route took.
//
// The server's own clock drifts from the nominal rate (a sound card's crystal;
// a dummy driver that lost cycles under load). Follow keeps the times close
// to it without a jump that a round trip could span: beyond a dead band the
// clock runs a little faster or slower (at most kMostSlewPpm, a few
// microseconds on a round trip of tens of milliseconds) until it has caught
// up; only a drift beyond kMostDriftUs (a server that stalled) is a jump.
//
// Threads: Anchor and Follow on the user-interface thread only; TimeOf on any
// thread, the real-time one included: it neither locks nor allocates. Two
// anchors alternate, so that a reader never sees one half-written.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

class JackFrameClock {
 public:
  static constexpr int64_t kMostDriftUs = 1'000'000;
  static constexpr int64_t kDeadBandUs = 1'000;
  static constexpr int32_t kMostSlewPpm = 200;

  // The frame was, or will be, at that time; the server runs at `rate` frames a second.
  void Anchor(uint32_t frame, int64_t steadyUs, uint32_t rate);
  // `steadyUs` is the server's own time of `frame`: outside the dead band the
  // clock slews towards it; anchored again at once when it lies further than
  // kMostDriftUs, the rate changed or the frame is far from the anchor.
  void Follow(uint32_t frame, int64_t steadyUs, uint32_t rate);
  std::chrono::steady_clock::time_point TimeOf(uint32_t frame) const;
  // How much faster than nominal the clock runs now, in parts per million.
  int32_t SlewPpm() const;

 private:
  struct Slot {
    std::atomic<uint32_t> frame{0};
    std::atomic<int64_t> steadyUs{0};
    std::atomic<uint32_t> rate{48000};
    std::atomic<int32_t> slewPpm{0};
  };
  void Publish(uint32_t frame, int64_t steadyUs, uint32_t rate, int32_t slewPpm);
  static int64_t MicrosOf(const Slot& slot, uint32_t frame);

  std::array<Slot, 2> slots_;
  std::atomic<int> current_{0};
  bool anchored_ = false;  // user-interface thread
};

// The frame one period after the current one, given the first frame of the
// last cycle the client ran and the server's estimate of the frame of now
// (jack_frame_time). The estimate counts only when it lies after that cycle
// by less than a second: a server catching up (a dummy driver woken late)
// runs cycles ahead of the estimate, and PipeWire's estimate (0.3.65) is now
// and then 2^31 frames off (a clock read that a new cycle overtook).
inline uint32_t NextCycleFrameOf(uint32_t lastCycle, uint32_t estimated, uint32_t period, uint32_t rate) {
  const auto ahead = static_cast<int64_t>(static_cast<int32_t>(estimated - lastCycle));
  const bool believable = ahead > 0 && ahead < int64_t{rate};
  return (believable ? estimated : lastCycle) + period;
}

// Whether the server's time of the last cycle it ran (jack_frames_to_time of
// its first frame) can be right, read at `nowUs` on the same clock: that cycle
// began at most a few periods ago. PipeWire's reading (0.3.65) is now and
// then hours off (a read of its clock that a new cycle overtook), and an
// anchor set from it would put those hours into round trips.
inline bool BelievableCycleTime(int64_t cycleUs, int64_t nowUs) {
  constexpr int64_t kMostCycleAgeUs = 1'000'000;
  return cycleUs <= nowUs + kMostCycleAgeUs && cycleUs >= nowUs - kMostCycleAgeUs;
}
