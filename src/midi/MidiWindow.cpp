#include "MidiWindow.h"

#include <QCoreApplication>
#include <QEvent>

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

TMidiWindow::TMidiWindow(TMidiWindowProc procedure, QObject* owner)
    : QObject(owner), procedure_(std::move(procedure)) {
  NoticeEventType();  // registered here, not on the driver's thread
}

TMidiWindow::~TMidiWindow() {
  posted_.load(std::memory_order_acquire);  // notices still queued are deleted next
}

void TMidiWindow::Post(uint32_t msg, uintptr_t wParam, uintptr_t lParam) {
  auto* notice = new NoticeEvent(msg, wParam, lParam);  // Qt's queue takes it over
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
  Send(notice->msg, notice->wParam, notice->lParam);
  return true;
}
