#pragma once
// Facts about MIDI bytes that the back ends and the send routine need: message
// lengths by status, and the packed form of a short message.

#include <cstdint>

// Bytes of a short message that starts with this status byte, status included
// (1 to 3); 0 for a data byte and for 0xF0, whose message has no fixed length.
constexpr int ShortMessageLength(uint8_t status) {
  if (status < 0x80 || status == 0xF0) return 0;
  if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;  // Cn, Dn take one data byte
  switch (status) {
    case 0xF1:  // time-code quarter frame
    case 0xF3:  // song select
      return 2;
    case 0xF2:  // song position
      return 3;
    default:  // tune request, end of exclusive, undefined and real-time bytes
      return 1;
  }
}

constexpr bool IsRealTime(uint8_t byte) { return byte >= 0xF8; }

// status + 256 * data1 + 65536 * data2
constexpr uint32_t PackShortMessage(uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0) {
  return status | (uint32_t{data1} << 8) | (uint32_t{data2} << 16);
}
