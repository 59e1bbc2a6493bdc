#pragma once
// The program's MIDI ports on the session's client (JackSession.h), one JACK
// port for each open device, connected to the device's port by full names.
//
// An input hands what arrives in each cycle to its InputDelivery on JACK's
// process thread, each event stamped with the time of its frame. An output
// queues each message for the frame one period after the current one, which
// lies in the next cycle (JackOutputQueue), and its process callback writes
// it there, so that a message leaves at a frame known when it was sent
// (LastSendTime) and messages leave in the order they were sent. A system-exclusive message
// leaves as the pieces it was sent in; a message longer than a port's buffer
// can carry is refused (MMSYSERR_INVALPARAM). A long message's header comes
// back (MOM_DONE) before midiOutLongMsg returns: its bytes are in the queue.
//
// Threads: opened, used and closed on the user-interface thread; their
// cycles run on JACK's process thread (JackCyclePort). The session outlives
// every port opened on it.

#include <memory>
#include <string>

#include "JackSession.h"
#include "backends/common/DeviceSource.h"

// Opens a port of the program's own connected from the device's port.
MMRESULT OpenJackInput(JackSession& session, const std::string& devicePort,
                       InputDelivery& delivery, std::unique_ptr<InputConnection>* connection);
// Opens a port of the program's own connected to the device's port.
MMRESULT OpenJackOutput(JackSession& session, const std::string& devicePort,
                        const LongMessageDone& done, std::unique_ptr<OutputConnection>* connection);
