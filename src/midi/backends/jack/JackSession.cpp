#include "JackSession.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>

#include "JackNames.h"
#include "backends/common/DeviceNames.h"

namespace {

void Silent(const char*) {}

// A JACK MIDI buffer also holds its own header and the event's record.
constexpr size_t kMidiBufferOverhead = 64;
// A port buffer whose size the server does not tell.
constexpr size_t kUnknownBufferMessageBytes = 16384;
// Clocks whose offset is below this are the same clock read at two moments.
constexpr int64_t kSameClockUs = 1000;

int64_t SteadyMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

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
  if (client_ == nullptr) return;
  for (auto& slot : ports_) {
    if (JackCyclePort* port = slot.exchange(nullptr)) port->Orphan();
  }
  jack_client_close(client_);  // ends the process thread
  // A thread ended in the middle of a cycle leaves no cycle under way.
  inCycle_.store(false);
  client_ = nullptr;
  active_ = false;
  cycleRan_.store(false);
  clockAnchored_.store(false);
}

bool JackSession::Connect() {
  if (client_ != nullptr && alive_->load()) return true;
  if (use_.use_count() > 1) return false;  // ports of a server that went away
  Close();
  client_ = jack_client_open(kOwnClientName, JackNoStartServer, nullptr);
  if (client_ == nullptr) return false;
  alive_ = std::make_shared<std::atomic<bool>>(true);
  use_ = std::make_shared<const int>(0);
  shared_ = std::make_unique<Shared>(Shared{client_, alive_.get(), &changed_, this});
  jack_on_shutdown(client_, &JackSession::OnShutdown, shared_.get());
  // Callbacks can only be set before activation.
  jack_set_process_callback(client_, &JackSession::OnProcess, shared_.get());
  jack_set_client_registration_callback(client_, &JackSession::OnClientRegistration, shared_.get());
  jack_set_port_registration_callback(client_, &JackSession::OnPortRegistration, shared_.get());
  jack_set_port_connect_callback(client_, &JackSession::OnPortConnect, shared_.get());
  jack_set_port_rename_callback(client_, &JackSession::OnPortRename, shared_.get());
  MeasureClockOffset();
  if (watched_) Activate();
  return true;
}

void JackSession::Watch(std::function<void()> changed) {
  changed_.Watch(std::move(changed));
  if (watched_) return;
  watched_ = true;
  if (Connected()) Activate();
}

// A client that cannot be activated still lists and connects ports, only
// without notices and without ports of its own.
bool JackSession::Activate() {
  if (!active_) active_ = jack_activate(client_) == 0;
  return active_;
}

// Both clocks are read back to back a few times; the closest pair counts.
void JackSession::MeasureClockOffset() {
  int64_t best = 0;
  int64_t bestSpan = INT64_MAX;
  for (int i = 0; i < 5; ++i) {
    const int64_t before = SteadyMicros();
    const auto jack = static_cast<int64_t>(jack_get_time());
    const int64_t after = SteadyMicros();
    if (after - before < bestSpan) {
      bestSpan = after - before;
      best = (before + after) / 2 - jack;
    }
  }
  clockOffsetUs_ = (best > -kSameClockUs && best < kSameClockUs) ? 0 : best;
}

void JackSession::OnShutdown(void* shared) {
  auto* s = static_cast<Shared*>(shared);
  s->alive->store(false);
  s->changed->Post();
}

void JackSession::OnClientRegistration(const char*, int, void* shared) {
  static_cast<Shared*>(shared)->changed->Post();
}

void JackSession::OnPortRegistration(uint32_t, int, void* shared) {
  static_cast<Shared*>(shared)->changed->Post();
}

void JackSession::OnPortConnect(uint32_t, uint32_t, int, void* shared) {
  static_cast<Shared*>(shared)->changed->Post();
}

void JackSession::OnPortRename(uint32_t, const char*, const char*, void* shared) {
  static_cast<Shared*>(shared)->changed->Post();
}

int JackSession::OnProcess(uint32_t frames, void* shared) {
  auto* s = static_cast<Shared*>(shared);
  s->session->Process(s->client, frames);
  return 0;
}

// Sequentially consistent on both sides (with Detach): either Detach sees the
// cycle under way, or the cycle sees the port gone.
void JackSession::Process(_jack_client* client, uint32_t frames) noexcept {
  inCycle_.store(true);
  const uint32_t first = jack_last_frame_time(client);
  lastCycleFrame_.store(first, std::memory_order_relaxed);
  cycleRan_.store(true, std::memory_order_release);
  for (auto& slot : ports_) {
    if (JackCyclePort* port = slot.load()) port->Process(first, frames);
  }
  inCycle_.store(false);
}

