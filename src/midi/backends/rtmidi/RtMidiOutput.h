#pragma once
// An output device opened through RtMidi, for the JACK source: each open
// device gets an RtMidiOut of its own (client kOwnClientName). No exception
// leaves these functions.
//
// Threads: user-interface thread only. Sending is synchronous, so a long
// message's header comes back (MOM_DONE) on that thread before
// midiOutLongMsg returns; RtMidi's JACK thread only reads its own queue.

#include <atomic>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>

#include "backends/common/DeviceSource.h"
#include "backends/rtmidi/RtMidiPorts.h"

// What an output may still send.
struct OutputLimits {
  std::shared_ptr<const std::atomic<bool>> alive;  // none: always
  size_t maxMessageBytes = std::numeric_limits<size_t>::max();
};

// Opens a port of the program's own that `connect` connects to the device.
MMRESULT OpenRtMidiOutputAndConnect(const LongMessageDone& done,
                                    const OutputLimits& limits, const ConnectByName& connect,
                                    std::unique_ptr<OutputConnection>* connection);
