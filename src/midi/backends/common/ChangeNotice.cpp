#include "ChangeNotice.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

const QEvent::Type kChangeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

void ChangeNotice::Post() noexcept {
  if (waiting_.exchange(true)) return;
  try {
    QCoreApplication::postEvent(this, new QEvent(kChangeEvent));
  } catch (...) {
    waiting_.store(false);  // out of memory: the next notice tries again
  }
}

bool ChangeNotice::event(QEvent* e) {
  if (e->type() != kChangeEvent) return QObject::event(e);
  // Cleared first: a change posted while the watcher runs gets a call of its own.
  waiting_.store(false);
  const std::function<void()> watcher = watcher_;  // it may change the watcher
  if (watcher) watcher();
  return true;
}
