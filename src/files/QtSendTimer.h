#pragma once
// SendTimer on a precise single-shot QTimer and the process's steady clock.
// User-interface thread only; the timer is a child of the object, which the
// owner destroys (no call comes after that).

#include <QElapsedTimer>
#include <QObject>

#include "SendTimer.h"

class QTimer;

class QtSendTimer final : public QObject, public SendTimer {
  Q_OBJECT

 public:
  explicit QtSendTimer(QObject* parent = nullptr);

  qint64 NowMs() override { return FClock.elapsed(); }
  void CallAfter(int ms, std::function<void()> due) override;
  void Cancel() override;

 private:
  QElapsedTimer FClock;
  QTimer* FTimer;
  std::function<void()> FDue;
};
