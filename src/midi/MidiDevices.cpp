#include "MidiDevices.h"

#include "MidiServices.h"

std::vector<std::string> MidiInDeviceNames() {
  std::vector<std::string> names;
  const uint32_t count = midiInGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    MIDIINCAPS caps;
    if (midiInGetDevCaps(id, &caps) == MMSYSERR_NOERROR) names.push_back(caps.szPname);
  }
  return names;
}

std::vector<std::string> MidiOutDeviceNames() {
  std::vector<std::string> names;
  const uint32_t count = midiOutGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    MIDIOUTCAPS caps;
    if (midiOutGetDevCaps(id, &caps) == MMSYSERR_NOERROR) names.push_back(caps.szPname);
  }
  return names;
}
