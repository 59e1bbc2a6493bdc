#include "AlsaTestSupport.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "backends/SystemMidiServices.h"

std::vector<SequencerClient> SequencerClients() {
  std::vector<SequencerClient> clients;
  snd_seq_t* opened = nullptr;
  if (snd_seq_open(&opened, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) return clients;
  const std::unique_ptr<snd_seq_t, decltype(&snd_seq_close)> seq(opened, &snd_seq_close);
  snd_seq_client_info_t* info = nullptr;
  snd_seq_client_info_alloca(&info);
  snd_seq_client_info_set_client(info, -1);
  while (snd_seq_query_next_client(seq.get(), info) >= 0) {
    const int number = snd_seq_client_info_get_client(info);
    if (number == snd_seq_client_id(seq.get())) continue;  // this query's own client
    clients.push_back({number, snd_seq_client_info_get_name(info),
                       snd_seq_client_info_get_num_ports(info)});
  }
  return clients;
}

int SequencerClientNumber(const std::string& name) {
  for (const SequencerClient& client : SequencerClients()) {
    if (client.name == name) return client.number;
  }
  return -1;
}

bool ConnectedToOrvalis(int client, bool sending) {
  snd_seq_t* opened = nullptr;
  if (snd_seq_open(&opened, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) return false;
  const std::unique_ptr<snd_seq_t, decltype(&snd_seq_close)> seq(opened, &snd_seq_close);
  const int orvalis = SequencerClientNumber("Orvalis");
  snd_seq_query_subscribe_t* query = nullptr;
  snd_seq_query_subscribe_alloca(&query);
  const snd_seq_addr_t root{static_cast<unsigned char>(client), 0};
  snd_seq_query_subscribe_set_root(query, &root);
  snd_seq_query_subscribe_set_type(query, sending ? SND_SEQ_QUERY_SUBS_READ : SND_SEQ_QUERY_SUBS_WRITE);
  snd_seq_query_subscribe_set_index(query, 0);
  while (snd_seq_query_port_subscribers(seq.get(), query) >= 0) {
    if (snd_seq_query_subscribe_get_addr(query)->client == orvalis) return true;
    snd_seq_query_subscribe_set_index(query, snd_seq_query_subscribe_get_index(query) + 1);
  }
  return false;
}

std::string WhyNotTheVmSequencer() {
  if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
    return "No ALSA sequencer here (/dev/snd/seq); scripts/with-alsa-vm.sh runs these tests in a VM "
           "that has one.";
  }
  const std::vector<std::string> needed = {"Midi Through", "Virtual Raw MIDI 0-0",
                                           "Virtual Raw MIDI 0-1", "Virtual Raw MIDI 0-2",
                                           "Virtual Raw MIDI 0-3"};
  std::vector<std::string> found;
  std::string others;
  for (const SequencerClient& client : SequencerClients()) {
    if (client.name == "System" || client.name.starts_with("Orvalis")) continue;
    if (std::find(needed.begin(), needed.end(), client.name) != needed.end()) {
      found.push_back(client.name);
    } else {
      others += (others.empty() ? "" : ", ") + client.name;
    }
  }
  if (found.size() != needed.size()) {
    return "The ALSA sequencer lacks \"Midi Through\" (snd-seq-dummy) or \"Virtual Raw MIDI 0-0\" to "
           "\"0-3\" (snd-virmidi); scripts/with-alsa-vm.sh loads both.";
  }
  if (!others.empty()) {
    return "The ALSA sequencer has clients of other programs or hardware (" + others +
           "); these tests expect the VM of scripts/with-alsa-vm.sh.";
  }
  return {};
}

void AlsaTest::SetUp() {
  if (const std::string why = WhyNotTheVmSequencer(); !why.empty()) GTEST_SKIP() << why;
  installed.emplace(CreateSystemMidiServices());
}

namespace {

bool VirtualRawMidiListed() {
  for (const SequencerClient& client : SequencerClients()) {
    if (client.name.starts_with("Virtual Raw MIDI")) return true;
  }
  return false;
}

bool WaitUntilVirtualRawMidi(bool listed) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (VirtualRawMidiListed() != listed) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace

namespace {

// The driver of the card of the four devices: unbinding it removes the card
// as unplugging a USB interface does (removing the module is refused while a
// port is connected to one of them).
const char* const kVirmidiDriver = "/sys/bus/platform/drivers/snd_virmidi/";
const char* const kVirmidiCard = "snd_virmidi.0";

bool WriteTo(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return written;
}

}  // namespace

bool UnplugVirtualRawMidi() {
  if (!VirtualRawMidiListed()) return true;
  return WriteTo(std::string(kVirmidiDriver) + "unbind", kVirmidiCard) && WaitUntilVirtualRawMidi(false);
}

bool PlugVirtualRawMidi() {
  if (VirtualRawMidiListed()) return true;
  return WriteTo(std::string(kVirmidiDriver) + "bind", kVirmidiCard) && WaitUntilVirtualRawMidi(true);
}

struct SequencerTestClient::Handles {
  snd_seq_t* seq = nullptr;
  snd_midi_event_t* coder = nullptr;
  int port = -1;
  ~Handles() {
    if (coder != nullptr) snd_midi_event_free(coder);
    if (seq != nullptr) snd_seq_close(seq);
  }
};

std::unique_ptr<SequencerTestClient> SequencerTestClient::Open(const std::string& clientName,
                                                               const std::string& portName) {
  auto handles = std::make_unique<Handles>();
  if (snd_seq_open(&handles->seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0 ||
      snd_seq_set_client_name(handles->seq, clientName.c_str()) < 0 ||
      snd_midi_event_new(256, &handles->coder) < 0) {
    ADD_FAILURE() << "cannot make the sequencer client " << clientName;
    return nullptr;
  }
  snd_midi_event_no_status(handles->coder, 1);
  handles->port = snd_seq_create_simple_port(
      handles->seq, portName.c_str(),
      SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_WRITE |
          SND_SEQ_PORT_CAP_SUBS_WRITE | SND_SEQ_PORT_CAP_DUPLEX,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE);
  if (handles->port < 0) {
    ADD_FAILURE() << "cannot make the port of " << clientName;
    return nullptr;
  }
  std::unique_ptr<SequencerTestClient> client(new SequencerTestClient);
  client->handles_ = std::move(handles);
  return client;
}

SequencerTestClient::~SequencerTestClient() = default;

int SequencerTestClient::Client() const { return snd_seq_client_id(handles_->seq); }

bool SequencerTestClient::Send(const std::vector<uint8_t>& message) {
  snd_seq_event_t event;
  snd_seq_ev_clear(&event);
  snd_midi_event_reset_encode(handles_->coder);
  if (snd_midi_event_encode(handles_->coder, message.data(), static_cast<long>(message.size()), &event) !=
          static_cast<long>(message.size()) ||
      event.type == SND_SEQ_EVENT_NONE) {
    ADD_FAILURE() << "no sequencer event for that message";
    return false;
  }
  snd_seq_ev_set_source(&event, static_cast<unsigned char>(handles_->port));
  snd_seq_ev_set_subs(&event);
  snd_seq_ev_set_direct(&event);
  return snd_seq_event_output_direct(handles_->seq, &event) >= 0;
}

std::vector<uint8_t> SequencerTestClient::Read(size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> bytes;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
    snd_seq_event_t* event = nullptr;
    if (snd_seq_event_input(handles_->seq, &event) < 0 || event == nullptr) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    unsigned char decoded[16];
    const long length = snd_midi_event_decode(handles_->coder, decoded, sizeof decoded, event);
    if (length > 0) bytes.insert(bytes.end(), decoded, decoded + length);
  }
  return bytes;
}

RawMidiDevice::RawMidiDevice(const std::string& path, int flags) : path_(path) {
  if (flags == O_RDONLY) flags |= O_NONBLOCK;
  fd_ = open(path.c_str(), flags | O_CLOEXEC);
  if (fd_ < 0) {
    ADD_FAILURE() << "cannot open " << path << ": " << std::strerror(errno);
    return;
  }
  // The device takes in bytes only once it was read or polled: start it now,
  // before anything is sent to it.
  if (flags & O_NONBLOCK) {
    pollfd started{fd_, POLLIN, 0};
    poll(&started, 1, 0);
  }
}

RawMidiDevice::~RawMidiDevice() {
  if (fd_ >= 0) close(fd_);
}

bool RawMidiDevice::WaitUntilSentOrStopped() {
  // A device that stopped stays as it is: no bytes go, the room stays the same.
  constexpr auto kStopped = std::chrono::milliseconds(200);
  std::optional<size_t> room = RawMidiOutputRoom(fd_);
  auto changed = std::chrono::steady_clock::now();
  while (room && *room < outputBuffer_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::optional<size_t> now = RawMidiOutputRoom(fd_);
    if (now != room) {
      room = now;
      changed = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - changed > kStopped) {
      return false;
    }
  }
  if (!room) ADD_FAILURE() << "cannot see what " << path_ << " has left to send: " << std::strerror(errno);
  return room.has_value();
}

bool RawMidiDevice::Write(const std::vector<uint8_t>& bytes) {
  // The kernel counts written bytes as there before it has copied them in
  // from the writer: a device still sending earlier bytes may then send stale
  // ones from its buffer's last round. So the device first sends what it has
  // and settles, and its buffer takes the whole write at once; it starts
  // sending only once all of it is copied in.
  const bool sent = WaitUntilSentOrStopped();
  if (sent && bytes.size() > outputBuffer_) {
    outputBuffer_ = ReserveRawMidiOutput(fd_, bytes.size());
    if (outputBuffer_ == 0) {
      ADD_FAILURE() << "cannot make room for " << bytes.size() << " bytes in " << path_ << ": "
                    << std::strerror(errno);
      return false;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = write(fd_, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      ADD_FAILURE() << "writing to " << path_ << " after " << done << " bytes: " << std::strerror(errno);
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

std::vector<uint8_t> RawMidiDevice::Read(size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> bytes;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (bytes.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(left.count())) <= 0) continue;
    uint8_t chunk[4096];
    const ssize_t got = read(fd_, chunk, std::min(sizeof chunk, count - bytes.size()));
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (got <= 0) {
      ADD_FAILURE() << "reading from " << path_ << ": " << std::strerror(errno);
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  return bytes;
}
