#pragma once
// The name under which the program shows itself to the systems' MIDI
// services: its ALSA sequencer client, its JACK clients (JACK makes further
// clients of one name unique as "Orvalis-01", "Orvalis-02", ...). Ports of
// clients of that name are never listed as devices. How the back ends name
// the devices they list: alsa/AlsaNames.h, jack/JackNames.h.

inline constexpr const char* kOwnClientName = "Orvalis";
