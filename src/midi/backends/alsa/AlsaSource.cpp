#include "AlsaSource.h"

#include <new>

#include "AlsaInput.h"
#include "AlsaOutput.h"

AlsaSource::AlsaSource() = default;
AlsaSource::~AlsaSource() = default;

bool AlsaSource::Available() {
  if (!observer_) observer_ = AlsaObserver::Open();
  return observer_ != nullptr;
}

std::vector<AlsaSource::Device> AlsaSource::Devices(AlsaDirection direction) {
  std::vector<Device> devices;
  if (!Available()) return devices;
  std::vector<int> own = {observer_->ClientId()};
  if (client_) own.push_back(client_->Id());
  std::vector<SequencerPort> ports = observer_->Ports();
  std::erase_if(ports, [&](const SequencerPort& port) { return !IsDevicePort(port, direction, own); });
  AlsaNames& names = direction == AlsaDirection::kInputs ? inputNames_ : outputNames_;
  const std::vector<std::string> named = names.Name(ports);
  for (size_t i = 0; i < ports.size(); ++i) devices.push_back({named[i], ports[i].address});
  return devices;
}

std::vector<std::string> AlsaSource::Names(AlsaDirection direction) {
  std::vector<std::string> names;
  try {
    for (Device& device : Devices(direction)) names.push_back(std::move(device.name));
  } catch (...) {
    names.clear();  // out of memory: no devices rather than an exception in the services
  }
  return names;
}

std::vector<std::string> AlsaSource::InputNames() { return Names(AlsaDirection::kInputs); }
std::vector<std::string> AlsaSource::OutputNames() { return Names(AlsaDirection::kOutputs); }

std::optional<SequencerAddress> AlsaSource::Find(const std::string& name, AlsaDirection direction) {
  for (const Device& device : Devices(direction)) {
    if (device.name != name) continue;
    if (!client_) client_ = AlsaClient::Open();
    if (!client_) return std::nullopt;
    return device.address;
  }
  return std::nullopt;
}

MMRESULT AlsaSource::OpenInput(const std::string& name, InputDelivery& delivery,
                               std::unique_ptr<InputConnection>* connection) {
  try {
    const std::optional<SequencerAddress> device = Find(name, AlsaDirection::kInputs);
    if (!device) return MIDIERR_NODEVICE;
    return OpenAlsaInput(*client_, *device, delivery, connection);
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  } catch (...) {
    return MMSYSERR_ERROR;  // no thread could be started
  }
}

MMRESULT AlsaSource::OpenOutput(const std::string& name, const LongMessageDone& done,
                                std::unique_ptr<OutputConnection>* connection) {
  try {
    const std::optional<SequencerAddress> device = Find(name, AlsaDirection::kOutputs);
    if (!device) return MIDIERR_NODEVICE;
    return OpenAlsaOutput(*client_, *device, done, connection);
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  } catch (...) {
    return MMSYSERR_ERROR;
  }
}

void AlsaSource::Watch(std::function<void()> changed) {
  if (Available()) observer_->Watch(std::move(changed));
}
