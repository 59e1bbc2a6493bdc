#pragma once
// An input device opened through RtMidi, for the ALSA and JACK sources: each
// open device gets an RtMidiIn of its own (client kOwnClientName) with all of
// RtMidi's filters off. No exception leaves these functions.
//
// Threads: opened and closed on the user-interface thread; RtMidi calls back
// on its own thread (ALSA's input thread, JACK's process thread) with each
// message, which goes to the InputDelivery, until the connection is destroyed.

#include <memory>
#include <string>

#include "backends/common/DeviceSource.h"
#include "backends/rtmidi/RtMidiPorts.h"

// Opens the device that bears the product name now (ALSA).
MMRESULT OpenRtMidiInput(PortFamily family, const std::string& name, InputDelivery& delivery,
                         std::unique_ptr<InputConnection>* connection);

// Opens a port of the program's own that `connect` connects to the device (JACK).
MMRESULT OpenRtMidiInputAndConnect(PortFamily family, InputDelivery& delivery,
                                   const ConnectByName& connect,
                                   std::unique_ptr<InputConnection>* connection);
