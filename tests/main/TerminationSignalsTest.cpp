#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <csignal>

#include "TerminationSignals.h"

namespace {

volatile std::sig_atomic_t ForeignHandlerCalls = 0;
void ForeignHandler(int) { ForeignHandlerCalls = ForeignHandlerCalls + 1; }

bool ProcessUntil(const std::function<bool()>& done) {
  QDeadlineTimer deadline(10000);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

class TerminationSignalsTest : public ::testing::TestWithParam<int> {};

TEST_P(TerminationSignalsTest, SignalRunsTheHandlerOnTheEventLoopAndRestoresTheOldOne) {
  const int signal = GetParam();
  auto* previous = std::signal(signal, ForeignHandler);
  ForeignHandlerCalls = 0;
  {
    int calls = 0;
    TTerminationSignals termination([&] { ++calls; });
    ASSERT_TRUE(termination.IsActive());
    std::raise(signal);
    std::raise(signal);
    EXPECT_EQ(calls, 0) << "never from inside the signal handler";
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0) << "kept until enabled";
    termination.Enable();
    EXPECT_TRUE(ProcessUntil([&] { return calls > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 1) << "signals pending together close once";
    std::raise(signal);
    EXPECT_TRUE(ProcessUntil([&] { return calls == 2; })) << "a later signal is seen again";
    EXPECT_EQ(ForeignHandlerCalls, 0);
  }
  std::raise(signal);
  EXPECT_EQ(ForeignHandlerCalls, 1) << "the previous disposition is back";
  std::signal(signal, previous);
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminationSignalsTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(TerminationSignals, OnlyOneInstanceOwnsTheSignals) {
  int firstCalls = 0;
  int secondCalls = 0;
  TTerminationSignals first([&] { ++firstCalls; });
  first.Enable();
  {
    TTerminationSignals second([&] { ++secondCalls; });
    EXPECT_FALSE(second.IsActive());
    second.Enable();
  }
  ASSERT_TRUE(first.IsActive()) << "the second one's end leaves the first in place";
  std::raise(SIGTERM);
  EXPECT_TRUE(ProcessUntil([&] { return firstCalls == 1; }));
  EXPECT_EQ(secondCalls, 0);
}

}  // namespace
