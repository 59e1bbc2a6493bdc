#pragma once
// What the services need of one family of MIDI devices (ALSA, JACK, the
// loopback): its current device lists and a way to open a device by name.
//
// Threads: every member is called from the user-interface thread, except where
// a comment says otherwise. A source outlives every connection it opened.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MidiServices.h"

class InputDelivery;

// Gives a sent long-message header back to whoever sent it: marks it done and
// calls the opener's callback with MOM_DONE. Any thread.
struct LongMessageDone {
  HMIDI handle = 0;
  MidiCallbackProc callback = nullptr;
  uintptr_t instance = 0;

  void operator()(MIDIHDR* hdr) const noexcept;
};

// An open input. It feeds its InputDelivery from a thread of its back end until
// it is destroyed; once the destructor has returned it never touches it again.
class InputConnection {
 public:
  virtual ~InputConnection() = default;
  // True once the device has gone away, and from then on (it delivers nothing
  // more). User-interface thread.
  virtual bool Gone() { return false; }
};

// An open output.
class OutputConnection {
 public:
  virtual ~OutputConnection() = default;
  // One complete short message of 1 to 3 bytes.
  virtual MMRESULT SendShort(const uint8_t* bytes, size_t count) = 0;
  // Sends the header's dwBufferLength bytes. On success the header comes back
  // through the connection's LongMessageDone, now or later; on failure it
  // stays with the caller.
  virtual MMRESULT SendLong(MIDIHDR* hdr) = 0;
  // Returns once every header sent so far has come back.
  virtual void Flush() = 0;
  // True once the device has gone away, and from then on; sends are then
  // refused with MIDIERR_NODEVICE.
  virtual bool Gone() { return false; }
  // When the last message sent leaves, or left, by the driver's own time (a
  // JACK frame); none for a back end that hands messages over at once.
  virtual std::optional<std::chrono::steady_clock::time_point> LastSendTime() { return std::nullopt; }
};

class DeviceSource {
 public:
  virtual ~DeviceSource() = default;

  // Product names of the devices usable now, stable across runs, in a stable
  // order; empty when the back end cannot start here.
  virtual std::vector<std::string> InputNames() = 0;
  virtual std::vector<std::string> OutputNames() = 0;

  // Open the device that bears the name now; MIDIERR_NODEVICE when it is gone.
  virtual MMRESULT OpenInput(const std::string& name, InputDelivery& delivery,
                             std::unique_ptr<InputConnection>* connection) = 0;
  virtual MMRESULT OpenOutput(const std::string& name, const LongMessageDone& done,
                              std::unique_ptr<OutputConnection>* connection) = 0;

  // From now on `changed` is called on the user-interface thread, from the
  // event loop and never from inside a member of the source, each time the
  // devices may have changed: one appeared or went away, or the device of an
  // open connection went away. Called at most once; `changed` may close
  // connections, so a source calls it last. Sources whose devices never
  // change ignore it.
  virtual void Watch(std::function<void()> changed) { (void)changed; }

  // Identification in the capabilities of its devices.
  virtual uint16_t ProductId() const = 0;
  virtual uint32_t DriverVersion() const = 0;
};
