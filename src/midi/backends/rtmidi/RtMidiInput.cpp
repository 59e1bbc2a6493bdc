#include "RtMidiInput.h"

#include <vector>

#include "backends/common/InputDelivery.h"

namespace {

class RtMidiInput final : public InputConnection {
 public:
  RtMidiInput(PortFamily family, InputDelivery& delivery)
      : delivery_(delivery), midi_(ApiOf(family), kOwnClientName) {
    errors_.Watch(midi_);
    midi_.ignoreTypes(false, false, false);
    midi_.setCallback(&RtMidiInput::OnMessage, &delivery_);
  }

  MMRESULT Open(PortFamily family, const std::string& name) {
    return OpenPortOfProduct(midi_, errors_, family, name, kInputPortName);
  }

  MMRESULT OpenAndConnect(const ConnectByName& connect) {
    return OpenPortConnectedByName(midi_, errors_, kInputPortName, connect);
  }

 private:
  static void OnMessage(double, std::vector<unsigned char>* message, void* delivery) noexcept {
    static_cast<InputDelivery*>(delivery)->Receive(message->data(), message->size());
  }

  RtMidiErrors errors_;
  InputDelivery& delivery_;
  RtMidiIn midi_;  // last: gone, with its thread, before the members it calls back into
};

}  // namespace

MMRESULT OpenRtMidiInput(PortFamily family, const std::string& name, InputDelivery& delivery,
                         std::unique_ptr<InputConnection>* connection) {
  return MakeAndOpen(
      [&] { return std::make_unique<RtMidiInput>(family, delivery); },
      [&](RtMidiInput& input) { return input.Open(family, name); }, connection);
}

MMRESULT OpenRtMidiInputAndConnect(PortFamily family, InputDelivery& delivery,
                                   const ConnectByName& connect,
                                   std::unique_ptr<InputConnection>* connection) {
  return MakeAndOpen(
      [&] { return std::make_unique<RtMidiInput>(family, delivery); },
      [&](RtMidiInput& input) { return input.OpenAndConnect(connect); }, connection);
}
