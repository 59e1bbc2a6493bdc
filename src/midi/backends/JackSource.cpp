#include "JackSource.h"

#include "RtMidiConnections.h"

std::vector<std::string> JackSource::InputNames() {
  return ListedProductNames(PortFamily::kJack, session_.MidiPorts(true));
}

std::vector<std::string> JackSource::OutputNames() {
  return ListedProductNames(PortFamily::kJack, session_.MidiPorts(false));
}

MMRESULT JackSource::OpenInput(const std::string& name, InputDelivery& delivery,
                               std::unique_ptr<InputConnection>* connection) {
  if (!session_.Connect()) return MIDIERR_NODEVICE;
  return OpenRtMidiInput(PortFamily::kJack, name, delivery, connection);
}

MMRESULT JackSource::OpenOutput(const std::string& name, const LongMessageDone& done,
                                std::unique_ptr<OutputConnection>* connection) {
  if (!session_.Connect()) return MIDIERR_NODEVICE;
  const OutputLimits limits{session_.ServerAlive(), session_.MaxMessageBytes()};
  return OpenRtMidiOutput(PortFamily::kJack, name, done, limits, connection);
}
