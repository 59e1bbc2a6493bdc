#pragma once
// The receiving end of one open MIDI input: turns the bytes that a back end
// receives into the opener's driver callbacks, exactly as a platform driver
// does. Short messages become MIM_DATA (param2 = milliseconds since Start, by
// the clock it was given); system-exclusive bytes fill the added headers in
// order, each returned with MIM_LONGDATA when full or when the message ends
// (MIM_LONGERROR when it was cut short), and are dropped while no header is
// available. A loss in the back end's own queue becomes MIM_OVERFLOW.
//
// Threads: AddBuffer, Start, Stop and TakeBackBuffers run on the user-interface
// thread; Receive and Lost run on the back end's thread, one call at a time. Receive
// never waits for the user-interface thread; Stop waits only for a Receive
// that is already under way. Once Stop has returned, no callback is running and
// none starts until the next Start. The back end that calls Receive keeps doing
// so until its connection is destroyed, so this object outlives the connection.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "HeaderQueue.h"
#include "MidiClock.h"
#include "MidiParser.h"
#include "MidiServices.h"

class InputDelivery final : private MidiParser::Sink {
 public:
  InputDelivery(HMIDI handle, MidiCallbackProc callback, uintptr_t instance,
                MidiClock clock = SteadyMidiClock());
  InputDelivery(const InputDelivery&) = delete;
  InputDelivery& operator=(const InputDelivery&) = delete;

  // The header must be prepared and not queued (the services check both).
  MMRESULT AddBuffer(MIDIHDR* hdr);
  // Starting a started input changes nothing; time stamps count from the first Start.
  void Start();
  void Stop();
  // Stops input and gives back every header still here, marked done, without callback.
  void TakeBackBuffers();

  // Bytes as they arrived, in one or several pieces, stamped by the clock.
  void Receive(const uint8_t* bytes, size_t count) noexcept;
  // The same, for a back end that knows when its driver received them (on the
  // steady clock): they are stamped with that time, and the callbacks see it
  // as DriverEventTimeUs.
  void Receive(const uint8_t* bytes, size_t count,
               std::chrono::steady_clock::time_point arrived) noexcept;
  // Bytes were lost before the next ones (the back end's queue overflowed): a
  // system-exclusive message under way ends cut short (MIM_LONGERROR), since
  // the rest of it may not be its own, no running status carries over, and
  // the opener hears of it (MIM_OVERFLOW with `count` messages, 0 when the
  // system does not say how many).
  void Lost(uint32_t count = 0) noexcept;

 private:
  void Feed(const uint8_t* bytes, size_t count, std::chrono::steady_clock::time_point arrived) noexcept;
  void OnShortMessage(uint32_t packed) override;
  void OnSysexByte(uint8_t byte) override;
  void OnSysexEnd(bool complete) override;
  void GiveBack(MIDIHDR* hdr, uint32_t msg);
  void Notify(uint32_t msg, uintptr_t param1, uintptr_t param2) noexcept;

  const HMIDI handle_;
  const MidiCallbackProc callback_;
  const uintptr_t instance_;
  const MidiClock clock_;
  HeaderQueue queue_;
  bool started_ = false;  // user-interface thread only

  // Written by Start before running_ is raised, read by Receive after seeing it.
  std::chrono::steady_clock::time_point startTime_;
  alignas(64) std::atomic<bool> running_{false};
  alignas(64) std::atomic<int> receiving_{0};  // Receive calls under way

  // The receiving side's state: Receive's alone while running; the
  // user-interface thread's while stopped.
  MidiParser parser_;
  MIDIHDR* filling_ = nullptr;  // taken from the queue, partly filled
  bool dropping_ = false;       // no header was left for this system-exclusive message
  uint32_t now_ = 0;            // time stamp of the bytes being received
};
