#pragma once
// An input device on the ALSA sequencer: a port "MIDI In" of the program's
// client (AlsaClient) connected from the device's port. What arrives goes to
// the InputDelivery on the client's reading thread, until the connection is
// destroyed.
//
// The device is gone once that connection is: the kernel ends it with the
// device's port, when the device is unplugged or its program ends. A device
// plugged in again, even at the same sequencer address, is not connected to
// this port.
//
// Threads: made, asked and destroyed on the user-interface thread.

#include <memory>

#include "AlsaClient.h"
#include "backends/common/DeviceSource.h"

// The device's port is connected to a new port of the client; MIDIERR_NODEVICE
// when that cannot be done (the device has gone meanwhile).
MMRESULT OpenAlsaInput(AlsaClient& client, SequencerAddress device, InputDelivery& delivery,
                       std::unique_ptr<InputConnection>* connection);
