#pragma once
// What the RtMidi input and output share, for the JACK source (the ALSA
// source works on alsa-lib directly, alsa/AlsaSource.h says why): whether
// RtMidi was built with JACK, and opening an RtMidi port as a port of the
// program's own that the caller connects by full names.
//
// RtMidi's warnings and errors go to an RtMidiErrors, which prints nothing and
// counts them; a call during which the count rose has failed. Threads: the
// user-interface thread, except RtMidiErrors::Count, which RtMidi may call from
// its own threads.

#include <RtMidi.h>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MidiServices.h"
#include "backends/common/DeviceNames.h"

inline constexpr const char* kInputPortName = "MIDI In";
inline constexpr const char* kOutputPortName = "MIDI Out";

bool RtMidiHasJack();

// Counts what RtMidi reports instead of letting it print.
class RtMidiErrors {
 public:
  // Makes `midi` report to this object, which must outlive it.
  void Watch(RtMidi& midi) { midi.setErrorCallback(&RtMidiErrors::Count, this); }
  unsigned Seen() const { return count_.load(); }

 private:
  static void Count(RtMidiError::Type, const std::string&, void* errors);
  std::atomic<unsigned> count_{0};
};

// Opens a port of the program's own under a temporary name that no other port
// bears, lets `connect` find it by that name and connect it, then gives it its
// lasting name.
using ConnectByName = std::function<bool(const std::string& temporaryName)>;
MMRESULT OpenPortConnectedByName(RtMidi& midi, const RtMidiErrors& errors,
                                 const char* lastingName, const ConnectByName& connect);

// The result code for an exception that RtMidi or the standard library threw.
MMRESULT ResultOf(const std::exception_ptr& error);

// Makes a connection and opens it; no exception leaves.
template <typename Connection, typename Make, typename Open>
MMRESULT MakeAndOpen(Make make, Open open, std::unique_ptr<Connection>* connection) {
  try {
    auto opened = make();
    if (MMRESULT result = open(*opened)) return result;
    *connection = std::move(opened);
    return MMSYSERR_NOERROR;
  } catch (...) {
    return ResultOf(std::current_exception());
  }
}
