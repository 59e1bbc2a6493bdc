#include "LinkMessageCodec.h"

#include <algorithm>

namespace {

constexpr uint32_t kNoteWindow = 4096;
constexpr uint32_t kControlWindow = 2048;
constexpr uint32_t kSysexWindow = uint32_t{1} << 21;
constexpr uint8_t kFirstController = 20;  // 20 to 31: undefined controllers

uint8_t NoteVelocity(uint32_t pair) { return static_cast<uint8_t>(1 + (pair * 37 + 11) % 127); }
uint8_t Controller(uint32_t residue) {
  return static_cast<uint8_t>(kFirstController + (residue * 5 + (residue >> 4)) % 12);
}
uint8_t PatternByte(uint32_t number, size_t position) {
  return static_cast<uint8_t>((number * 7 + position * 13 + (number >> 7)) & 0x7F);
}

}  // namespace

LinkMessageCodec::LinkMessageCodec(LinkMessageKind kind, int sysexLength)
    : FKind(kind), FSysexLength(std::max(sysexLength, LinkTestSettings::MinSysexLength)) {}

uint32_t LinkMessageCodec::Window() const {
  switch (FKind) {
    case LinkMessageKind::NoteOnOff:
      return kNoteWindow;
    case LinkMessageKind::ControlChange:
      return kControlWindow;
    case LinkMessageKind::Sysex:
      break;
  }
  return kSysexWindow;
}

std::vector<uint8_t> LinkMessageCodec::Encode(uint64_t index) const {
  const auto residue = static_cast<uint32_t>(index % Window());
  switch (FKind) {
    case LinkMessageKind::NoteOnOff: {
      const uint32_t pair = residue >> 1;
      const bool off = (residue & 1) != 0;
      return {static_cast<uint8_t>((off ? 0x80 : 0x90) | (pair & 0x0F)), static_cast<uint8_t>(pair >> 4),
              NoteVelocity(pair)};
    }
    case LinkMessageKind::ControlChange:
      return {static_cast<uint8_t>(0xB0 | (residue & 0x0F)), Controller(residue),
              static_cast<uint8_t>(residue >> 4)};
    case LinkMessageKind::Sysex:
      break;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(FSysexLength));
  bytes[0] = 0xF0;
  bytes[1] = 0x7D;
  bytes[2] = static_cast<uint8_t>(residue & 0x7F);
  bytes[3] = static_cast<uint8_t>((residue >> 7) & 0x7F);
  bytes[4] = static_cast<uint8_t>((residue >> 14) & 0x7F);
  for (size_t i = 5; i + 1 < bytes.size(); ++i) bytes[i] = PatternByte(residue, i);
  bytes.back() = 0xF7;
  return bytes;
}

std::optional<uint32_t> LinkMessageCodec::Residue(std::span<const uint8_t> bytes) const {
  switch (FKind) {
    case LinkMessageKind::NoteOnOff: {
      if (bytes.size() != 3) return std::nullopt;
      const uint8_t kind = bytes[0] & 0xF0;
      if (kind != 0x80 && kind != 0x90) return std::nullopt;
      if (bytes[1] > 0x7F) return std::nullopt;
      const uint32_t pair = (bytes[0] & 0x0Fu) | (uint32_t{bytes[1]} << 4);
      if (bytes[2] != NoteVelocity(pair)) return std::nullopt;
      return pair * 2 + (kind == 0x80 ? 1 : 0);
    }
    case LinkMessageKind::ControlChange: {
      if (bytes.size() != 3 || (bytes[0] & 0xF0) != 0xB0 || bytes[2] > 0x7F) return std::nullopt;
      const uint32_t residue = (bytes[0] & 0x0Fu) | (uint32_t{bytes[2]} << 4);
      if (bytes[1] != Controller(residue)) return std::nullopt;
      return residue;
    }
    case LinkMessageKind::Sysex:
      break;
  }
  if (bytes.size() < 6 || bytes[0] != 0xF0 || bytes[1] != 0x7D) return std::nullopt;
  if (bytes[2] > 0x7F || bytes[3] > 0x7F || bytes[4] > 0x7F) return std::nullopt;
  return uint32_t{bytes[2]} | (uint32_t{bytes[3]} << 7) | (uint32_t{bytes[4]} << 14);
}
