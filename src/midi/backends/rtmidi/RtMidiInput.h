#pragma once
// An input device opened through RtMidi, for the JACK source: each open
// device gets an RtMidiIn of its own (client kOwnClientName) with all of
// RtMidi's filters off. No exception leaves these functions.
//
// Threads: opened and closed on the user-interface thread; RtMidi calls back
// on JACK's process thread with each message, which goes to the
// InputDelivery, until the connection is destroyed.

#include <memory>
#include <string>

#include "backends/common/DeviceSource.h"
#include "backends/rtmidi/RtMidiPorts.h"

// Opens a port of the program's own that `connect` connects to the device.
MMRESULT OpenRtMidiInputAndConnect(InputDelivery& delivery,
                                   const ConnectByName& connect,
                                   std::unique_ptr<InputConnection>* connection);
