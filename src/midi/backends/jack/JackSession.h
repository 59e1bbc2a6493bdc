#pragma once
// The program's own JACK client, kOwnClientName: tells whether a JACK server
// runs, lists the server's MIDI ports, connects ports by name, and notices
// when the server goes away, so that the ports opened on it refuse to send
// instead of waiting for a process cycle that never comes. It carries every
// port the program opens (JackMidiPorts.h): its process callback reads the
// inputs and writes the outputs of each cycle. Watched (Watch), it also hears
// of clients and ports that come and go and of connections made and broken.
// It never starts a server, and it silences libjack's messages (the program
// prints nothing).
//
// Times: JACK counts frames; the session turns a frame into a time of the
// steady clock (TimeOfFrame) at the server's rate, from an anchor kept close
// to the server's own clock (JackFrameClock.h), so that the time of an event
// is that of its frame, not of when a thread ran.
//
// Threads: user-interface thread only, except the process callback (JACK's
// real-time thread: it only reads the attached ports' table and calls their
// Process, without locking, allocating or waiting) and libjack's notices (the
// server's end, registrations, connections), which only lower a flag and post
// to the user-interface thread (ChangeNotice).

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "JackCyclePort.h"
#include "JackFrameClock.h"
#include "backends/common/ChangeNotice.h"

struct _jack_client;
struct _jack_port;

// Which of the server's MIDI ports: those that send (JACK's output ports, the
// sources of MIDI) or those that receive (its input ports).
enum class PortDirection { kSends, kReceives };

class JackSession {
 public:
  // At most this many ports of the program at once.
  static constexpr size_t kMostPorts = 64;

  JackSession();
  ~JackSession();
  JackSession(const JackSession&) = delete;
  JackSession& operator=(const JackSession&) = delete;

  // True when a server runs; opens the client (again, after a shutdown) if needed
  // and no port of the server that went away is still open.
  bool Connect();
  // True while the client of the last Connect reaches a running server.
  bool Connected() const { return client_ != nullptr && alive_->load(); }
  // Closes the client of a server that went away, at once: the next client
  // opened in this process, ours or any other, would free it under us. Its
  // ports are orphaned first.
  void CloseDeadClient();
  // From now on `changed` runs on the user-interface thread, from its event
  // loop, after the server's clients, ports or connections changed or the
  // server went away.
  void Watch(std::function<void()> changed);
  // Full names ("client:port") of the server's MIDI ports in its order.
  std::vector<std::string> MidiPorts(PortDirection direction);
  // The full name of the port that bears the product name now (JackNames.h).
  std::optional<std::string> PortOfProduct(const std::string& productName,
                                           PortDirection direction);
  // True when the ports are connected afterwards.
  bool ConnectPorts(const std::string& source, const std::string& destination);
  // The server's id of the client of the port that bears the name now: the
  // same client started again has another (a port's own id may come back
  // with the same name). None when there is no such port or no server is
  // reached.
  std::optional<std::string> ClientIdOfPort(const std::string& port);
  // Whether the two ports are connected, as the graph shows it now; kNoPort
  // also when no server is reached.
  enum class Link { kConnected, kNotConnected, kNoPort };
  Link Connection(const std::string& port, const std::string& otherPort);
  // True until the server reached by the last Connect goes away; then false for good.
  std::shared_ptr<const std::atomic<bool>> ServerAlive() const { return alive_; }
  // Held by every port opened on the server of the last Connect, for as long as
  // the port lives: no new client is opened (Connect fails) while a port of a
  // dead server lives, so that such a port never meets the next server.
  using ServerUse = std::shared_ptr<const void>;
  ServerUse InUse() const { return use_; }
  // The longest message a port of this server can send in one piece.
  size_t MaxMessageBytes();

  // A MIDI port of the program's own, "MIDI In" or "MIDI Out" (" 2", " 3"...
  // when that name is taken); null when none can be made. The client is
  // activated first.
  _jack_port* RegisterPort(const char* shortName, PortDirection direction);
  void UnregisterPort(_jack_port* port);
  std::string PortName(const _jack_port* port) const;
  // From now on the port's Process runs in every cycle; false when the table
  // is full. Detach returns once no cycle runs it any more.
  bool Attach(JackCyclePort& port);
  void Detach(JackCyclePort& port);

  // The frame one period after the current one, in the cycle after the one
  // under way: a message queued now for that frame leaves exactly then. None
  // before the client's first cycle, when there is no frame to count from.
  std::optional<uint32_t> NextCycleFrame();
  // The steady clock's time of a frame of the server (JackFrameClock.h); the
  // time of now until the clock has been anchored to a cycle. Any thread.
  std::chrono::steady_clock::time_point TimeOfFrame(uint32_t frame) const {
    if (!clockAnchored_.load(std::memory_order_acquire)) return std::chrono::steady_clock::now();
    return frames_.TimeOf(frame);
  }
  // Keeps the frames' times close to the server's clock; call now and then.
  void FollowServerClock();

 private:
  // What libjack's threads reach: the flag of the server of one Connect, the
  // notice to post and the table of attached ports.
  struct Shared {
    _jack_client* client;
    std::atomic<bool>* alive;
    ChangeNotice* changed;
    JackSession* session;
  };
  static void OnShutdown(void* shared);
  static void OnClientRegistration(const char*, int, void* shared);
  static void OnPortRegistration(uint32_t, int, void* shared);
  static void OnPortConnect(uint32_t, uint32_t, int, void* shared);
  static void OnPortRename(uint32_t, const char*, const char*, void* shared);
  static int OnProcess(uint32_t frames, void* shared);
  void Process(_jack_client* client, uint32_t frames) noexcept;
  void Close();
  bool Activate();
  void MeasureClockOffset();

  ChangeNotice changed_;
  bool watched_ = false;
  bool active_ = false;
  _jack_client* client_ = nullptr;
  std::unique_ptr<Shared> shared_;  // replaced only while no client is open
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<const int> use_ = std::make_shared<const int>(0);
  // The steady clock's microseconds minus JACK's, for the client's server.
  int64_t clockOffsetUs_ = 0;
  JackFrameClock frames_;

  // The ports the process callback runs: set and cleared on the
  // user-interface thread, read by the process thread. inCycle_ is raised
  // while a cycle reads the table, so that Detach can wait for the cycle
  // that may still hold a port it removes.
  std::array<std::atomic<JackCyclePort*>, kMostPorts> ports_{};
  std::atomic<bool> inCycle_{false};
  std::atomic<uint32_t> lastCycleFrame_{0};  // the first frame of the last cycle run
  std::atomic<bool> cycleRan_{false};        // lastCycleFrame_ holds a frame
  std::atomic<bool> clockAnchored_{false};   // frames_ counts from a cycle's frame
};
