#include "MidiWindow.h"

#include <QCoreApplication>
#include <QEvent>

#include <stdexcept>
#include <utility>

namespace {

QEvent::Type NoticeEventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class NoticeEvent final : public QEvent {
 public:
  NoticeEvent(uint32_t msg, uintptr_t wParam, uintptr_t lParam, std::atomic<bool>* mark)
      : QEvent(NoticeEventType()), msg(msg), wParam(wParam), lParam(lParam), mark(mark) {}
  const uint32_t msg;
  const uintptr_t wParam;
  const uintptr_t lParam;
  std::atomic<bool>* const mark;  // PostOnce's mark of the number, or none
};

}  // namespace

TMidiWindow::TMidiWindow(TMidiWindowProc procedure, QObject* owner,
                         std::initializer_list<uint32_t> postedOnce)
    : QObject(owner), procedure_(std::move(procedure)) {
  if (postedOnce.size() > kMaxPostedOnce) throw std::invalid_argument("too many notices posted once");
  for (uint32_t msg : postedOnce) onceNumbers_[onceCount_++] = msg;
  NoticeEventType();  // registered here, not on the driver's thread
}

TMidiWindow::~TMidiWindow() {
  posted_.load(std::memory_order_acquire);  // notices still queued are deleted next
}

std::atomic<bool>* TMidiWindow::WaitingMark(uint32_t msg) {
  for (size_t i = 0; i < onceCount_; ++i) {
    if (onceNumbers_[i] == msg) return &waiting_[i];
  }
  return nullptr;
}

void TMidiWindow::Post(uint32_t msg, uintptr_t wParam, uintptr_t lParam) {
  auto* notice = new NoticeEvent(msg, wParam, lParam, nullptr);  // Qt's queue takes it over
  posted_.fetch_add(1, std::memory_order_release);
  QCoreApplication::postEvent(this, notice);
}

void TMidiWindow::PostOnce(uint32_t msg) {
  std::atomic<bool>* mark = WaitingMark(msg);
  if (mark == nullptr) {
    Post(msg, 0, 0);
    return;
  }
  // Paired with the exchange in event(): both are read-modify-writes of the
  // mark, so either this one comes first and the window's exchange acquires
  // what was published before it, or the window's comes first and this one
  // finds the mark clear and posts.
  if (mark->exchange(true, std::memory_order_acq_rel)) return;
  auto* notice = new NoticeEvent(msg, 0, 0, mark);
  posted_.fetch_add(1, std::memory_order_release);
  QCoreApplication::postEvent(this, notice);
}

intptr_t TMidiWindow::Send(uint32_t msg, uintptr_t wParam, uintptr_t lParam) {
  return procedure_ ? procedure_(msg, wParam, lParam) : 0;
}

void TMidiWindow::DeliverPending() { QCoreApplication::sendPostedEvents(this, NoticeEventType()); }

bool TMidiWindow::event(QEvent* e) {
  posted_.load(std::memory_order_acquire);
  if (e->type() != NoticeEventType()) return QObject::event(e);
  const auto* notice = static_cast<NoticeEvent*>(e);
  if (notice->mark != nullptr) notice->mark->exchange(false, std::memory_order_acq_rel);
  Send(notice->msg, notice->wParam, notice->lParam);
  return true;
}
