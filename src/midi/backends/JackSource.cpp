#include "JackSource.h"

#include "RtMidiConnections.h"

// RtMidi looks a JACK port up by its number, twice, while other programs'
// ports come and go; so the program's port is connected by full names instead.

std::vector<std::string> JackSource::InputNames() {
  return ListedProductNames(PortFamily::kJack, session_.MidiPorts(true));
}

std::vector<std::string> JackSource::OutputNames() {
  return ListedProductNames(PortFamily::kJack, session_.MidiPorts(false));
}

MMRESULT JackSource::OpenInput(const std::string& name, InputDelivery& delivery,
                               std::unique_ptr<InputConnection>* connection) {
  const std::optional<std::string> device = session_.PortOfProduct(name, true);
  if (!device) return MIDIERR_NODEVICE;
  return OpenRtMidiInputAndConnect(
      PortFamily::kJack, delivery,
      [&](const std::string& temporaryName) {
        const auto own = session_.OwnPortNamed(temporaryName, false);
        return own && session_.ConnectPorts(*device, *own);
      },
      connection);
}

MMRESULT JackSource::OpenOutput(const std::string& name, const LongMessageDone& done,
                                std::unique_ptr<OutputConnection>* connection) {
  const std::optional<std::string> device = session_.PortOfProduct(name, false);
  if (!device) return MIDIERR_NODEVICE;
  const OutputLimits limits{session_.ServerAlive(), session_.MaxMessageBytes()};
  return OpenRtMidiOutputAndConnect(
      PortFamily::kJack, done, limits,
      [&](const std::string& temporaryName) {
        const auto own = session_.OwnPortNamed(temporaryName, true);
        return own && session_.ConnectPorts(*own, *device);
      },
      connection);
}
