#include "JackSource.h"

#include "backends/rtmidi/RtMidiInput.h"
#include "backends/rtmidi/RtMidiOutput.h"

// RtMidi looks a JACK port up by its number, twice, while other programs'
// ports come and go; so the program's port is connected by full names instead.

namespace {

// A port opened on the session's server, keeping that server marked in use
// (JackSession::InUse) until the RtMidi port itself is gone.
class JackInput final : public InputConnection {
 public:
  JackInput(JackSession::ServerUse use, std::unique_ptr<InputConnection> port)
      : use_(std::move(use)), port_(std::move(port)) {}

 private:
  JackSession::ServerUse use_;
  std::unique_ptr<InputConnection> port_;  // destroyed first
};

class JackOutput final : public OutputConnection {
 public:
  JackOutput(JackSession::ServerUse use, std::unique_ptr<OutputConnection> port)
      : use_(std::move(use)), port_(std::move(port)) {}

  MMRESULT SendShort(const uint8_t* bytes, size_t count) override {
    return port_->SendShort(bytes, count);
  }
  MMRESULT SendLong(MIDIHDR* hdr) override { return port_->SendLong(hdr); }
  void Flush() override { port_->Flush(); }

 private:
  JackSession::ServerUse use_;
  std::unique_ptr<OutputConnection> port_;  // destroyed first
};

}  // namespace

std::vector<std::string> JackSource::InputNames() {
  return ListedProductNames(PortFamily::kJack, session_.MidiPorts(PortDirection::kSends));
}

std::vector<std::string> JackSource::OutputNames() {
  return ListedProductNames(PortFamily::kJack, session_.MidiPorts(PortDirection::kReceives));
}

MMRESULT JackSource::OpenInput(const std::string& name, InputDelivery& delivery,
                               std::unique_ptr<InputConnection>* connection) {
  const std::optional<std::string> device = session_.PortOfProduct(name, PortDirection::kSends);
  if (!device) return MIDIERR_NODEVICE;
  JackSession::ServerUse use = session_.InUse();  // from before RtMidi's client exists
  std::unique_ptr<InputConnection> port;
  const MMRESULT result = OpenRtMidiInputAndConnect(
      PortFamily::kJack, delivery,
      [&](const std::string& temporaryName) {
        const auto own = session_.OwnPortNamed(temporaryName, PortDirection::kReceives);
        return own && session_.ConnectPorts(*device, *own);
      },
      &port);
  if (result == MMSYSERR_NOERROR) {
    *connection = std::make_unique<JackInput>(std::move(use), std::move(port));
  }
  return result;
}

MMRESULT JackSource::OpenOutput(const std::string& name, const LongMessageDone& done,
                                std::unique_ptr<OutputConnection>* connection) {
  const std::optional<std::string> device = session_.PortOfProduct(name, PortDirection::kReceives);
  if (!device) return MIDIERR_NODEVICE;
  JackSession::ServerUse use = session_.InUse();  // from before RtMidi's client exists
  const OutputLimits limits{session_.ServerAlive(), session_.MaxMessageBytes()};
  std::unique_ptr<OutputConnection> port;
  const MMRESULT result = OpenRtMidiOutputAndConnect(
      PortFamily::kJack, done, limits,
      [&](const std::string& temporaryName) {
        const auto own = session_.OwnPortNamed(temporaryName, PortDirection::kSends);
        return own && session_.ConnectPorts(*own, *device);
      },
      &port);
  if (result == MMSYSERR_NOERROR) {
    *connection = std::make_unique<JackOutput>(std::move(use), std::move(port));
  }
  return result;
}
