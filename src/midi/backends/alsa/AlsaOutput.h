#pragma once
// An output device on the ALSA sequencer: a port "MIDI Out" of the program's
// client (AlsaClient) connected to the device's port. Each message goes out as
// one sequencer event (alsa-lib's encoder), a system-exclusive message as
// events of at most kSysexPiece bytes, which the device receives as one byte
// stream. Events are addressed to the device's port itself, not to the
// connection's subscribers, so that a send to a device that has gone is
// refused by the kernel (MIDIERR_NODEVICE) instead of going nowhere.
//
// The device is gone once the connection is (see AlsaInput.h); every later
// send is refused.
//
// Threads: user-interface thread only. Sending is synchronous: a long
// message's header comes back (MOM_DONE) before midiOutLongMsg returns. While
// the receiver cannot take an event (a program whose queue is full), a send
// tries again for at most kFullWaitMs, then is refused with MIDIERR_NOTREADY.

#include <memory>

#include "AlsaClient.h"
#include "backends/common/DeviceSource.h"

inline constexpr size_t kSysexPiece = 256;
inline constexpr int kFullWaitMs = 2000;

// The client's new port is connected to the device's port;
// MIDIERR_NODEVICE when that cannot be done (the device has gone meanwhile).
MMRESULT OpenAlsaOutput(AlsaClient& client, SequencerAddress device, const LongMessageDone& done,
                        std::unique_ptr<OutputConnection>* connection);
