#pragma once
// What the event log shows of the traffic: messages of some kinds, of some
// channels or of one direction can be hidden. Counters, lamps, the traffic
// recording and the tests still get every message; only the log's lines are
// left out. A plain value; any thread.

#include <cstdint>

// The kinds of message the filter tells apart, by status byte.
enum class MessageKind : uint8_t {
  Note,           // 8n, 9n
  Aftertouch,     // An, Dn
  ControlChange,  // Bn
  ProgramChange,  // Cn
  PitchBend,      // En
  SysEx,          // F0, F7
  TimeCode,       // F1 (MTC quarter frame)
  SystemCommon,   // F2, F3, F4, F5, F6 (and anything that is no status byte)
  Clock,          // F8
  RealTime,       // F9, FA, FB, FC, FD, FF
  ActiveSensing,  // FE
};
constexpr int MessageKindCount = 11;

MessageKind KindOf(uint8_t status);

// Received (MIDI-In) or sent (Midi-Out).
enum class LogDirection : uint8_t { In, Out };

struct LogFilter {
  uint16_t HiddenKinds = 0;     // one bit per MessageKind
  uint16_t HiddenChannels = 0;  // bit 0: channel 1 … bit 15: channel 16
  bool HideIn = false;
  bool HideOut = false;

  // Whether anything at all is hidden.
  bool Active() const { return HiddenKinds != 0 || HiddenChannels != 0 || HideIn || HideOut; }
  // Whether the log leaves out a message of this status byte going that way.
  bool Hides(LogDirection direction, uint8_t status) const;

  bool HidesKind(MessageKind kind) const { return (HiddenKinds >> static_cast<int>(kind)) & 1u; }
  void SetKindHidden(MessageKind kind, bool hidden);
  // Channels counted 1 to 16.
  bool HidesChannel(int channel) const { return (HiddenChannels >> (channel - 1)) & 1u; }
  void SetChannelHidden(int channel, bool hidden);

  friend bool operator==(const LogFilter&, const LogFilter&) = default;
};
