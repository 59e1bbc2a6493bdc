#include "AlsaTestSupport.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

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

void AlsaTest::SetUp() {
  if (access("/dev/snd/seq", R_OK | W_OK) != 0) {
    GTEST_SKIP() << "No ALSA sequencer here (/dev/snd/seq); scripts/with-alsa-vm.sh runs "
                    "these tests in a VM that has one.";
  }
  const std::vector<std::string> needed = {"Midi Through", "Virtual Raw MIDI 0-0",
                                           "Virtual Raw MIDI 0-1", "Virtual Raw MIDI 0-2",
                                           "Virtual Raw MIDI 0-3"};
  std::vector<std::string> found;
  std::string others;
  for (const SequencerClient& client : SequencerClients()) {
    if (client.name == "System" || client.name == "Orvalis") continue;
    if (std::find(needed.begin(), needed.end(), client.name) != needed.end()) {
      found.push_back(client.name);
    } else {
      others += (others.empty() ? "" : ", ") + client.name;
    }
  }
  if (found.size() != needed.size()) {
    GTEST_SKIP() << "The ALSA sequencer lacks \"Midi Through\" (snd-seq-dummy) or \"Virtual Raw "
                    "MIDI 0-0\" to \"0-3\" (snd-virmidi); scripts/with-alsa-vm.sh loads both.";
  }
  if (!others.empty()) {
    GTEST_SKIP() << "The ALSA sequencer has clients of other programs or hardware (" << others
                 << "); these tests expect the VM of scripts/with-alsa-vm.sh.";
  }
  installed.emplace(CreateSystemMidiServices());
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

bool RawMidiDevice::Write(const std::vector<uint8_t>& bytes) {
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
