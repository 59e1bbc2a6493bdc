#include "SystemMidiServices.h"

#include "backends/alsa/AlsaSource.h"
#include "backends/common/BackendMidiServices.h"
#include "backends/jack/JackSource.h"
#include "backends/loopback/LoopbackSource.h"
#include "backends/rtmidi/RtMidiPorts.h"

std::unique_ptr<MidiServices> CreateSystemMidiServices() {
  std::vector<std::unique_ptr<DeviceSource>> sources;
  if (RtMidiHasApi(PortFamily::kAlsa)) sources.push_back(std::make_unique<AlsaSource>());
  if (RtMidiHasApi(PortFamily::kJack)) sources.push_back(std::make_unique<JackSource>());
  sources.push_back(std::make_unique<LoopbackSource>());
  return std::make_unique<BackendMidiServices>(std::move(sources));
}
