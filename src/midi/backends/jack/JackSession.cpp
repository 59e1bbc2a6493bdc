#include "JackSession.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "JackNames.h"
#include "backends/common/DeviceNames.h"

namespace {

void Silent(const char*) {}

// RtMidi queues outgoing JACK messages in a ring of 16384 bytes, each behind an
// int with its length; a JACK MIDI buffer also holds its own header and the
// event's record.
constexpr size_t kRtMidiRingBytes = 16384 - 1 - sizeof(int);
constexpr size_t kMidiBufferOverhead = 64;

}  // namespace

JackSession::JackSession() {
  static std::once_flag silenced;
  std::call_once(silenced, [] {
    jack_set_error_function(Silent);
    jack_set_info_function(Silent);
  });
}

JackSession::~JackSession() { Close(); }

void JackSession::CloseDeadClient() {
  if (client_ != nullptr && !alive_->load()) Close();
}

void JackSession::Close() {
  if (client_ != nullptr) jack_client_close(client_);
  client_ = nullptr;
}

bool JackSession::Connect() {
  if (client_ != nullptr && alive_->load()) return true;
  if (use_.use_count() > 1) return false;  // ports of a server that went away
  Close();
  client_ = jack_client_open(kOwnClientName, JackNoStartServer, nullptr);
  if (client_ == nullptr) return false;
  alive_ = std::make_shared<std::atomic<bool>>(true);
  use_ = std::make_shared<const int>(0);
  notices_ = std::make_unique<Notices>(Notices{alive_.get(), &changed_});
  jack_on_shutdown(client_, &JackSession::OnShutdown, notices_.get());
  if (watched_) Activate();
  return true;
}

void JackSession::Watch(std::function<void()> changed) {
  changed_.Watch(std::move(changed));
  if (watched_) return;
  watched_ = true;
  if (Connected()) Activate();
}

// Callbacks can only be set before activation; a client that cannot be
// activated still lists and connects ports, only without notices.
void JackSession::Activate() {
  jack_set_client_registration_callback(client_, &JackSession::OnClientRegistration, notices_.get());
  jack_set_port_registration_callback(client_, &JackSession::OnPortRegistration, notices_.get());
  jack_set_port_connect_callback(client_, &JackSession::OnPortConnect, notices_.get());
  jack_set_port_rename_callback(client_, &JackSession::OnPortRename, notices_.get());
  jack_activate(client_);
}

void JackSession::OnShutdown(void* notices) {
  auto* n = static_cast<Notices*>(notices);
  n->alive->store(false);
  n->changed->Post();
}

void JackSession::OnClientRegistration(const char*, int, void* notices) {
  static_cast<Notices*>(notices)->changed->Post();
}

void JackSession::OnPortRegistration(uint32_t, int, void* notices) {
  static_cast<Notices*>(notices)->changed->Post();
}

void JackSession::OnPortConnect(uint32_t, uint32_t, int, void* notices) {
  static_cast<Notices*>(notices)->changed->Post();
}

void JackSession::OnPortRename(uint32_t, const char*, const char*, void* notices) {
  static_cast<Notices*>(notices)->changed->Post();
}

std::vector<std::string> JackSession::MidiPorts(PortDirection direction) {
  std::vector<std::string> names;
  if (!Connect()) return names;
  const char** ports =
      jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE,
                     direction == PortDirection::kSends ? JackPortIsOutput : JackPortIsInput);
  if (ports == nullptr) return names;
  for (const char** port = ports; *port != nullptr; ++port) names.emplace_back(*port);
  jack_free(ports);
  return names;
}

std::optional<std::string> JackSession::PortOfProduct(const std::string& productName,
                                                      PortDirection direction) {
  const std::vector<std::string> ports = MidiPorts(direction);
  const std::optional<size_t> index = IndexOfJackProduct(ports, productName);
  if (!index) return std::nullopt;
  return ports[*index];
}

std::optional<std::string> JackSession::OwnPortNamed(const std::string& shortName,
                                                     PortDirection direction) {
  for (const std::string& port : MidiPorts(direction)) {
    if (IsOwnJackPort(port) && port.ends_with(":" + shortName)) return port;
  }
  return std::nullopt;
}

bool JackSession::ConnectPorts(const std::string& source, const std::string& destination) {
  if (!Connect()) return false;
  const int result = jack_connect(client_, source.c_str(), destination.c_str());
  return result == 0 || result == EEXIST;
}

std::optional<std::string> JackSession::ClientIdOfPort(const std::string& port) {
  if (!Connected() || jack_port_by_name(client_, port.c_str()) == nullptr) return std::nullopt;
  char* id = jack_get_uuid_for_client_name(client_, port.substr(0, port.find(':')).c_str());
  if (id == nullptr) return std::nullopt;
  std::string text(id);
  jack_free(id);
  return text;
}

JackSession::Link JackSession::Connection(const std::string& port, const std::string& client) {
  if (!Connected()) return Link::kNoPort;
  jack_port_t* found = jack_port_by_name(client_, port.c_str());
  if (found == nullptr) return Link::kNoPort;
  const char** connections = jack_port_get_all_connections(client_, found);
  if (connections == nullptr) return Link::kNotConnected;
  bool connected = false;
  const std::string prefix = client + ":";
  for (const char** other = connections; *other != nullptr; ++other) {
    connected = connected || std::string(*other).starts_with(prefix);
  }
  jack_free(connections);
  return connected ? Link::kConnected : Link::kNotConnected;
}

size_t JackSession::MaxMessageBytes() {
  if (!Connect()) return 0;
  const size_t buffer = jack_port_type_get_buffer_size(client_, JACK_DEFAULT_MIDI_TYPE);
  if (buffer <= kMidiBufferOverhead) return kRtMidiRingBytes;  // size unknown
  return std::min(kRtMidiRingBytes, buffer - kMidiBufferOverhead);
}
