#include "JackServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 10000;

// Closes the file actions of posix_spawn on every path.
struct SpawnActions {
  SpawnActions() { posix_spawn_file_actions_init(&actions); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t actions;
};

}  // namespace

std::string JackServerProcess::UniqueName() {
  static int count = 0;
  return "orvalis-fault-" + std::to_string(getpid()) + "-" + std::to_string(++count);
}

std::unique_ptr<JackServerProcess> JackServerProcess::Start(const std::string& name) {
  std::unique_ptr<JackServerProcess> server(new JackServerProcess(name));
  if (!server->Launch()) return nullptr;
  return server;
}

JackServerProcess::~JackServerProcess() {
  if (Running()) Stop(SIGTERM);
  // A server that did not end by itself leaves its name registered with JACK
  // for good, and JACK holds only a few names: one more start under the same
  // name takes the entry back, and a graceful end then frees it.
  if (!endedCleanly_ && Launch()) Stop(SIGTERM);
}

bool JackServerProcess::Launch() {
  std::vector<std::string> arguments = {"jackd", "-n", name_, "--no-realtime", "-d", "dummy",
                                        "-r", "48000", "-p", "256"};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::string reservation = "JACK_NO_AUDIO_RESERVATION=1";
  std::vector<char*> envp;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::string_view(*entry).starts_with("JACK_NO_AUDIO_RESERVATION=")) continue;
    envp.push_back(*entry);
  }
  envp.push_back(reservation.data());
  envp.push_back(nullptr);

  SpawnActions spawn;
  posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&spawn.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&spawn.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "jackd", &spawn.actions, nullptr, argv.data(), envp.data()) != 0) {
    return false;
  }
  pid_ = pid;
  endedCleanly_ = false;

  if (WaitUntilReachable()) return true;
  Stop(SIGKILL);
  return false;
}

// jack_wait runs in a process of its own: a client opened here would take part
// in libjack's bookkeeping of this process's clients, which the test is about.
bool JackServerProcess::WaitUntilReachable() {
  std::vector<std::string> arguments = {"jack_wait", "-s", name_, "-w", "-t",
                                        std::to_string(kStartTimeoutMs / 1000)};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  SpawnActions spawn;
  posix_spawn_file_actions_addopen(&spawn.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&spawn.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t waiter = -1;
  if (posix_spawnp(&waiter, "jack_wait", &spawn.actions, nullptr, argv.data(), environ) != 0) {
    return false;
  }
  int status = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2 * kStartTimeoutMs);
  while (waitpid(waiter, &status, WNOHANG) == 0) {
    int serverStatus = 0;
    const bool serverGaveUp = waitpid(pid_, &serverStatus, WNOHANG) == pid_;  // name taken, no driver
    if (serverGaveUp) {
      pid_ = -1;
      endedCleanly_ = true;
    }
    if (serverGaveUp || std::chrono::steady_clock::now() > end) {
      kill(waiter, SIGKILL);
      waitpid(waiter, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && Running();
}

bool JackServerProcess::WaitForExit(int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    int status = 0;
    const pid_t result = waitpid(pid_, &status, WNOHANG);
    if (result == pid_ || (result < 0 && errno == ECHILD)) {
      pid_ = -1;
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < end);
  return false;
}

bool JackServerProcess::Stop(int signal) {
  if (!Running()) return true;
  kill(pid_, signal);
  const bool exited = WaitForExit(kStopTimeoutMs);
  endedCleanly_ = exited && signal == SIGTERM;
  if (exited) return true;
  kill(pid_, SIGKILL);
  return WaitForExit(kStopTimeoutMs);
}

bool JackServerProcess::Restart() {
  if (Running() && !Stop(SIGTERM)) return false;
  return Launch();
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
  if (const char* previous = std::getenv(name)) {
    hadValue_ = true;
    previous_ = previous;
  }
  setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
  if (hadValue_) {
    setenv(name_.c_str(), previous_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}
