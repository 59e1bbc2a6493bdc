#include "CrashBacktrace.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// Made before any crash: the handler only formats numbers and calls
// async-signal-safe functions.
char gdbPath[4096];
char altStack[64 * 1024];

void WriteText(const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t written = write(STDERR_FILENO, text, left);
    if (written <= 0) return;
    text += written;
    left -= static_cast<size_t>(written);
  }
}

void Decimal(long value, char* out) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 23);
  for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  out[n] = '\0';
}

// Writes the backtrace of every thread of this process, by gdb, on stderr.
void PrintBacktraces() {
  char pid[24];
  Decimal(getpid(), pid);
  const pid_t child = fork();
  if (child == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    char* const argv[] = {const_cast<char*>("gdb"), const_cast<char*>("-batch"), const_cast<char*>("-nx"),
                          const_cast<char*>("-q"), const_cast<char*>("-p"), pid,
                          const_cast<char*>("-ex"), const_cast<char*>("set pagination off"),
                          const_cast<char*>("-ex"), const_cast<char*>("thread apply all bt"), nullptr};
    execv(gdbPath, argv);
    _exit(127);
  }
  if (child > 0) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  WriteText("*** end of the backtrace\n");
}

void OnCrash(int signal) {
  char number[24];
  Decimal(signal, number);
  WriteText("\n*** crashed with signal ");
  WriteText(number);
  WriteText(": backtrace of every thread, by gdb\n");
  PrintBacktraces();
  // The handler was reset on entry: the signal now does what it would have.
  raise(signal);
}

// A test that runs too long (it hangs) gets the backtraces of its threads
// too, before the test runner's time limit kills it without a word. The
// watching thread lives as long as the process; what it reads are atomics,
// which stay valid until the very end.
std::atomic<int64_t> hangDeadlineMs{0};  // steady clock; 0: no test runs
std::atomic<long> hangLimitSeconds{0};

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void WatchForHangs() {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const int64_t deadline = hangDeadlineMs.load();
    if (deadline == 0 || SteadyMs() < deadline) continue;
    const std::string what = "\n*** a test still runs after " + std::to_string(hangLimitSeconds.load()) +
                             " s: backtrace of every thread, by gdb\n";
    WriteText(what.c_str());
    PrintBacktraces();
    std::signal(SIGABRT, SIG_DFL);  // printed already
    std::abort();
  }
}

class HangWatch : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override {
    hangDeadlineMs.store(SteadyMs() + 1000 * hangLimitSeconds.load());
  }
  void OnTestEnd(const ::testing::TestInfo&) override { hangDeadlineMs.store(0); }
};

bool FindGdb() {
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t end = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, end - start) + "/gdb";
    if (candidate.size() < sizeof gdbPath && access(candidate.c_str(), X_OK) == 0) {
      std::memcpy(gdbPath, candidate.c_str(), candidate.size() + 1);
      return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

void InstallCrashBacktrace() {
  if (std::getenv("ORVALIS_NO_CRASH_BACKTRACE") != nullptr || !FindGdb()) return;
  // Where the kernel lets only chosen processes attach (Yama), gdb may.
  prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
  // Just under the test runner's time limit for a test (300 s); the
  // sanitizers' trees too, whose own handlers leave crashes to them.
  long limit = 290;
  if (const char* given = std::getenv("ORVALIS_HANG_SECONDS")) limit = std::strtol(given, nullptr, 10);
  if (limit > 0) {
    hangLimitSeconds.store(limit);
    ::testing::UnitTest::GetInstance()->listeners().Append(new HangWatch);  // gtest owns its listeners
    std::thread(WatchForHangs).detach();
  }
  for (const int signal : kSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
  }
  // A stack overflow still gets its backtrace.
  stack_t stack{};
  stack.ss_sp = altStack;
  stack.ss_size = sizeof altStack;
  sigaltstack(&stack, nullptr);
  struct sigaction action {};
  action.sa_handler = OnCrash;
  action.sa_flags = SA_RESETHAND | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (const int signal : kSignals) sigaction(signal, &action, nullptr);
}
