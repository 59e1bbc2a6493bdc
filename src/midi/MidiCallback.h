#pragma once
// The driver callback of both ports, and the hexadecimal rendering of
// system-exclusive bytes for the event log.

#include <cstdint>
#include <string>

#include "MidiServices.h"

// Passed to midiInOpen and midiOutOpen with CALLBACK_FUNCTION and the port's
// TMidiCtlInfo as instance value. Runs on the driver's thread (for JACK, its
// real-time process thread): it reads the record, filters, stores input in the
// port's ring buffer and makes sure the port's message window will look at it.
// It never raises, never waits for the user-interface thread and never calls
// back into the services.
//  - MIM_DATA, MIM_LONGDATA, MIM_LONGERROR: a lone 0xF8 is dropped when FilterMTC
//    is set, a lone 0xFE when FilterAS is set, MIM_DATA when SysexOnly is set;
//    without a ring buffer nothing happens. The item is stamped with the
//    driver's time of the message (DriverTime.h) or, without one, the steady
//    clock, in microseconds. A stored item asks for a MIM_DATA notice,
//    a full buffer for a WM_USER notice instead (the item is lost: it is
//    added to the record's LostCount and, for a sysex item, its header to
//    LostHeaders, which the port gives back to the driver). Both notices are
//    posted once (TMidiWindow::PostOnce): one notice stands for every message
//    stored, or lost, until the window handles it.
//  - MIM_OVERFLOW: the driver's own queue lost input; its count (1 when it
//    does not say) is added to LostCount and the WM_USER notice posted, as
//    for a full ring.
//  - MOM_DONE: posted with the header in lParam, unfiltered, one per header.
// Per input message the callback does a fixed amount of work without
// allocating or locking: one clock read, one ring store, one atomic exchange.
// Only the first message after the window has handled its notice also posts a
// Qt event (an allocation and Qt's event-queue mutex, briefly), so a flood
// costs one posted event per drain of the window, not one per message; while
// the input port holds its notice between batches (TMidiInput::BatchMs), none.
void MidiDriverCallback(HMIDI handle, uint32_t msg, uintptr_t instance, uintptr_t param1,
                        uintptr_t param2);

// Text := the first byteCount bytes of data (at most 500), each as two
// upper-case hexadecimal digits followed by one space. Every byte counts, so a
// message of odd length shows its last byte (its F7) too.
void SysexToHexText(const uint8_t* data, uint16_t byteCount, std::string& text);
