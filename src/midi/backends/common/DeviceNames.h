#pragma once
// Product names for the ports that RtMidi reports: readable, full length, the
// same from one run to the next (so that remembered names still match), told
// apart between APIs, and without the program's own ports.
//
//   ALSA "UM-ONE:UM-ONE MIDI 1 24:0"  ->  "UM-ONE:UM-ONE MIDI 1 (ALSA)"
//        (the client:port numbers change from boot to boot and are dropped)
//   JACK "system:midi_capture_1"      ->  "system:midi_capture_1 (JACK)"
//   a second port of the same name    ->  "UM-ONE:UM-ONE MIDI 1 #2 (ALSA)"
//
// The program's clients are named kOwnClientName; JACK makes further clients
// of one name unique as "Orvalis-01", "Orvalis-02", ... Their ports are left out.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

enum class PortFamily { kAlsa, kJack };

inline constexpr const char* kOwnClientName = "Orvalis";

// Whether the port belongs to one of the program's clients (by its name).
bool IsOwnPort(PortFamily family, const std::string& portName);

// Index for index: the product name, or nothing for one of the program's own ports.
std::vector<std::optional<std::string>> ProductNames(PortFamily family,
                                                     const std::vector<std::string>& portNames);

// The product names alone, in port order.
std::vector<std::string> ListedProductNames(PortFamily family,
                                            const std::vector<std::string>& portNames);

// Index, in portNames, of the port that bears the product name; none when no port does.
std::optional<size_t> IndexOfProduct(PortFamily family, const std::vector<std::string>& portNames,
                                     const std::string& productName);
