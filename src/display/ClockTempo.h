#pragma once
// The tempo of an incoming MIDI clock (24 timing-clock messages per quarter
// note) and how steady it is, from the times its driver received the clock
// messages (TMyMidiEvent::TimeUs, microseconds of the steady clock).
//
// Over the last four beats (96 intervals): the median interval tells which
// intervals are regular (within a quarter of it, at least 2.5 ms); the tempo
// comes from the least-squares slope of the clock's times over its count,
// taken within each run of regular intervals and pooled. So it is exact at a
// steady pace, averages jitter out, and ignores a burst (clocks bunched after
// a stall, or an extra burst): the burst's intervals break the runs but do not
// pull the slope. The steadiness is the standard deviation of all the
// intervals of the window, bursts included.
//
// No reading before 12 intervals, and none once no clock has come for a
// second (or four median intervals, for a clock slower than 10 BPM); a clock
// that comes again after that starts afresh. Start, Stop and Continue are
// kept as the transport state. A plain value; user-interface thread.

#include <cstdint>
#include <optional>
#include <vector>

class ClockTempo {
 public:
  static constexpr int WindowIntervals = 96;
  static constexpr int MinIntervals = 12;
  static constexpr uint64_t StaleUs = 1'000'000;

  struct Reading {
    double Bpm = 0;
    double SpreadMs = 0;  // standard deviation of the intervals
  };

  // A timing clock (F8) received at that time.
  void Clock(uint64_t timeUs);
  // Start (FA), Continue (FB) or Stop (FC); other bytes are ignored.
  void Transport(uint8_t status);
  // The reading at `nowUs` (same clock as the messages' times); none while
  // too few clocks came or none came lately.
  std::optional<Reading> Read(uint64_t nowUs) const;
  // The last of Start, Continue, Stop received (0 when none since the clock began).
  uint8_t TransportStatus() const { return FTransport; }
  void Reset();

 private:
  uint64_t StaleLimitUs(double medianUs) const;
  double MedianIntervalUs() const;

  std::vector<uint64_t> FTimes;  // the last WindowIntervals + 1 clocks, oldest first
  uint8_t FTransport = 0;
};
