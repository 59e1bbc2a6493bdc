#include "JackServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jack/jack.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <cstdlib>
#include <filesystem>
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

// The full path of a program found on PATH; empty when there is none.
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string folder(rest.substr(0, colon));
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    const std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

}  // namespace

std::string JackServerProcess::UniqueName() {
  static int count = 0;
  return "orvalis-fault-" + std::to_string(getpid()) + "-" + std::to_string(++count);
}

bool JackServerProcess::LibraryIsPipeWires() {
  return std::strstr(jack_get_version_string(), "PipeWire") != nullptr;
}

std::unique_ptr<JackServerProcess> JackServerProcess::Start(const std::string& name) {
  // PipeWire's JACK library reaches PipeWire whatever the server's name.
  if (LibraryIsPipeWires()) return nullptr;
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
  RemoveSharedMemoryLeftovers();
}

// A server or client that was killed leaves its semaphores and segments in
// /dev/shm ("jack_sem.0_<server>_<client>", "jack_<server>_0_0"); many runs
// would fill it. The name is unique to this process, so they are ours.
void JackServerProcess::RemoveSharedMemoryLeftovers() const {
  std::error_code error;
  const std::string mark = "_" + name_ + "_";
  for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
    if (entry.path().filename().string().find(mark) != std::string::npos) {
      std::filesystem::remove(entry.path(), error);
    }
  }
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

  const std::string program = FindProgram("jackd");
  if (program.empty()) return false;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    // Only async-signal-safe calls until exec. The server ends with this test
    // process, even when the test crashes.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
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
