#pragma once
// When the driver received the input message whose callback runs now, for the
// callback to stamp the message with: microseconds of the steady clock, taken
// from the driver's own time where it has one (a JACK event's frame), so that
// the time the driver's thread took to run does not count. 0 when the back end
// gives none; the callback then reads the clock itself.
//
// Threads: per thread. The back end sets it on its own thread for the length
// of the callbacks of one message (DriverTimeScope); the callback reads it on
// that thread. Neither allocates nor locks.

#include <cstdint>

uint64_t DriverEventTimeUs() noexcept;

class DriverTimeScope {
 public:
  explicit DriverTimeScope(uint64_t steadyUs) noexcept;
  ~DriverTimeScope();
  DriverTimeScope(const DriverTimeScope&) = delete;
  DriverTimeScope& operator=(const DriverTimeScope&) = delete;

 private:
  uint64_t previous_;
};
