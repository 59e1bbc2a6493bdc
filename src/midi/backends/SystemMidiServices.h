#pragma once
// The MIDI services of this machine, installed once at program start:
//
//   InstallMidiServices(CreateSystemMidiServices());
//
// Inputs and outputs are, in this order: the ALSA sequencer's ports, the ports
// of a running JACK server (unless built without JACK, ORVALIS_WITH_JACK=OFF),
// then "Orvalis Loopback" (always there, last). Back ends that cannot start
// here contribute nothing. Names are described in alsa/AlsaNames.h and
// jack/JackNames.h; the program's own ports are never listed. The lists
// follow the devices as they come and go (MidiServices::SetDevicesChangedListener).

#include <memory>

#include "MidiServices.h"

std::unique_ptr<MidiServices> CreateSystemMidiServices();
