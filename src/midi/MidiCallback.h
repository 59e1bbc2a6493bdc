#pragma once
// The driver callback of both ports, and the hexadecimal rendering of
// system-exclusive bytes for the event log.

#include <cstdint>
#include <string>

#include "MidiServices.h"

// Passed to midiInOpen and midiOutOpen with CALLBACK_FUNCTION and the port's
// TMidiCtlInfo as instance value. Runs on the driver's thread: it reads the
// record, filters, stores input in the port's ring buffer and posts a notice to
// the port's message window. It never raises, never waits for the
// user-interface thread to handle anything and never calls back into the
// services. Posting a notice is not free of locks, though: each notice is a
// heap-allocated Qt event, queued under the event queue's mutex (held only
// briefly, never across a handler), so a callback may wait for that mutex and
// for the allocator.
//  - MIM_DATA, MIM_LONGDATA, MIM_LONGERROR: a lone 0xF8 is dropped when FilterMTC
//    is set, a lone 0xFE when FilterAS is set, MIM_DATA when SysexOnly is set;
//    without a ring buffer nothing happens. A stored item posts MIM_DATA, a
//    full buffer posts WM_USER instead (the item is lost). For a lost sysex
//    item, WM_USER carries the record's OpenCount and the header, which the
//    port gives back to the driver: otherwise every overflow would take one
//    sysex buffer away for good.
//  - MOM_DONE: posted with the header in lParam, unfiltered.
void MidiDriverCallback(HMIDI handle, uint32_t msg, uintptr_t instance, uintptr_t param1,
                        uintptr_t param2);

// Text := the first byteCount bytes of data (at most 500), each as two
// upper-case hexadecimal digits followed by one space. Every byte counts, so a
// message of odd length shows its last byte (its F7) too.
void SysexToHexText(const uint8_t* data, uint16_t byteCount, std::string& text);
