#include "RtMidiInput.h"

#include <vector>

#include "backends/common/InputDelivery.h"

namespace {

class RtMidiInput final : public InputConnection {
 public:
  explicit RtMidiInput(InputDelivery& delivery)
      : delivery_(delivery), midi_(RtMidi::UNIX_JACK, kOwnClientName) {
    errors_.Watch(midi_);
    midi_.ignoreTypes(false, false, false);
    midi_.setCallback(&RtMidiInput::OnMessage, &delivery_);
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

MMRESULT OpenRtMidiInputAndConnect(InputDelivery& delivery,
                                   const ConnectByName& connect,
                                   std::unique_ptr<InputConnection>* connection) {
  return MakeAndOpen(
      [&] { return std::make_unique<RtMidiInput>(delivery); },
      [&](RtMidiInput& input) { return input.OpenAndConnect(connect); }, connection);
}
