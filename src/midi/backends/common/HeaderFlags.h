#pragma once
// MIDIHDR::dwFlags as the back ends touch it: the user-interface thread reads
// and sets the flags while a driver thread may be handing the same header back,
// so every access made here is atomic.

#include <atomic>
#include <cstdint>

#include "MidiServices.h"

inline uint32_t HeaderFlags(const MIDIHDR& hdr) {
  return std::atomic_ref<uint32_t>(const_cast<uint32_t&>(hdr.dwFlags)).load();
}

inline void ChangeHeaderFlags(MIDIHDR& hdr, uint32_t set, uint32_t clear) {
  std::atomic_ref<uint32_t> flags(hdr.dwFlags);
  uint32_t value = flags.load();
  while (!flags.compare_exchange_weak(value, (value | set) & ~clear)) {
  }
}

// Marks a header as given back by the driver.
inline void MarkHeaderDone(MIDIHDR& hdr) { ChangeHeaderFlags(hdr, MHDR_DONE, MHDR_INQUEUE); }
