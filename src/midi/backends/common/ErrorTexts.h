#pragma once
// Result codes the back ends add to those of MidiServices.h, and the English
// texts of every code they can return.

#include <optional>
#include <string>

#include "MidiServices.h"

// The device has no such function (volume, patch caching, driver messages).
constexpr MMRESULT kMidiNotSupported = MMSYSERR_NOTSUPPORTED;

// Nothing for a code the back ends do not know.
std::optional<std::string> MidiErrorText(MMRESULT code);
