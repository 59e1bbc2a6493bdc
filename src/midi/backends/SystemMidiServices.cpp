#include "SystemMidiServices.h"

#include "backends/alsa/AlsaSource.h"
#include "backends/common/BackendMidiServices.h"
#if ORVALIS_WITH_JACK
#include "backends/jack/JackSource.h"
#endif
#include "backends/loopback/LoopbackSource.h"

std::unique_ptr<MidiServices> CreateSystemMidiServices() {
  std::vector<std::unique_ptr<DeviceSource>> sources;
  sources.push_back(std::make_unique<AlsaSource>());
#if ORVALIS_WITH_JACK
  sources.push_back(std::make_unique<JackSource>());
#endif
  sources.push_back(std::make_unique<LoopbackSource>());
  return std::make_unique<BackendMidiServices>(std::move(sources));
}
