#pragma once
// The product names of the devices of the installed MIDI services as they are
// now, for lists that follow the system while ports are open (a port's own
// device selection is refused while it is open). Threads: user-interface
// thread.

#include <string>
#include <vector>

// In device order; a device whose capabilities cannot be read is left out.
std::vector<std::string> MidiInDeviceNames();
std::vector<std::string> MidiOutDeviceNames();
