#include "LogFilter.h"

MessageKind KindOf(uint8_t status) {
  switch (status >> 4) {
    case 0x8:
    case 0x9:
      return MessageKind::Note;
    case 0xA:
    case 0xD:
      return MessageKind::Aftertouch;
    case 0xB:
      return MessageKind::ControlChange;
    case 0xC:
      return MessageKind::ProgramChange;
    case 0xE:
      return MessageKind::PitchBend;
    case 0xF:
      break;
    default:
      return MessageKind::SystemCommon;  // a data byte: never delivered as a message
  }
  switch (status) {
    case 0xF0:
    case 0xF7:
      return MessageKind::SysEx;
    case 0xF1:
      return MessageKind::TimeCode;
    case 0xF8:
      return MessageKind::Clock;
    case 0xFE:
      return MessageKind::ActiveSensing;
    case 0xF9:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFD:
    case 0xFF:
      return MessageKind::RealTime;
    default:
      return MessageKind::SystemCommon;
  }
}

bool LogFilter::Hides(LogDirection direction, uint8_t status) const {
  if (direction == LogDirection::In ? HideIn : HideOut) return true;
  if (HidesKind(KindOf(status))) return true;
  return status >= 0x80 && status < 0xF0 && HidesChannel((status & 0x0F) + 1);
}

void LogFilter::SetKindHidden(MessageKind kind, bool hidden) {
  const auto bit = static_cast<uint16_t>(1u << static_cast<int>(kind));
  HiddenKinds = static_cast<uint16_t>(hidden ? HiddenKinds | bit : HiddenKinds & ~bit);
}

void LogFilter::SetChannelHidden(int channel, bool hidden) {
  if (channel < 1 || channel > 16) return;
  const auto bit = static_cast<uint16_t>(1u << (channel - 1));
  HiddenChannels = static_cast<uint16_t>(hidden ? HiddenChannels | bit : HiddenChannels & ~bit);
}
