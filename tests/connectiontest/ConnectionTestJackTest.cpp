// The connection test through a JACK server, on routes made by test clients:
// one that echoes, one that drops every tenth message, one that swaps two,
// one that echoes a known time later, one that answers nothing, and a SysEx
// longer than the route carries.
//
// JACK drops whole periods when a client falls behind (an xrun, on a loaded
// machine): a run whose counts are not those of the route is run again when
// the server reported an xrun meanwhile, ten times at most; without one,
// the counts must be exact at once. Runs are kept short for that.
#include <QComboBox>
#include <QElapsedTimer>

#include <cmath>

#include "ConnectionTestFixture.h"
#include "JackTestClient.h"
#include "MidiIn.h"
#include "MidiOut.h"

namespace {

using Kind = LinkMessageKind;
using Message = JackTestClient::Message;


class ConnectionTestJack : public ConnectionTestFixture {
 protected:
  void SetUp() override { realWaits = true; }

  // The server's period (PipeWire's default is 1024 frames, jackd's here 256).
  double PeriodUs() const { return client->PeriodFrames() * 1e6 / client->SampleRate(); }

  // Opens the client, boots the program and chooses the client's ports as
  // the route; false (with a skip) without a server.
  bool Route(const char* clientName) {
    client = JackTestClient::Open(clientName);
    if (!client) return false;
    BootSystem();
    const QString name = QString::fromStdString(client->ClientName());
    EXPECT_TRUE(Choose(window->cbMIDIOut, name + ":in (JACK)"));
    EXPECT_TRUE(Choose(window->cbMIDIIn, name + ":out (JACK)"));
    return MidiInPort->State() == misOpen && MidiOutPort->State() == mosOpen;
  }

  // A graph that has just changed may drop a period: a round trip first.
  bool WarmUp() {
    QElapsedTimer watch;
    watch.start();
    while (MidiInCount == 0 && watch.elapsed() < 10000) {
      MidiOutPort->PutShort(0xFC, 0, 0);
      Delay_Ms(250, true);
    }
    return MidiInCount > 0;
  }

  // Runs until `exact` holds of the counts (see above); `before` readies the
  // route for each attempt.
  bool RunUntil(const LinkTestSettings& s, const std::function<bool(const LinkTestRun::Counts&)>& exact,
                const std::function<void()>& before = nullptr) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      if (before) before();
      const uint64_t xruns = client->Xruns();
      if (!RunToEnd(s, 120000)) return false;
      if (exact(Counts())) return true;
      xrunsSeen += client->Xruns() - xruns;
      if (client->Xruns() == xruns) return false;
      Delay_Ms(200, true);
    }
    return false;
  }

  static LinkTestSettings Notes(int count, int rate) {
    LinkTestSettings s;
    s.Kind = Kind::NoteOnOff;
    s.Count = count;
    s.RatePerSecond = rate;
    s.TimeoutMs = 1000;
    return s;
  }

  std::string Describe() {
    const LinkTestRun::Counts c = Counts();
    return "xruns " + std::to_string(xrunsSeen) + ", sent " + std::to_string(c.Sent) + ", received " + std::to_string(c.Received) + ", lost " +
           std::to_string(c.Lost) + ", out of order " + std::to_string(c.OutOfOrder) + ", corrupted " +
           std::to_string(c.Corrupted) + ", duplicates " + std::to_string(c.Duplicates) + "\n" + client->Graph();
  }

  std::unique_ptr<JackTestClient> client;
  uint64_t xrunsSeen = 0;
};

#define ROUTE_OR_SKIP(name)                                            \
  if (!Route(name)) {                                                  \
    if (!client) GTEST_SKIP() << JackTestClient::kNoServer;            \
    FAIL() << "the route's ports did not open";                        \
  }

TEST_F(ConnectionTestJack, AnEchoingClientAnswersEveryMessage) {
  ROUTE_OR_SKIP("OrvalisLinkEcho");
  client->Echo();
  ASSERT_TRUE(WarmUp());
  const bool exact = RunUntil(Notes(200, 400), [](const LinkTestRun::Counts& c) {
    return c.Received == 200 && c.Lost == 0;
  });
  EXPECT_TRUE(exact) << Describe();
  EXPECT_EQ(Counts().OutOfOrder + Counts().Corrupted + Counts().Duplicates, 0u);
  // JACK answers within a few periods.
  EXPECT_LT(Window()->Run()->Latencies().Summarize().MedianUs, 20 * PeriodUs());
}

TEST_F(ConnectionTestJack, AClientThatDropsEveryTenthMessageLosesATenth) {
  ROUTE_OR_SKIP("OrvalisLinkDrop");
  const auto dropTenth = [this] {
    client->EchoEach([seen = 0](const Message& m) mutable {
      if (m.size() == 1) return std::vector<Message>{m};  // the warm-up's Stop
      return ++seen % 10 == 0 ? std::vector<Message>{} : std::vector<Message>{m};
    });
  };
  dropTenth();
  ASSERT_TRUE(WarmUp());
  const bool exact = RunUntil(
      Notes(200, 400), [](const LinkTestRun::Counts& c) { return c.Received == 180 && c.Lost == 20; }, dropTenth);
  EXPECT_TRUE(exact) << Describe();
  for (size_t i = 0; i < Window()->Run()->Records().size(); ++i) {
    const bool dropped = (i + 1) % 10 == 0;
    ASSERT_EQ(Window()->Run()->Records()[i].Status,
              dropped ? LinkTestRun::MessageStatus::Lost : LinkTestRun::MessageStatus::Received)
        << "message " << i + 1;
  }
  EXPECT_EQ(Window()->MessageText(), "Terminé : des messages se perdent en route.");
}