bool JackSession::Attach(JackCyclePort& port) {
  for (auto& slot : ports_) {
    JackCyclePort* empty = nullptr;
    if (slot.compare_exchange_strong(empty, &port)) return true;
  }
  return false;
}

void JackSession::Detach(JackCyclePort& port) {
  bool found = false;
  for (auto& slot : ports_) {
    JackCyclePort* expected = &port;
    found = slot.compare_exchange_strong(expected, nullptr) || found;
  }
  if (!found) return;
  // Our part of a cycle takes microseconds and never waits, but a loaded
  // machine may leave the process thread unscheduled in the middle of it for
  // as long as it likes: the port may go only once that cycle is over, however
  // late. The client is open (Close empties the table before it ends the
  // thread), so its thread does finish the cycle.
  while (inCycle_.load()) std::this_thread::sleep_for(std::chrono::microseconds(100));
}

_jack_port* JackSession::RegisterPort(const char* shortName, PortDirection direction) {
  if (!Connect() || !Activate()) return nullptr;
  // The program's input port receives, so it is JACK's input.
  const unsigned long flags = direction == PortDirection::kReceives ? JackPortIsInput : JackPortIsOutput;
  for (int n = 1; n <= static_cast<int>(kMostPorts); ++n) {
    const std::string name = n == 1 ? shortName : std::string(shortName) + " " + std::to_string(n);
    if (jack_port_by_name(client_, (std::string(jack_get_client_name(client_)) + ":" + name).c_str()) != nullptr) {
      continue;
    }
    if (jack_port_t* port = jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0)) {
      return port;
    }
  }
  return nullptr;
}

void JackSession::UnregisterPort(_jack_port* port) {
  if (client_ != nullptr && port != nullptr) jack_port_unregister(client_, port);
}

std::string JackSession::PortName(const _jack_port* port) const {
  const char* name = port != nullptr ? jack_port_name(port) : nullptr;
  return name != nullptr ? name : std::string();
}

std::optional<uint32_t> JackSession::NextCycleFrame() {
  if (client_ == nullptr || !cycleRan_.load(std::memory_order_acquire)) return std::nullopt;
  if (!clockAnchored_.load(std::memory_order_relaxed)) FollowServerClock();
  return NextCycleFrameOf(lastCycleFrame_.load(std::memory_order_relaxed), jack_frame_time(client_),
                          jack_get_buffer_size(client_), jack_get_sample_rate(client_));
}

// From the frame of a cycle that ran, never from jack_frame_time (see
// NextCycleFrameOf).
void JackSession::FollowServerClock() {
  if (!Connected() || !cycleRan_.load(std::memory_order_acquire)) return;
  const uint32_t frame = lastCycleFrame_.load(std::memory_order_relaxed);
  const auto jack = static_cast<int64_t>(jack_frames_to_time(client_, frame));
  if (!BelievableCycleTime(jack + clockOffsetUs_, SteadyMicros())) return;  // read again next time
  if (clockAnchored_.load(std::memory_order_relaxed)) {
    frames_.Follow(frame, jack + clockOffsetUs_, jack_get_sample_rate(client_));
  } else {
    frames_.Anchor(frame, jack + clockOffsetUs_, jack_get_sample_rate(client_));
    clockAnchored_.store(true, std::memory_order_release);
  }
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

JackSession::Link JackSession::Connection(const std::string& port, const std::string& otherPort) {
  if (!Connected()) return Link::kNoPort;
  jack_port_t* found = jack_port_by_name(client_, port.c_str());
  if (found == nullptr) return Link::kNoPort;
  const char** connections = jack_port_get_all_connections(client_, found);
  if (connections == nullptr) return Link::kNotConnected;
  bool connected = false;
  for (const char** other = connections; *other != nullptr; ++other) {
    connected = connected || otherPort == *other;
  }
  jack_free(connections);
  return connected ? Link::kConnected : Link::kNotConnected;
}

size_t JackSession::MaxMessageBytes() {
  if (!Connect()) return 0;
  const size_t buffer = jack_port_type_get_buffer_size(client_, JACK_DEFAULT_MIDI_TYPE);
  if (buffer <= kMidiBufferOverhead) return kUnknownBufferMessageBytes;
  return buffer - kMidiBufferOverhead;
}
