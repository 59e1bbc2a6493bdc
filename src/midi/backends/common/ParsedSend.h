#pragma once
// What the outputs' midiOutLongMsg share: the bytes of a header may hold
// several messages, or a system-exclusive message in pieces over several
// calls. The parser hands each message (and each system-exclusive byte) to
// the output's sink, which sends it and records its result in `result`; the
// first failure stops the feeding. Then `sendHeldPiece` sends what the sink
// holds of a system-exclusive message, so that each piece goes out when its
// call ends. On failure the parser forgets the message under way.

#include <cstdint>

#include "MidiParser.h"
#include "MidiServices.h"

template <typename SendHeldPiece>
MMRESULT SendParsed(MidiParser& parser, MidiParser::Sink& sink, const MIDIHDR& hdr, MMRESULT& result,
                    SendHeldPiece sendHeldPiece) {
  result = MMSYSERR_NOERROR;
  for (uint32_t i = 0; i < hdr.dwBufferLength && result == MMSYSERR_NOERROR; ++i) {
    parser.Feed(hdr.lpData[i], sink);
  }
  if (result == MMSYSERR_NOERROR) result = sendHeldPiece();
  if (result != MMSYSERR_NOERROR) parser.Reset();
  return result;
}
