#pragma once
// Opening a device through RtMidi, for the ALSA and JACK sources: each open
// device gets an RtMidi object of its own (client kOwnClientName). Either the
// device's product name is turned into RtMidi's port number at that moment,
// since the numbers shift when devices come and go (ALSA); or the caller
// connects the RtMidi port by full names (JACK, where other programs' ports
// come and go between RtMidi's own lookups by number).
//
// Input: RtMidi calls back on its own thread (ALSA's input thread, JACK's
// process thread) with each message, which goes to the InputDelivery; RtMidi's
// own filters are all off. Output: sending is synchronous, so a long message's
// header comes back (MOM_DONE) before midiOutLongMsg returns. RtMidi's warnings
// and errors go to a callback that prints nothing and makes the call fail; no
// exception leaves these functions.

#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <string>

#include "backends/common/DeviceNames.h"
#include "backends/common/DeviceSource.h"

// What an output may still send.
struct OutputLimits {
  std::shared_ptr<const std::atomic<bool>> alive;  // none: always
  size_t maxMessageBytes = std::numeric_limits<size_t>::max();
};

bool RtMidiHasApi(PortFamily family);

inline constexpr const char* kInputPortName = "MIDI In";
inline constexpr const char* kOutputPortName = "MIDI Out";

// Opens the device that bears the product name now.
MMRESULT OpenRtMidiInput(PortFamily family, const std::string& name, InputDelivery& delivery,
                         std::unique_ptr<InputConnection>* connection);
MMRESULT OpenRtMidiOutput(PortFamily family, const std::string& name,
                          const LongMessageDone& done, const OutputLimits& limits,
                          std::unique_ptr<OutputConnection>* connection);

// Opens a port of the program's own under a temporary name that no other port
// bears, lets `connect` find it by that name and connect it, then gives it its
// lasting name (kInputPortName or kOutputPortName).
using ConnectByName = std::function<bool(const std::string& temporaryName)>;
MMRESULT OpenRtMidiInputAndConnect(PortFamily family, InputDelivery& delivery,
                                   const ConnectByName& connect,
                                   std::unique_ptr<InputConnection>* connection);
MMRESULT OpenRtMidiOutputAndConnect(PortFamily family, const LongMessageDone& done,
                                    const OutputLimits& limits, const ConnectByName& connect,
                                    std::unique_ptr<OutputConnection>* connection);
