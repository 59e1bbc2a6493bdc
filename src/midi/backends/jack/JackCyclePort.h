#pragma once
// One of the program's JACK ports as the process callback sees it: once per
// cycle, with the cycle's first frame and length, it reads what arrived
// (inputs) or writes what is due (outputs).
//
// Threads: Process runs on JACK's process thread only, while the port is
// attached to the session (JackSession::Attach); it must not block, lock or
// allocate.

#include <cstdint>

class JackCyclePort {
 public:
  virtual ~JackCyclePort() = default;
  virtual void Process(uint32_t firstFrame, uint32_t frames) noexcept = 0;
  // The session's client has been closed (its server went away): the port's
  // JACK handle is no longer valid and must not be used again. User-interface
  // thread.
  virtual void Orphan() noexcept = 0;
};
