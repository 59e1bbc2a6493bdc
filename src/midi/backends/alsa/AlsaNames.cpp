#include "AlsaNames.h"

#include <algorithm>
#include <set>

#include "backends/common/DeviceNames.h"

bool IsDevicePort(const SequencerPort& port, AlsaDirection direction,
                  const std::vector<int>& ownClients) {
  const unsigned needed = direction == AlsaDirection::kInputs
                              ? SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ
                              : SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
  const unsigned midi =
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_APPLICATION;
  if ((port.capability & needed) != needed) return false;
  if (port.capability & SND_SEQ_PORT_CAP_NO_EXPORT) return false;
  if ((port.type & midi) == 0) return false;
  if (port.clientName == kOwnClientName) return false;
  return std::find(ownClients.begin(), ownClients.end(), port.address.client) == ownClients.end();
}

std::vector<std::string> AlsaNames::Name(const std::vector<SequencerPort>& ports) {
  std::map<std::pair<int, int>, Given> kept;
  std::map<std::string, std::set<int>> taken;  // numbers in use, by base
  for (const SequencerPort& port : ports) {
    const std::pair<int, int> key{port.address.client, port.address.port};
    const auto given = given_.find(key);
    if (given == given_.end() || given->second.base != port.clientName + ":" + port.portName) continue;
    kept.insert(*given);
    taken[given->second.base].insert(given->second.number);
  }
  std::vector<std::string> names;
  for (const SequencerPort& port : ports) {
    const std::pair<int, int> key{port.address.client, port.address.port};
    auto given = kept.find(key);
    if (given == kept.end()) {
      const std::string base = port.clientName + ":" + port.portName;
      std::set<int>& numbers = taken[base];
      int number = 1;
      while (numbers.count(number) != 0) ++number;
      numbers.insert(number);
      given = kept.emplace(key, Given{base, number}).first;
    }
    const Given& name = given->second;
    names.push_back(name.base + (name.number > 1 ? " #" + std::to_string(name.number) : "") +
                    " (ALSA)");
  }
  given_ = std::move(kept);
  return names;
}
