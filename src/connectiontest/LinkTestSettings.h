#pragma once
// What a connection test sends: the kind of message, how many, at what pace,
// and how long it waits for each answer. A plain value; the ranges are those
// that the window offers and that the preferences bring a value into.

#include <algorithm>
#include <cstdint>

enum class LinkMessageKind : uint8_t { NoteOnOff, ControlChange, Sysex };

struct LinkTestSettings {
  static constexpr int MinSysexLength = 6;
  static constexpr int MaxSysexLength = 65000;
  static constexpr int MinCount = 1;
  static constexpr int MaxCount = 1000000;
  static constexpr int MinRate = 1;
  static constexpr int MaxRate = 10000;
  static constexpr int MinTimeoutMs = 1;
  static constexpr int MaxTimeoutMs = 60000;
  static constexpr int MaxWarmUp = 100000;

  LinkMessageKind Kind = LinkMessageKind::NoteOnOff;
  int SysexLength = 128;  // bytes, F0 and F7 included
  int Count = 1000;
  // Messages per second; with OneInFlight the next message leaves as soon as
  // the one before it was answered (or given up), and the rate is not used.
  int RatePerSecond = 100;
  bool OneInFlight = false;
  int TimeoutMs = 1000;
  // The first answers, left out of the latency figures (still counted as
  // received): the route's buffers and the drivers settling.
  int WarmUp = 10;
  // Each message leaves at a random moment of its share of the pace (the
  // pace is kept on average), so that the figures do not lock to an audio
  // period or to USB's 1 ms frames; evenly otherwise. With OneInFlight, a
  // random pause of up to a millisecond before each message.
  bool RandomMoments = true;

  // Every value brought into its range.
  LinkTestSettings Clamped() const {
    LinkTestSettings s = *this;
    if (s.Kind != LinkMessageKind::ControlChange && s.Kind != LinkMessageKind::Sysex) {
      s.Kind = LinkMessageKind::NoteOnOff;
    }
    s.SysexLength = std::clamp(s.SysexLength, MinSysexLength, MaxSysexLength);
    s.Count = std::clamp(s.Count, MinCount, MaxCount);
    s.RatePerSecond = std::clamp(s.RatePerSecond, MinRate, MaxRate);
    s.TimeoutMs = std::clamp(s.TimeoutMs, MinTimeoutMs, MaxTimeoutMs);
    s.WarmUp = std::clamp(s.WarmUp, 0, MaxWarmUp);
    return s;
  }

  friend bool operator==(const LinkTestSettings&, const LinkTestSettings&) = default;
};
