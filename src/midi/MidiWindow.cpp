#include "MidiWindow.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace {

QEvent::Type NoticeEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class NoticeEvent final : public QEvent {
 public:
  NoticeEvent(uint32_t msg, uintptr_t wParam, uintptr_t lParam)
      : QEvent(NoticeEventType()), msg(msg), wParam(wParam), lParam(lParam) {}
  const uint32_t msg;
  const uintptr_t wParam;
  const uintptr_t lParam;
};

}  // namespace

TMidiWindow::TMidiWindow(TMidiWindowProc procedure, QObject* owner,
                         std::initializer_list<uint32_t> postedOnce)
    : QObject(owner), procedure_(std::move(procedure)) {
  if (postedOnce.size() > kMaxPostedOnce) throw std::invalid_argument("too many notices posted once");
  for (uint32_t msg : postedOnce) onceNumbers_[onceCount_++] = msg;
  for (size_t i = 0; i < kMaxPostedOnce; ++i) {
    holds_[i].setSingleShot(true);
    holds_[i].setTimerType(Qt::PreciseTimer);
    connect(&holds_[i], &QTimer::timeout, this, [this, i] { RunOnce(static_cast<int>(i)); });
  }
  NoticeEventType();  // registered here, not on the driver's thread
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) throw std::runtime_error("no eventfd for a port's notices");
  wakeNotifier_ = std::make_unique<QSocketNotifier>(wake_, QSocketNotifier::Read);
  connect(wakeNotifier_.get(), &QSocketNotifier::activated, this, [this] { RunFired(); });
}

TMidiWindow::~TMidiWindow() {
  posted_.load(std::memory_order_acquire);  // notices still queued are deleted next
  wakeNotifier_.reset();
  close(wake_);
}

int TMidiWindow::OnceSlot(uint32_t msg) const {
  for (size_t i = 0; i < onceCount_; ++i) {
    if (onceNumbers_[i] == msg) return static_cast<int>(i);
  }
  return -1;
}

void TMidiWindow::SetHold(uint32_t msg, int ms) {
  const int slot = OnceSlot(msg);
  if (slot >= 0) holdMs_[slot] = ms;
}

void TMidiWindow::Post(uint32_t msg, uintptr_t wParam, uintptr_t lParam) {
  auto* notice = new NoticeEvent(msg, wParam, lParam);  // Qt's queue takes it over
  posted_.fetch_add(1, std::memory_order_release);
  QCoreApplication::postEvent(this, notice);
}

void TMidiWindow::PostOnce(uint32_t msg) {
  const int slot = OnceSlot(msg);
  if (slot < 0) {
    Post(msg, 0, 0);
    return;
  }
  // Paired with the exchange in RunOnce: both are read-modify-writes of the
  // mark, so either this one comes first and the window's exchange acquires
  // what was published before it, or the window's comes first and this one
  // finds the mark clear and posts.
  if (waiting_[slot].exchange(true, std::memory_order_acq_rel)) return;
  fired_[slot].store(true, std::memory_order_release);
  // The counter of an eventfd saturates long before it would block: a
  // non-blocking write never waits, and a failed one leaves the counter
  // non-zero, which wakes the window all the same.
  const uint64_t one = 1;
  while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void TMidiWindow::RunFired() {
  uint64_t count = 0;
  while (read(wake_, &count, sizeof count) < 0 && errno == EINTR) {
  }
  for (size_t slot = 0; slot < onceCount_; ++slot) {
    if (fired_[slot].exchange(false, std::memory_order_acq_rel)) RunOnce(static_cast<int>(slot));
  }
}

intptr_t TMidiWindow::Send(uint32_t msg, uintptr_t wParam, uintptr_t lParam) {
  return procedure_ ? procedure_(msg, wParam, lParam) : 0;
}

void TMidiWindow::DeliverPending() {
  RunFired();
  QCoreApplication::sendPostedEvents(this, NoticeEventType());
}

bool TMidiWindow::event(QEvent* e) {
  posted_.load(std::memory_order_acquire);
  if (e->type() != NoticeEventType()) return QObject::event(e);
  const auto* notice = static_cast<NoticeEvent*>(e);
  Send(notice->msg, notice->wParam, notice->lParam);
  return true;
}

void TMidiWindow::RunOnce(int slot) {
  waiting_[slot].exchange(false, std::memory_order_acq_rel);
  const intptr_t answer = Send(onceNumbers_[slot], 0, 0);
  if (answer == 0 || holdMs_[slot] <= 0) return;
  // Held: whoever posts finds the mark set, and the timer runs the procedure
  // again. A notice posted before the mark was set again runs as usual.
  waiting_[slot].store(true, std::memory_order_relaxed);
  if (!holds_[slot].isActive()) holds_[slot].start(holdMs_[slot]);
}
