// The two waits: their length on the tick counter, the wrap of the counter,
// the end on AbortDelay and message processing. (Their CPU cost is measured in
// bench/monitor_flood.)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "uDelay.h"

namespace {

// A tick counter at the test's pace: each blocking step lets `step` (or the
// whole remaining) milliseconds pass.
class TFakeClock : public TDelayClock {
 public:
  explicit TFakeClock(uint32_t start, uint32_t step = 0) : Now(start), Step(step) {}
  uint32_t TickCount() override { return Now; }
  void WaitForEvents(uint32_t maxMs, bool pump) override {
    ++Waits;
    Pumped = Pumped || pump;
    if (OnWait) OnWait();
    Now += Step ? std::min(Step, maxMs) : maxMs;
  }
  uint32_t Now;
  uint32_t Step;
  int Waits = 0;
  bool Pumped = false;
  std::function<void()> OnWait;
};

class DelayTest : public ::testing::Test {
 protected:
  void SetUp() override { AbortDelay = false; }
  void TearDown() override { AbortDelay = false; }
};

// Counts the posted events handled.
class TEventCounter : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++Handled;
    return true;
  }
  int Handled = 0;
};

TEST_F(DelayTest, DelayMsReturnsOnlyAfterMoreThanItsTimeAcrossTheWrap) {
  struct Case {
    uint32_t start;
    uint32_t step;
    uint32_t ms;
  };
  for (const Case c : {Case{1000, 0, 200}, Case{1000, 7, 200}, Case{0xFFFFFF00, 0, 500},
                       Case{0xFFFFFFF0, 3, 100}, Case{5, 1, 0}}) {
    SCOPED_TRACE(testing::Message() << c.start << " step " << c.step << " ms " << c.ms);
    TFakeClock clock(c.start, c.step);
    TScopedDelayClock installed(clock);
    Delay_Ms(c.ms, true);
    const uint32_t elapsed = clock.Now - c.start;
    EXPECT_GT(elapsed, c.ms);
    EXPECT_LE(elapsed, c.ms + (c.step ? c.step : 1));
    EXPECT_TRUE(clock.Pumped);
  }
}

TEST_F(DelayTest, DelayMsWithoutPumpLeavesEventsAlone) {
  TFakeClock clock(0);
  TScopedDelayClock installed(clock);
  TEventCounter counter;
  QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
  Delay_Ms(50, false);
  EXPECT_EQ(counter.Handled, 0);
  EXPECT_FALSE(clock.Pumped);
  Delay_Ms(0, true);
  EXPECT_EQ(counter.Handled, 1);
}

TEST_F(DelayTest, DelayMsUntilAbortLastsItsTimeAcrossTheWrap) {
  for (uint32_t start : {0u, 0xFFFFFFFFu, 0xFFFFFE00u}) {
    TFakeClock clock(start, 10);
    TScopedDelayClock installed(clock);
    Delay_MsUntilAbort(1000);
    EXPECT_EQ(clock.Now - start, 1000u);
  }
}

TEST_F(DelayTest, DelayMsUntilAbortEndsAtTheFirstPollAfterAbortDelay) {
  TFakeClock clock(0xFFFFFFF0, 10);
  TScopedDelayClock installed(clock);
  clock.OnWait = [&] {
    if (clock.Waits == 3) QTimer::singleShot(0, [] { AbortDelay = true; });
  };
  Delay_MsUntilAbort(1000);
  EXPECT_TRUE(AbortDelay);
  EXPECT_EQ(clock.Waits, 3);
}

TEST_F(DelayTest, DelayMsUntilAbortProcessesEventsOnceEvenWhenItHasNothingToWait) {
  TFakeClock clock(0);
  TScopedDelayClock installed(clock);
  TEventCounter counter;
  QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
  AbortDelay = true;
  Delay_MsUntilAbort(1000);
  EXPECT_EQ(counter.Handled, 1);
  AbortDelay = false;
  QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
  Delay_MsUntilAbort(0);
  EXPECT_EQ(counter.Handled, 2);
  EXPECT_EQ(clock.Waits, 0);
}

TEST_F(DelayTest, RealWaitsLastTheirTimeAndEndEarlyOnAbort) {
  QElapsedTimer watch;
  watch.start();
  Delay_Ms(30, true);
  EXPECT_GT(watch.elapsed(), 30);

  watch.restart();
  QTimer::singleShot(20, [] { AbortDelay = true; });
  Delay_MsUntilAbort(5000);
  EXPECT_TRUE(AbortDelay);
  EXPECT_LT(watch.elapsed(), 2500);
}

}  // namespace
