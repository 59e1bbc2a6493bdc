#pragma once
// The program's own JACK client, kOwnClientName: tells whether a JACK server
// runs, lists the server's MIDI ports, connects ports by name, and notices
// when the server goes away, so that the ports opened on it refuse to send
// instead of waiting for a process cycle that never comes. Once watched
// (Watch), the client is activated to hear of clients and ports that come and
// go and of connections made and broken; it has no process callback, so it
// still takes no part in the server's cycles. It never starts a server, and
// it silences libjack's messages (the program prints nothing).
//
// Threads: user-interface thread only, except libjack's notices (the server's
// end, registrations, connections), which it delivers on threads of its own:
// they only lower a flag and post to the user-interface thread (ChangeNotice).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backends/common/ChangeNotice.h"

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
  // True while the client of the last Connect reaches a running server.
  bool Connected() const { return client_ != nullptr && alive_->load(); }
  // Closes the client of a server that went away, at once: the next client
  // opened in this process, ours or any other, would free it under us.
  void CloseDeadClient();
  // From now on `changed` runs on the user-interface thread, from its event
  // loop, after the server's clients, ports or connections changed or the
  // server went away; the client of this and every later Connect is activated.
  void Watch(std::function<void()> changed);
  // Full names ("client:port") of the server's MIDI ports in its order.
  std::vector<std::string> MidiPorts(PortDirection direction);
  // The full name of the port that bears the product name now (JackNames.h).
  std::optional<std::string> PortOfProduct(const std::string& productName,
                                           PortDirection direction);
  // The full name of the program's port of that short name, if there is one.
  std::optional<std::string> OwnPortNamed(const std::string& shortName, PortDirection direction);
  // True when the ports are connected afterwards.
  bool ConnectPorts(const std::string& source, const std::string& destination);
  // The server's id of the client of the port that bears the name now: the
  // same client started again has another (a port's own id may come back
  // with the same name). None when there is no such port or no server is
  // reached.
  std::optional<std::string> ClientIdOfPort(const std::string& port);
  // Whether the port is connected to a port of that client, as the graph
  // shows it now; kNoPort also when no server is reached.
  enum class Link { kConnected, kNotConnected, kNoPort };
  Link Connection(const std::string& port, const std::string& client);
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
  // What libjack's threads reach: the flag of the server of one Connect and
  // the notice to post.
  struct Notices {
    std::atomic<bool>* alive;
    ChangeNotice* changed;
  };
  static void OnShutdown(void* notices);
  static void OnClientRegistration(const char*, int, void* notices);
  static void OnPortRegistration(uint32_t, int, void* notices);
  static void OnPortConnect(uint32_t, uint32_t, int, void* notices);
  static void OnPortRename(uint32_t, const char*, const char*, void* notices);
  void Close();
  void Activate();

  ChangeNotice changed_;
  bool watched_ = false;
  _jack_client* client_ = nullptr;
  std::unique_ptr<Notices> notices_;  // replaced only while no client is open
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<const int> use_ = std::make_shared<const int>(0);
};
