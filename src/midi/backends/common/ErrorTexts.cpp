#include "ErrorTexts.h"

std::optional<std::string> MidiErrorText(MMRESULT code) {
  switch (code) {
    case MMSYSERR_NOERROR: return "No error.";
    case MMSYSERR_ERROR: return "The MIDI device reported an unspecified error.";
    case MMSYSERR_BADDEVICEID: return "There is no MIDI device with this number.";
    case MMSYSERR_ALLOCATED: return "The MIDI device is already in use.";
    case MMSYSERR_INVALHANDLE: return "The handle does not belong to an open MIDI device.";
    case MMSYSERR_NODRIVER: return "No MIDI driver is installed.";
    case MMSYSERR_NOMEM: return "There is not enough memory for this MIDI operation.";
    case kMidiNotSupported: return "The MIDI device does not support this function.";
    case MMSYSERR_INVALPARAM: return "A parameter or buffer passed to the MIDI device is invalid.";
    case MIDIERR_UNPREPARED: return "The MIDI buffer has not been prepared.";
    case MIDIERR_STILLPLAYING: return "The MIDI buffer is still with the device.";
    case MIDIERR_NOTREADY: return "The MIDI device is busy; try again later.";
    case MIDIERR_NODEVICE: return "The MIDI device is no longer present.";
    case MIDIERR_BADOPENMODE: return "A MIDI message was sent without a status byte.";
    default: return std::nullopt;
  }
}