TEST_F(ConnectionTestJack, AClientThatSwapsTwoMessagesMakesOneOutOfOrderEachTime) {
  ROUTE_OR_SKIP("OrvalisLinkSwap");
  // Messages 50 and 51 of every hundred change places.
  const auto swapTwo = [this] {
    client->EchoEach([seen = 0, held = Message()](const Message& m) mutable {
      if (m.size() == 1) return std::vector<Message>{m};  // the warm-up's Stop
      const int n = ++seen;
      if (n % 100 == 50) {
        held = m;
        return std::vector<Message>{};
      }
      if (n % 100 == 51) return std::vector<Message>{m, held};
      return std::vector<Message>{m};
    });
  };
  swapTwo();
  ASSERT_TRUE(WarmUp());
  const bool exact = RunUntil(
      Notes(200, 400), [](const LinkTestRun::Counts& c) { return c.Received == 200 && c.Lost == 0; }, swapTwo);
  EXPECT_TRUE(exact) << Describe();
  EXPECT_EQ(Counts().OutOfOrder, 2u);
  const auto& records = Window()->Run()->Records();
  EXPECT_EQ(records[49].Status, LinkTestRun::MessageStatus::OutOfOrder);
  EXPECT_EQ(records[50].Status, LinkTestRun::MessageStatus::Received);
  EXPECT_EQ(Window()->MessageText(), "Terminé : des messages arrivent dans le désordre.");
}

// The client echoes four periods after each message arrived, to the frame.
// The measured median moves by that much from the plain echo's, within one
// period (an answer may reach the program's input a cycle later).
TEST_F(ConnectionTestJack, AClientThatEchoesLaterShowsItsDelayWithinOnePeriod) {
  ROUTE_OR_SKIP("OrvalisLinkDelay");
  const double kPeriodUs = PeriodUs();
  client->Echo();
  ASSERT_TRUE(WarmUp());
  LinkTestSettings s = Notes(200, 100);
  // Only the latencies count here: a period lost to an xrun does not matter.
  const auto enough = [](const LinkTestRun::Counts& c) { return c.Received >= 150; };
  ASSERT_TRUE(RunUntil(s, enough)) << Describe();
  const double plainUs = static_cast<double>(Window()->Run()->Latencies().Summarize().MedianUs);

  const double delayUs = 4 * kPeriodUs;
  client->EchoAfter(std::chrono::microseconds(static_cast<int64_t>(std::lround(delayUs))));
  ASSERT_TRUE(RunUntil(s, enough)) << Describe();
  const double delayedUs = static_cast<double>(Window()->Run()->Latencies().Summarize().MedianUs);
  RecordProperty("plain_median_us", std::to_string(plainUs));
  RecordProperty("delayed_median_us", std::to_string(delayedUs));
  EXPECT_NEAR(delayedUs - plainUs, delayUs, kPeriodUs) << "plain " << plainUs << " µs, delayed " << delayedUs << " µs";
  EXPECT_GE(Window()->Run()->Latencies().Summarize().MinUs, static_cast<uint64_t>(delayUs - kPeriodUs));
}

TEST_F(ConnectionTestJack, AClientThatAnswersNothingLosesEveryMessageAndNothingHangs) {
  ROUTE_OR_SKIP("OrvalisLinkMute");
  client->Echo();
  ASSERT_TRUE(WarmUp());
  client->StopEcho();
  LinkTestSettings s = Notes(20, 200);
  s.TimeoutMs = 200;
  ASSERT_TRUE(RunToEnd(s, 30000));
  EXPECT_EQ(Counts().Lost, 20u);
  EXPECT_EQ(Window()->MessageText(), "Aucune réponse : rien n'est revenu sur l'entrée. Vérifiez que la sortie y est reliée.");
}

TEST_F(ConnectionTestJack, ASysexLongerThanTheRouteCarriesEndsWithAClearMessage) {
  ROUTE_OR_SKIP("OrvalisLinkLongSysex");
  client->Echo();
  ASSERT_TRUE(WarmUp());
  LinkTestSettings s;
  s.Kind = Kind::Sysex;
  s.SysexLength = 65000;
  s.Count = 3;
  s.OneInFlight = true;
  s.TimeoutMs = 500;
  ASSERT_TRUE(RunToEnd(s, 30000));
  const LinkTestRun& run = *Window()->Run();
  RecordProperty("outcome", Window()->MessageText().toStdString());
  if (run.CurrentState() == LinkTestRun::State::Failed) {
    EXPECT_TRUE(Window()->MessageText().startsWith("La sortie refuse le message 1 : ")) << Window()->MessageText().toStdString();
  } else {
    EXPECT_EQ(run.GetCounts().Received, 0u) << "JACK's buffers hold less than 65 000 bytes";
    EXPECT_TRUE(Window()->MessageText().startsWith("Aucune réponse : rien n'est revenu sur l'entrée."));
    EXPECT_TRUE(Window()->MessageText().contains("et qu'elle transmet des SysEx de 65")) << Window()->MessageText().toStdString();
  }
  // The program goes on: a short run through the same route still answers.
  ASSERT_TRUE(RunUntil(Notes(50, 200), [](const LinkTestRun::Counts& c) { return c.Received == 50; })) << Describe();
}

}  // namespace
