#pragma once
// The messages of a connection test, each carrying its own sequence number in
// its data bytes, so that every answer can be matched to what was sent.
//
// A short message has room for only part of the number: it carries the
// number modulo Window(), and an answer is matched to the one message of that
// residue among the last Window() sent (the run never has more than that many
// waiting). Each message also carries a check, so that most changes show:
//   Note On / Note Off  message 2k is a Note On, 2k+1 its Note Off, both with
//                       channel and note from k mod 2048 and a velocity of
//                       1 to 127 computed from them (never 0: a Note On of
//                       velocity 0 would be a Note Off); Window() 4096.
//   Control Change      channel and value from n mod 2048, the controller one
//                       of the undefined controllers 20 to 31 computed from
//                       them; Window() 2048.
//   SysEx of N bytes    F0 7D (non-commercial), three bytes of the number
//                       (7 bits each, low first), N - 6 bytes of a pattern
//                       that depends on the number, F7; Window() 2^21, more
//                       than the longest run.
// A plain value, any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "LinkTestSettings.h"

class LinkMessageCodec {
 public:
  // sysexLength (F0 and F7 included, at least 6) is used by the SysEx kind only.
  LinkMessageCodec(LinkMessageKind kind, int sysexLength);

  LinkMessageKind Kind() const { return FKind; }
  uint32_t Window() const;
  // Message `index` (counted from 0) of a run.
  std::vector<uint8_t> Encode(uint64_t index) const;
  // The index modulo Window() that the bytes carry, when they are shaped as a
  // message of this kind with a check that holds; none otherwise. The bytes
  // may still differ from the message of that index elsewhere: compare them
  // with Encode to know.
  std::optional<uint32_t> Residue(std::span<const uint8_t> bytes) const;

 private:
  LinkMessageKind FKind;
  int FSysexLength;
};
