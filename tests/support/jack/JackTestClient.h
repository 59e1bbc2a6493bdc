#pragma once
// A JACK client for tests, with one MIDI input port "in" and one MIDI output
// port "out", that records what arrives, can echo it (optionally transformed),
// can send messages and connect ports by name.
//
//   auto jack = JackTestClient::Open("OrvalisTestEcho");
//   if (!jack) GTEST_SKIP() << JackTestClient::kNoServer;
//   jack->Echo([](const JackTestClient::Message& m) { ... return changed; });
//   jack->EchoEach([](const JackTestClient::Message& m) { ... return messages; });  // drop, hold, swap
//   jack->EchoAfter(std::chrono::microseconds(21333));  // each echo that much later, to the frame
//   jack->Connect(jack->OutputPort(), "Orvalis-01:MIDI In");
//   jack->Send({0x90, 0x3C, 0x40});
//   ASSERT_TRUE(jack->WaitForReceived(1));
//   // or, robust against periods that JACK drops:
//   ASSERT_TRUE(JackTestClient::Retry([&] { jack->Send({0xF8}); }, [&] { return ...; }));
//
// It never starts a server. Test clients of different test programs (ctest
// runs several at once) take turns: Open waits until no other process holds
// the JACK test turn (JackTestTurn.h). The JACK server (jackd 1.9.21) was
// seen to stop running clients for good when several programs made and
// dropped clients at the same time. Choose a client name that does not start with
// "Orvalis-" followed by digits, which is how the program's own clients are
// told apart.
//
// Threads: JACK's process thread reads "in" and writes "out" once per period
// (messages sent or echoed go out in the next period, each as one event);
// every other member is called from the test's thread. The destructor closes
// the client, after which no process callback runs.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct _jack_client;
struct _jack_port;

class JackTestClient {
 public:
  using Message = std::vector<uint8_t>;
  // Turns an arriving message into the one to echo; an empty result echoes nothing.
  using Transform = std::function<Message(const Message&)>;
  // Turns an arriving message into the messages to echo now, in order (none,
  // or some held from before).
  using Replies = std::function<std::vector<Message>(const Message&)>;

  static constexpr const char* kNoServer = "no JACK server is running";

  // Null when no server runs (or the client cannot be made).
  static std::unique_ptr<JackTestClient> Open(const std::string& clientName);
  static bool ServerRunning();

  ~JackTestClient();
  JackTestClient(const JackTestClient&) = delete;
  JackTestClient& operator=(const JackTestClient&) = delete;

  std::string ClientName() const;  // as the server named it
  uint32_t SampleRate() const;     // the server's frames a second
  uint32_t PeriodFrames() const;   // the frames of one cycle
  std::string InputPort() const;   // full names, "client:in" and "client:out"
  std::string OutputPort() const;

  // True when the ports are connected afterwards (also if they already were).
  bool Connect(const std::string& source, const std::string& destination);
  // Full names of the server's MIDI ports that send (sources) or receive.
  std::vector<std::string> MidiPorts(bool sources) const;

  // The server's MIDI ports and their connections, one line each, and the
  // periods this client has run, for failure messages.
  std::string Graph() const;

  // From now on every message arriving on "in" is also sent on "out".
  void Echo(Transform transform = nullptr);
  void EchoEach(Replies replies);
  // From now on each echo leaves `delay` after its message arrived, rounded
  // to the nearest frame (0: in the period it arrived in, at its start).
  void EchoAfter(std::chrono::microseconds delay);
  void StopEcho();
  // Queued and sent on "out" in the next period.
  void Send(const Message& message);

  // JACK drops whole periods when a client falls behind the server (an xrun:
  // a loaded machine, a slow build such as ThreadSanitizer's, the first
  // periods of a new port). A test that must not depend on that repeats each
  // step until its effect shows: attempt() up to `attempts` times, each time
  // polling done() every 5 ms for up to `wait` (done() may pump an event
  // loop). True once done() held.
  static bool Retry(const std::function<void()>& attempt, const std::function<bool()>& done,
                    int attempts = 20,
                    std::chrono::milliseconds wait = std::chrono::milliseconds(500));

  // The server's xruns (periods it ran late, in which messages can be lost)
  // since the client opened.
  uint64_t Xruns() const { return xruns_.load(); }

  std::vector<Message> Received() const;
  void ClearReceived();
  // True once at least `count` messages were received.
  bool WaitForReceived(size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

 private:
  JackTestClient() = default;
  static int OnProcess(uint32_t frames, void* self);
  static int OnXrun(void* self);
  void Process(uint32_t frames);

  std::shared_ptr<const void> turn_;  // the server is this process's while the client exists (JackTestTurn.h)
  _jack_client* client_ = nullptr;
  _jack_port* in_ = nullptr;
  _jack_port* out_ = nullptr;

  mutable std::mutex mutex_;
  mutable std::condition_variable received_;
  std::vector<Message> receivedMessages_;
  std::vector<Message> toSend_;
  std::atomic<uint64_t> periods_{0};  // process callbacks run so far
  std::atomic<uint64_t> xruns_{0};
  bool echo_ = false;
  Replies replies_;
  uint64_t delayFrames_ = 0;
  struct Delayed {
    uint64_t frame;  // when it leaves, in the server's frames
    Message message;
  };
  std::vector<Delayed> delayed_;  // in the order they leave
};
