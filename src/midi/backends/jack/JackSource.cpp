#include "JackSource.h"

#include "JackNames.h"
#include "backends/rtmidi/RtMidiInput.h"
#include "backends/rtmidi/RtMidiOutput.h"

// RtMidi looks a JACK port up by its number, twice, while other programs'
// ports come and go; so the program's port is connected by full names instead.

namespace {

// The device's port and the client of the program's port connected to it:
// the device is gone once that connection is, or its port (also when its
// client was started again: the port of that name is another's), or the
// server. A connection
// just made shows in the graph only from the server's next cycle: until it
// has been seen, only the port or the server tells that the device went.
class JackLink {
 public:
  JackLink(JackSession& session, std::string devicePort, const std::string& ownPort)
      : session_(session),
        devicePort_(std::move(devicePort)),
        ownClient_(ownPort.substr(0, ownPort.find(':'))),
        deviceClient_(session.ClientIdOfPort(devicePort_)) {}

  bool Gone() {
    if (gone_) return true;
    if (!deviceClient_ || session_.ClientIdOfPort(devicePort_) != deviceClient_) {
      gone_ = true;
      return gone_;
    }
    switch (session_.Connection(devicePort_, ownClient_)) {
      case JackSession::Link::kConnected:
        seen_ = true;
        break;
      case JackSession::Link::kNotConnected:
        gone_ = seen_;
        break;
      case JackSession::Link::kNoPort:
        gone_ = true;
        break;
    }
    return gone_;
  }

 private:
  JackSession& session_;
  const std::string devicePort_;
  const std::string ownClient_;
  const std::optional<std::string> deviceClient_;  // the id of the device's client
  bool seen_ = false;  // the connection showed in the graph
  bool gone_ = false;
};

// A port opened on the session's server, keeping that server marked in use
// (JackSession::InUse) until the RtMidi port itself is gone.
class JackInput final : public InputConnection {
 public:
  JackInput(JackSession::ServerUse use, JackLink link, std::unique_ptr<InputConnection> port)
      : use_(std::move(use)), link_(std::move(link)), port_(std::move(port)) {}

  bool Gone() override { return link_.Gone(); }

 private:
  JackSession::ServerUse use_;
  JackLink link_;
  std::unique_ptr<InputConnection> port_;  // destroyed first
};

class JackOutput final : public OutputConnection {
 public:
  JackOutput(JackSession::ServerUse use, JackLink link, std::unique_ptr<OutputConnection> port)
      : use_(std::move(use)), link_(std::move(link)), port_(std::move(port)) {}

  MMRESULT SendShort(const uint8_t* bytes, size_t count) override {
    if (link_.Gone()) return MIDIERR_NODEVICE;
    return port_->SendShort(bytes, count);
  }
  MMRESULT SendLong(MIDIHDR* hdr) override {
    if (link_.Gone()) return MIDIERR_NODEVICE;
    return port_->SendLong(hdr);
  }
  void Flush() override { port_->Flush(); }
  bool Gone() override { return link_.Gone(); }

 private:
  JackSession::ServerUse use_;
  JackLink link_;
  std::unique_ptr<OutputConnection> port_;  // destroyed first
};

}  // namespace

JackSource::JackSource() {
  serverPoll_.setInterval(kServerPollMs);
  QObject::connect(&serverPoll_, &QTimer::timeout, [this] { LookForServer(); });
}

void JackSource::Watch(std::function<void()> changed) {
  changed_ = std::move(changed);
  session_.Watch([this] { OnServerChanged(); });
  if (!session_.Connect()) serverPoll_.start();
}

void JackSource::OnServerChanged() {
  if (!session_.Connected()) {
    session_.CloseDeadClient();
    serverPoll_.start();
  }
  if (changed_) changed_();
}

void JackSource::LookForServer() {
  if (!session_.Connect()) return;
  serverPoll_.stop();
  if (changed_) changed_();
}

std::vector<std::string> JackSource::InputNames() {
  return ListedJackProductNames(session_.MidiPorts(PortDirection::kSends));
}

std::vector<std::string> JackSource::OutputNames() {
  return ListedJackProductNames(session_.MidiPorts(PortDirection::kReceives));
}

MMRESULT JackSource::OpenInput(const std::string& name, InputDelivery& delivery,
                               std::unique_ptr<InputConnection>* connection) {
  const std::optional<std::string> device = session_.PortOfProduct(name, PortDirection::kSends);
  if (!device) return MIDIERR_NODEVICE;
  JackSession::ServerUse use = session_.InUse();  // from before RtMidi's client exists
  std::unique_ptr<InputConnection> port;
  std::string ownPort;
  const MMRESULT result = OpenRtMidiInputAndConnect(
      delivery,
      [&](const std::string& temporaryName) {
        const auto own = session_.OwnPortNamed(temporaryName, PortDirection::kReceives);
        if (own) ownPort = *own;
        return own && session_.ConnectPorts(*device, *own);
      },
      &port);
  if (result == MMSYSERR_NOERROR) {
    *connection = std::make_unique<JackInput>(std::move(use), JackLink(session_, *device, ownPort),
                                              std::move(port));
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
  std::string ownPort;
  const MMRESULT result = OpenRtMidiOutputAndConnect(
      done, limits,
      [&](const std::string& temporaryName) {
        const auto own = session_.OwnPortNamed(temporaryName, PortDirection::kSends);
        if (own) ownPort = *own;
        return own && session_.ConnectPorts(*own, *device);
      },
      &port);
  if (result == MMSYSERR_NOERROR) {
    *connection = std::make_unique<JackOutput>(std::move(use), JackLink(session_, *device, ownPort),
                                               std::move(port));
  }
  return result;
}
