#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGINT, SIGHUP};

// The pair of the one live instance: [0] written by the handler, [1] read on
// the UI thread.
int SignalFds[2] = {-1, -1};

void OnSignal(int) {
  const int savedErrno = errno;
  const char byte = 1;
  // A full socket already holds a pending wake-up; losing this byte is fine.
  [[maybe_unused]] const ssize_t written = ::write(SignalFds[0], &byte, 1);
  errno = savedErrno;
}

void CloseFds() {
  for (int& fd : SignalFds) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

}  // namespace

struct TTerminationSignals::Saved {
  std::array<struct sigaction, kSignals.size()> Actions{};
  std::array<bool, kSignals.size()> Installed{};
};

TTerminationSignals::TTerminationSignals(std::function<void()> onTerminate, QObject* parent)
    : QObject(parent), OnTerminate(std::move(onTerminate)), Previous(std::make_unique<Saved>()) {
  if (SignalFds[0] >= 0) return;  // another instance owns the signals
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, SignalFds) != 0) return;
  for (const int fd : SignalFds) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

  Notifier = new QSocketNotifier(SignalFds[1], QSocketNotifier::Read, this);
  Notifier->setEnabled(false);
  connect(Notifier, &QSocketNotifier::activated, this, &TTerminationSignals::Drain);

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  bool all = true;
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    Previous->Installed[i] = ::sigaction(kSignals[i], &action, &Previous->Actions[i]) == 0;
    all = all && Previous->Installed[i];
  }
  Active = all;
}

TTerminationSignals::~TTerminationSignals() {
  if (!Notifier) return;  // never owned the signals
  for (std::size_t i = 0; i < kSignals.size(); ++i)
    if (Previous->Installed[i]) ::sigaction(kSignals[i], &Previous->Actions[i], nullptr);
  Notifier->setEnabled(false);
  CloseFds();
}

void TTerminationSignals::Enable() {
  if (Notifier) Notifier->setEnabled(true);
}

void TTerminationSignals::Drain() {
  char bytes[64];
  while (::read(SignalFds[1], bytes, sizeof bytes) > 0) {
  }
  if (OnTerminate) OnTerminate();
}
