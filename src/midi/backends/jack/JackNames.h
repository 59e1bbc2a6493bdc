#pragma once
// Product names for the MIDI ports of a JACK server: the full port name,
// which JACK keeps unique, readable and the same from one run to the next (so
// that remembered names still match), told apart from other back ends' by
// its suffix, and without the program's own ports:
//
//   "system:midi_capture_1"  ->  "system:midi_capture_1 (JACK)"
//
// The program's clients are kOwnClientName and "Orvalis-01", "Orvalis-02", ...;
// on PipeWire its ALSA ports also come back through PipeWire's bridge of the
// ALSA sequencer, as "Midi-Bridge:Orvalis:(playback_0) MIDI In" and the like.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Whether the port belongs to one of the program's clients (by its name).
bool IsOwnJackPort(const std::string& portName);

// Index for index: the product name, or nothing for one of the program's own ports.
std::vector<std::optional<std::string>> JackProductNames(const std::vector<std::string>& portNames);

// The product names alone, in port order.
std::vector<std::string> ListedJackProductNames(const std::vector<std::string>& portNames);

// Index, in portNames, of the port that bears the product name; none when no port does.
std::optional<size_t> IndexOfJackProduct(const std::vector<std::string>& portNames,
                                         const std::string& productName);
