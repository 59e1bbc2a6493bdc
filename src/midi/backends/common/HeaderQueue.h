#pragma once
// The input headers waiting to be filled, in the order they were added.
//
// One producer (the user-interface thread, midiInAddBuffer) and one consumer at
// a time: the driver thread while input runs, the user-interface thread once it
// has stopped input and waited for the driver thread (InputDelivery hands the
// role over). Lock-free; neither side ever waits for the other.

#include <array>
#include <atomic>
#include <cstddef>
#include <new>

#include "MidiServices.h"

class HeaderQueue {
 public:
  static constexpr size_t kCapacity = 1024;

  // False when kCapacity headers are already waiting.
  [[nodiscard]] bool Push(MIDIHDR* hdr) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    const size_t next = (tail + 1) % slots_.size();
    if (next == head_.load(std::memory_order_acquire)) return false;
    slots_[tail] = hdr;
    tail_.store(next, std::memory_order_release);
    return true;
  }

  // The oldest header, or null when none waits.
  MIDIHDR* Pop() {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return nullptr;
    MIDIHDR* hdr = slots_[head];
    head_.store((head + 1) % slots_.size(), std::memory_order_release);
    return hdr;
  }

 private:
  static constexpr size_t kLine = 64;
  std::array<MIDIHDR*, kCapacity + 1> slots_{};
  alignas(kLine) std::atomic<size_t> head_{0};  // next to pop
  alignas(kLine) std::atomic<size_t> tail_{0};  // next free slot
};
