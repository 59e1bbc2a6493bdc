#pragma once
// The time source of a paced send: a steady clock and one single-shot timer.
// QtSendTimer is the program's; tests give one that runs time at their pace.
// User-interface thread only.

#include <QtGlobal>

#include <functional>

class SendTimer {
 public:
  virtual ~SendTimer() = default;
  // Milliseconds of a steady clock.
  virtual qint64 NowMs() = 0;
  // Calls `due` once from the event loop after `ms` milliseconds, replacing a
  // call that is still to come.
  virtual void CallAfter(int ms, std::function<void()> due) = 0;
  // Drops the call that is still to come, if any.
  virtual void Cancel() = 0;
};
