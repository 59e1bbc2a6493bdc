#pragma once
// The two waits of every timed sequence, on a 32-bit millisecond tick counter
// that wraps. Neither spins: between two polls they block in the event loop
// until the next event or the deadline. Both run on the user-interface thread.

#include <cstdint>
#include <functional>
#include <memory>

// Set once when the main window is asked to close, never cleared: ends every
// Delay_MsUntilAbort at once and makes MidiOut_SendBytes do nothing.
extern bool AbortDelay;

// Returns once more than ms milliseconds have passed by the tick counter; with
// pump, processes pending events at least once and keeps processing them.
void Delay_Ms(uint32_t ms, bool pump);
// Processes pending events at least once, then until ms milliseconds have
// passed or AbortDelay is found set.
void Delay_MsUntilAbort(uint32_t ms);
// The same wait, which also ends at the first poll that finds `stop` true (a
// Stop button pressed during the wait).
void Delay_MsUntilAbortOr(uint32_t ms, const std::function<bool()>& stop);

// The clock of the waits; tests replace it to run time at their own pace.
class TDelayClock {
 public:
  virtual ~TDelayClock() = default;
  // Milliseconds, wrapping at 32 bits.
  virtual uint32_t TickCount() = 0;
  // Blocks until an event arrives (with pump, then processing it) or at most
  // maxMs milliseconds have passed; may return earlier.
  virtual void WaitForEvents(uint32_t maxMs, bool pump) = 0;
};

// The steady clock of the process and the event loop's blocking wait.
TDelayClock& SystemDelayClock();
TDelayClock& CurrentDelayClock();

// Installs a clock for the lifetime of the object, restoring the previous one.
class TScopedDelayClock {
 public:
  explicit TScopedDelayClock(TDelayClock& clock);
  ~TScopedDelayClock();
  TScopedDelayClock(const TScopedDelayClock&) = delete;
  TScopedDelayClock& operator=(const TScopedDelayClock&) = delete;

 private:
  TDelayClock* previous_;
};
