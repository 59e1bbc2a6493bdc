#include "JackSource.h"

#include "JackMidiPorts.h"
#include "JackNames.h"

JackSource::JackSource() {
  serverPoll_.setInterval(kServerPollMs);
  QObject::connect(&serverPoll_, &QTimer::timeout, [this] { LookForServer(); });
  clockFollow_.setInterval(kClockFollowMs);
  QObject::connect(&clockFollow_, &QTimer::timeout, [this] { session_.FollowServerClock(); });
  clockFollow_.start();
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
  return OpenJackInput(session_, *device, delivery, connection);
}

MMRESULT JackSource::OpenOutput(const std::string& name, const LongMessageDone& done,
                                std::unique_ptr<OutputConnection>* connection) {
  const std::optional<std::string> device = session_.PortOfProduct(name, PortDirection::kReceives);
  if (!device) return MIDIERR_NODEVICE;
  return OpenJackOutput(session_, *device, done, connection);
}
