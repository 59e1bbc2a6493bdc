// Messages lost by the JACK server itself between two clients, without any
// of Orvalis's code: jack_midi_latency_test (jackd2's example client) sends
// through a minimal echo client of this file, which sends every message back
// a fixed number of frames after its arrival; runs of 100 messages, one in
// flight at a time. The echo counts what reaches its input and what it
// writes, so a loss is placed: on the way to the echo, or back from it.
//
//   bash scripts/with-jack.sh out/build/bench/route_loss [--runs N] [--delay-frames N]
//   PIPEWIRE_QUANTUM=256/48000 bash scripts/with-pipewire.sh out/build/bench/route_loss
//
// The echo's process callback neither allocates nor locks: a fixed ring of
// events, written by the process thread only.

#if !defined(ORVALIS_BENCH_WITH_JACK)
#include <cstdio>
int main() {
  std::puts("route_loss needs JACK; configure with ORVALIS_WITH_JACK=ON");
  return 0;
}
#else

#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

class MinimalEcho {
 public:
  explicit MinimalEcho(uint32_t delayFrames) : delay_(delayFrames) {}
  ~MinimalEcho() {
    if (client_ != nullptr) jack_client_close(client_);
  }
  MinimalEcho(const MinimalEcho&) = delete;
  MinimalEcho& operator=(const MinimalEcho&) = delete;

  bool Open() {
    client_ = jack_client_open("OrvalisRouteLossEcho", JackNoStartServer, nullptr);
    if (client_ == nullptr) return false;
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (in_ == nullptr || out_ == nullptr) return false;
    jack_set_process_callback(client_, &MinimalEcho::OnProcess, this);
    jack_set_xrun_callback(client_, &MinimalEcho::OnXrun, this);
    return jack_activate(client_) == 0;
  }
  std::string InputName() const { return jack_port_name(in_); }
  std::string OutputName() const { return jack_port_name(out_); }
  uint64_t Received() const { return received_.load(); }
  uint64_t Written() const { return written_.load(); }
  uint64_t Xruns() const { return xruns_.load(); }

 private:
  struct Event {
    uint32_t frame;
    uint32_t size;
    std::array<uint8_t, 16> bytes;
  };

  static int OnProcess(jack_nframes_t frames, void* self) {
    static_cast<MinimalEcho*>(self)->Process(frames);
    return 0;
  }
  static int OnXrun(void* self) {
    ++static_cast<MinimalEcho*>(self)->xruns_;
    return 0;
  }

  void Process(jack_nframes_t frames) {
    const uint32_t first = jack_last_frame_time(client_);
    void* in = jack_port_get_buffer(in_, frames);
    void* out = jack_port_get_buffer(out_, frames);
    jack_midi_clear_buffer(out);
    const uint32_t count = jack_midi_get_event_count(in);
    for (uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, in, i) != 0 || event.size > 16 || tail_ - head_ == ring_.size()) continue;
      Event& e = ring_[tail_++ % ring_.size()];
      e.frame = first + event.time + delay_;
      e.size = static_cast<uint32_t>(event.size);
      std::memcpy(e.bytes.data(), event.buffer, event.size);
      ++received_;
    }
    uint32_t earliest = 0;
    while (head_ != tail_) {
      const Event& e = ring_[head_ % ring_.size()];
      const auto due = static_cast<int32_t>(e.frame - first);
      if (due >= static_cast<int32_t>(frames)) break;
      const uint32_t offset = due < static_cast<int32_t>(earliest) ? earliest : static_cast<uint32_t>(due);
      if (jack_midi_event_write(out, offset, e.bytes.data(), e.size) != 0) break;
      earliest = offset;
      ++head_;
      ++written_;
    }
  }

  const uint32_t delay_;
  jack_client_t* client_ = nullptr;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
  std::array<Event, 4096> ring_{};
  uint64_t head_ = 0;  // process thread only
  uint64_t tail_ = 0;
  std::atomic<uint64_t> received_{0};
  std::atomic<uint64_t> written_{0};
  std::atomic<uint64_t> xruns_{0};
};

struct Counted {
  long sent = 0;
  long received = 0;
};

// One run of jack_midi_latency_test through the echo: what it sent and got back.
Counted RunReference(const MinimalEcho& echo, int messages) {
  const std::string command = "jack_midi_latency_test -s " + std::to_string(messages) + " -t 2 '" +
                              echo.InputName() + "' '" + echo.OutputName() + "' 2>&1";
  Counted counted;
  const std::unique_ptr<FILE, int (*)(FILE*)> output(popen(command.c_str(), "r"), pclose);
  if (!output) return counted;
  char line[512];
  while (std::fgets(line, sizeof line, output.get()) != nullptr) {
    std::sscanf(line, "Messages sent: %ld", &counted.sent);
    std::sscanf(line, "Messages received: %ld", &counted.received);
  }
  return counted;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 10;
  uint32_t delayFrames = 1000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--runs") runs = std::atoi(argv[i + 1]);
    if (std::string(argv[i]) == "--delay-frames") delayFrames = static_cast<uint32_t>(std::atol(argv[i + 1]));
  }
  MinimalEcho echo(delayFrames);
  if (!echo.Open()) {
    std::fprintf(stderr, "route_loss needs a running JACK server (scripts/with-jack.sh)\n");
    return 1;
  }
  Counted total;
  int failed = 0;
  for (int run = 0; run < runs; ++run) {
    const Counted counted = RunReference(echo, 100);
    total.sent += counted.sent;
    total.received += counted.received;
    if (counted.received < counted.sent) ++failed;
  }
  const auto sent = static_cast<long>(total.sent);
  const auto atEcho = static_cast<long>(echo.Received());
  const auto fromEcho = static_cast<long>(echo.Written());
  std::printf("runs: %d (%d with a loss)\n", runs, failed);
  std::printf("sent: %ld\n", sent);
  std::printf("lost_on_the_way_to_the_echo: %ld\n", sent - atEcho);
  std::printf("lost_on_the_way_back: %ld\n", fromEcho - total.received);
  std::printf("xruns: %llu\n", static_cast<unsigned long long>(echo.Xruns()));
  return 0;
}

#endif
