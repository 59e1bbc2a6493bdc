#include "QtSendTimer.h"

#include <QTimer>

#include <utility>

QtSendTimer::QtSendTimer(QObject* parent) : QObject(parent), FTimer(new QTimer(this)) {
  FClock.start();
  FTimer->setSingleShot(true);
  FTimer->setTimerType(Qt::PreciseTimer);
  connect(FTimer, &QTimer::timeout, this, [this] {
    if (auto due = std::exchange(FDue, nullptr)) due();
  });
}

void QtSendTimer::CallAfter(int ms, std::function<void()> due) {
  FDue = std::move(due);
  FTimer->start(ms);
}

void QtSendTimer::Cancel() {
  FTimer->stop();
  FDue = nullptr;
}
