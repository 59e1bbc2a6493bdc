#include "JackTestClient.h"

#include "JackTestTurn.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <unistd.h>

#include <thread>

namespace {

void Silent(const char*) {}

void SilenceJack() {
  jack_set_error_function(Silent);
  jack_set_info_function(Silent);
}

}  // namespace

bool JackTestClient::ServerRunning() {
  SilenceJack();
  jack_client_t* probe = jack_client_open("OrvalisTestProbe", JackNoStartServer, nullptr);
  if (probe == nullptr) return false;
  jack_client_close(probe);
  return true;
}

std::unique_ptr<JackTestClient> JackTestClient::Open(const std::string& clientName) {
  SilenceJack();
  std::unique_ptr<JackTestClient> client(new JackTestClient);
  client->turn_ = JackTestTurn();
  client->client_ = jack_client_open(clientName.c_str(), JackNoStartServer, nullptr);
  if (client->client_ == nullptr) return nullptr;
  client->in_ = jack_port_register(client->client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  client->out_ =
      jack_port_register(client->client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  if (client->in_ == nullptr || client->out_ == nullptr) return nullptr;
  if (jack_set_process_callback(client->client_, &JackTestClient::OnProcess, client.get()) != 0 ||
      jack_set_xrun_callback(client->client_, &JackTestClient::OnXrun, client.get()) != 0 ||
      jack_activate(client->client_) != 0) {
    return nullptr;
  }
  return client;
}

JackTestClient::~JackTestClient() {
  if (client_ != nullptr) jack_client_close(client_);
}

std::string JackTestClient::ClientName() const { return jack_get_client_name(client_); }
std::string JackTestClient::InputPort() const { return jack_port_name(in_); }
std::string JackTestClient::OutputPort() const { return jack_port_name(out_); }

bool JackTestClient::Connect(const std::string& source, const std::string& destination) {
  const int result = jack_connect(client_, source.c_str(), destination.c_str());
  return result == 0 || result == EEXIST;
}

std::vector<std::string> JackTestClient::MidiPorts(bool sources) const {
  std::vector<std::string> names;
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                      sources ? JackPortIsOutput : JackPortIsInput);
  for (const char** port = ports; port != nullptr && *port != nullptr; ++port) {
    names.emplace_back(*port);
  }
  jack_free(ports);
  return names;
}

std::string JackTestClient::Graph() const {
  std::string graph = ClientName() + " ran " + std::to_string(periods_.load()) + " periods\n";
  for (bool sources : {true, false}) {
    for (const std::string& name : MidiPorts(sources)) {
      graph += name + (sources ? " ->" : " <-");
      const char** connections = jack_port_get_all_connections(client_, jack_port_by_name(client_, name.c_str()));
      for (const char** c = connections; c != nullptr && *c != nullptr; ++c) graph += std::string(" ") + *c;
      jack_free(connections);
      graph += "\n";
    }
  }
  return graph;
}

void JackTestClient::Echo(Transform transform) {
  EchoEach([transform = std::move(transform)](const Message& message) {
    Message echoed = transform ? transform(message) : message;
    return echoed.empty() ? std::vector<Message>{} : std::vector<Message>{std::move(echoed)};
  });
}

void JackTestClient::EchoEach(Replies replies) {
  std::lock_guard lock(mutex_);
  echo_ = true;
  replies_ = std::move(replies);
}

uint32_t JackTestClient::SampleRate() const { return jack_get_sample_rate(client_); }

uint32_t JackTestClient::PeriodFrames() const { return jack_get_buffer_size(client_); }

void JackTestClient::EchoAfter(std::chrono::microseconds delay) {
  const uint64_t rate = jack_get_sample_rate(client_);
  std::lock_guard lock(mutex_);
  delayFrames_ = (static_cast<uint64_t>(delay.count()) * rate + 500000) / 1000000;
}

void JackTestClient::StopEcho() {
  std::lock_guard lock(mutex_);
  echo_ = false;
}

void JackTestClient::Send(const Message& message) {
  std::lock_guard lock(mutex_);
  toSend_.push_back(message);
}

bool JackTestClient::Retry(const std::function<void()>& attempt,
                           const std::function<bool()>& done, int attempts,
                           std::chrono::milliseconds wait) {
  for (int i = 0; i < attempts; ++i) {
    attempt();
    const auto end = std::chrono::steady_clock::now() + wait;
    do {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
  }
  return done();
}

std::vector<JackTestClient::Message> JackTestClient::Received() const {
  std::lock_guard lock(mutex_);
  return receivedMessages_;
}

void JackTestClient::ClearReceived() {
  std::lock_guard lock(mutex_);
  receivedMessages_.clear();
}

bool JackTestClient::WaitForReceived(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return received_.wait_for(lock, timeout, [&] { return receivedMessages_.size() >= count; });
}

int JackTestClient::OnXrun(void* self) {
  static_cast<JackTestClient*>(self)->xruns_.fetch_add(1);
  return 0;
}

int JackTestClient::OnProcess(uint32_t frames, void* self) {
  static_cast<JackTestClient*>(self)->Process(frames);
  return 0;
}

// Test code: a short lock in the process thread is fine here.
void JackTestClient::Process(uint32_t frames) {
  periods_.fetch_add(1);
  void* inBuffer = jack_port_get_buffer(in_, frames);
  void* outBuffer = jack_port_get_buffer(out_, frames);
  jack_midi_clear_buffer(outBuffer);

  std::lock_guard lock(mutex_);
  const uint64_t periodStart = jack_last_frame_time(client_);
  const uint32_t count = jack_midi_get_event_count(inBuffer);
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, inBuffer, i) != 0) continue;
    Message message(event.buffer, event.buffer + event.size);
    if (echo_) {
      for (Message& echoed : replies_(message)) {
        if (delayFrames_ == 0) {
          toSend_.push_back(std::move(echoed));
        } else {
          delayed_.push_back({periodStart + event.time + delayFrames_, std::move(echoed)});
        }
      }
    }
    receivedMessages_.push_back(std::move(message));
  }
  if (count > 0) received_.notify_all();

  // Whatever does not fit into this period waits for the next one; a message
  // that does not fit into an empty period never will and is dropped.
  size_t sent = 0;
  for (; sent < toSend_.size(); ++sent) {
    const Message& message = toSend_[sent];
    if (jack_midi_event_write(outBuffer, 0, message.data(), message.size()) != 0 && sent > 0) {
      break;
    }
  }
  toSend_.erase(toSend_.begin(), toSend_.begin() + static_cast<std::ptrdiff_t>(sent));

  // Delayed echoes whose frame falls in this period, each at its own frame.
  size_t due = 0;
  for (; due < delayed_.size() && delayed_[due].frame < periodStart + frames; ++due) {
    const Delayed& d = delayed_[due];
    const auto offset = static_cast<uint32_t>(d.frame > periodStart ? d.frame - periodStart : 0);
    jack_midi_event_write(outBuffer, offset, d.message.data(), d.message.size());
  }
  delayed_.erase(delayed_.begin(), delayed_.begin() + static_cast<std::ptrdiff_t>(due));
}
