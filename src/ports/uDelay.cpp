#include "uDelay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>

bool AbortDelay = false;

namespace {

class TSystemDelayClock final : public TDelayClock {
 public:
  TSystemDelayClock() { FStart.start(); }

  uint32_t TickCount() override { return static_cast<uint32_t>(FStart.elapsed()); }

  void WaitForEvents(uint32_t maxMs, bool pump) override {
    if (!pump || !QCoreApplication::instance()) {
      QThread::msleep(maxMs);
      return;
    }
    // A precise single-shot timer bounds the wait; any other event ends it
    // earlier. The timer object is reused so that a wait allocates nothing.
    if (!FWakeUp) {
      FWakeUp = new QTimer(QCoreApplication::instance());
      FWakeUp->setSingleShot(true);
      FWakeUp->setTimerType(Qt::PreciseTimer);
    }
    FWakeUp->start(static_cast<int>(std::min<uint32_t>(maxMs, INT32_MAX)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    FWakeUp->stop();
  }

 private:
  QElapsedTimer FStart;
  QPointer<QTimer> FWakeUp;  // owned by the application object
};

TDelayClock* gClock = nullptr;

}  // namespace

TDelayClock& SystemDelayClock() {
  static TSystemDelayClock clock;
  return clock;
}

TDelayClock& CurrentDelayClock() { return gClock ? *gClock : SystemDelayClock(); }

TScopedDelayClock::TScopedDelayClock(TDelayClock& clock) : previous_(gClock) { gClock = &clock; }

TScopedDelayClock::~TScopedDelayClock() { gClock = previous_; }

void Delay_Ms(uint32_t ms, bool pump) {
  TDelayClock& clock = CurrentDelayClock();
  const uint32_t start = clock.TickCount();
  for (;;) {
    if (pump) QCoreApplication::processEvents();
    const uint32_t elapsed = clock.TickCount() - start;
    if (elapsed > ms) return;
    const uint64_t remaining = uint64_t{ms} - elapsed + 1;
    clock.WaitForEvents(static_cast<uint32_t>(std::min<uint64_t>(remaining, UINT32_MAX)), pump);
  }
}

void Delay_MsUntilAbort(uint32_t ms) { Delay_MsUntilAbortOr(ms, nullptr); }

void Delay_MsUntilAbortOr(uint32_t ms, const std::function<bool()>& stop) {
  TDelayClock& clock = CurrentDelayClock();
  const uint32_t start = clock.TickCount();
  for (;;) {
    const uint32_t elapsed = clock.TickCount() - start;
    QCoreApplication::processEvents();
    if (elapsed >= ms || AbortDelay || (stop && stop())) return;
    clock.WaitForEvents(ms - elapsed, true);
  }
}
