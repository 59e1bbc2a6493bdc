#pragma once
// A JACK server of a test's own: jackd with the dummy driver and no real time,
// under a name that no other test uses, so that a test may kill it without
// disturbing the server that the rest of the suite shares.
//
//   auto jackd = JackServerProcess::Start(JackServerProcess::UniqueName());
//   if (!jackd) GTEST_SKIP() << "jackd cannot start here";
//   ScopedEnvironment use("JACK_DEFAULT_SERVER", jackd->Name());  // before any client
//   jackd->Stop(SIGKILL);   // the server dies; true once it has been reaped
//   jackd->Restart();       // the same name again
//
// The object owns the process: its destructor stops a server still running
// (SIGTERM, then SIGKILL after ten seconds) and reaps it, also when a test
// fails; a server that was killed is started once more and ended gracefully,
// so that JACK's registry of server names (a few entries for the whole
// machine) keeps no entry of it. Should the test process itself die, the
// server gets SIGTERM from the kernel. Threads: the test's thread only.

#include <sys/types.h>

#include <memory>
#include <string>

class JackServerProcess {
 public:
  // A name for a private server: "orvalis-fault-<pid>-<n>".
  static std::string UniqueName();
  // True when the JACK library loaded is PipeWire's.
  static bool LibraryIsPipeWires();

  // Starts jackd and waits until a client can reach it; null when jackd is
  // missing, when the process runs on PipeWire's JACK library (pw-jack),
  // whose clients reach no jackd, or when the server does not come up within
  // ten seconds.
  static std::unique_ptr<JackServerProcess> Start(const std::string& name);

  ~JackServerProcess();
  JackServerProcess(const JackServerProcess&) = delete;
  JackServerProcess& operator=(const JackServerProcess&) = delete;

  const std::string& Name() const { return name_; }
  pid_t Pid() const { return pid_; }
  bool Running() const { return pid_ > 0; }

  // Sends the signal and waits for the server to exit (SIGKILL after ten
  // seconds if the signal alone does not end it). True once it has been reaped.
  bool Stop(int signal);
  // Starts a server of the same name again once the previous one has stopped.
  bool Restart();

 private:
  explicit JackServerProcess(std::string name) : name_(std::move(name)) {}
  bool Launch();
  void RemoveSharedMemoryLeftovers() const;
  bool WaitUntilReachable();
  bool WaitForExit(int timeoutMs);

  std::string name_;
  pid_t pid_ = -1;
  bool endedCleanly_ = true;  // false from a start until an end by SIGTERM
};

// Sets an environment variable for its lifetime and restores the previous
// value (or its absence) afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  bool hadValue_ = false;
  std::string previous_;
};
