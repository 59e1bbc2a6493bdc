// The program's JACK client and the ports its cycles run: a port taken out of
// the cycles (Detach) is never run again once Detach has returned, however
// long the cycle under way takes, so that it may be destroyed at once.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "JackTestClient.h"
#include "JackTestTurn.h"
#include "backends/jack/JackSession.h"

namespace {

using namespace std::chrono_literals;

// Its first cycle lasts as long as a process thread left unscheduled on a
// loaded machine.
class SlowCyclePort final : public JackCyclePort {
 public:
  void Process(uint32_t, uint32_t) noexcept override {
    running.store(true);
    if (!slowed.exchange(true)) std::this_thread::sleep_for(3s);
    running.store(false);
  }
  void Orphan() noexcept override {}

  std::atomic<bool> slowed{false};
  std::atomic<bool> running{false};
};

TEST(JackSession, DetachWaitsForTheCycleUnderWayHoweverLongItTakes) {
  if (!JackTestClient::ServerRunning()) GTEST_SKIP() << JackTestClient::kNoServer;
  const auto turn = JackTestTurn();
  JackSession session;
  ASSERT_NE(session.RegisterPort("MIDI In", PortDirection::kReceives), nullptr) << "the client is activated";
  SlowCyclePort port;
  ASSERT_TRUE(session.Attach(port));
  const auto started = std::chrono::steady_clock::now();
  while (!port.running.load() && std::chrono::steady_clock::now() - started < 10s) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(port.running.load()) << "no cycle ran";
  session.Detach(port);
  EXPECT_FALSE(port.running.load()) << "Detach returned while a cycle still ran the port";
}

}  // namespace
