#pragma once
// The program's own JACK client, kOwnClientName: tells whether a JACK server
// runs, lists the server's MIDI ports, and notices when the server goes away,
// so that the ports opened on it refuse to send instead of waiting for a
// process cycle that never comes. It never starts a server, and it silences
// libjack's messages (the program prints nothing).
//
// Threads: user-interface thread only, except the shutdown notice, which
// libjack delivers on its own thread and which only lowers a flag.

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct _jack_client;

class JackSession {
 public:
  JackSession();
  ~JackSession();
  JackSession(const JackSession&) = delete;
  JackSession& operator=(const JackSession&) = delete;

  // True when a server runs; opens the client (again, after a shutdown) if needed.
  bool Connect();
  // Full names ("client:port") of the server's MIDI ports in its order: the
  // ports that send (sources) or those that receive.
  std::vector<std::string> MidiPorts(bool sources);
  // True until the server reached by the last Connect goes away; then false for good.
  std::shared_ptr<const std::atomic<bool>> ServerAlive() const { return alive_; }
  // The longest message a port of this server can send in one piece.
  size_t MaxMessageBytes();

 private:
  static void OnShutdown(void* alive);
  void Close();

  _jack_client* client_ = nullptr;
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(false);
};
