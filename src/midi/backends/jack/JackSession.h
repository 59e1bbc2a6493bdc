#pragma once
// The program's own JACK client, kOwnClientName: tells whether a JACK server
// runs, lists the server's MIDI ports, connects ports by name, and notices
// when the server goes away, so that the ports opened on it refuse to send
// instead of waiting for a process cycle that never comes. The client is never
// activated: it takes no part in the server's cycles. It never starts a server, and it silences
// libjack's messages (the program prints nothing).
//
// Threads: user-interface thread only, except the shutdown notice, which
// libjack delivers on its own thread and which only lowers a flag.

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct _jack_client;

// Which of the server's MIDI ports: those that send (JACK's output ports, the
// sources of MIDI) or those that receive (its input ports).
enum class PortDirection { kSends, kReceives };

class JackSession {
 public:
  JackSession();
  ~JackSession();
  JackSession(const JackSession&) = delete;
  JackSession& operator=(const JackSession&) = delete;

  // True when a server runs; opens the client (again, after a shutdown) if needed
  // and no port of the server that went away is still open.
  bool Connect();
  // Full names ("client:port") of the server's MIDI ports in its order.
  std::vector<std::string> MidiPorts(PortDirection direction);
  // The full name of the port that bears the product name now (DeviceNames.h).
  std::optional<std::string> PortOfProduct(const std::string& productName,
                                           PortDirection direction);
  // The full name of the program's port of that short name, if there is one.
  std::optional<std::string> OwnPortNamed(const std::string& shortName, PortDirection direction);
  // True when the ports are connected afterwards.
  bool ConnectPorts(const std::string& source, const std::string& destination);
  // True until the server reached by the last Connect goes away; then false for good.
  std::shared_ptr<const std::atomic<bool>> ServerAlive() const { return alive_; }
  // Held by every port opened on the server of the last Connect, for as long as
  // the port lives. Once a server has gone away, libjack frees every client of
  // the process at the next client open, the ports' clients included: so no
  // new client is opened (Connect fails) while a port of a dead server lives.
  using ServerUse = std::shared_ptr<const void>;
  ServerUse InUse() const { return use_; }
  // The longest message a port of this server can send in one piece.
  size_t MaxMessageBytes();

 private:
  static void OnShutdown(void* alive);
  void Close();

  _jack_client* client_ = nullptr;
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<const int> use_ = std::make_shared<const int>(0);
};
