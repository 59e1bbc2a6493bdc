// A connection test run on a clock that the test sets and an output that
// records what it is given: what is sent when, how each answer is matched,
// and how each message ends.
#include <gtest/gtest.h>

#include <stdexcept>
#include <set>
#include <vector>

#include "LinkTestRun.h"
#include "MidiType.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Status = LinkTestRun::MessageStatus;

class LinkTestRunTest : public ::testing::Test {
 protected:
  void Make(LinkTestSettings s) {
    run = std::make_unique<LinkTestRun>(
        s,
        [this](std::span<const uint8_t> bytes) {
          if (refuseAt && sent.size() + 1 == refuseAt) throw std::runtime_error("boom");
          sent.emplace_back(bytes.begin(), bytes.end());
          sentAt.push_back(now);
        },
        [this] { return now; });
  }
  static LinkTestSettings Notes(int count) {
    LinkTestSettings s;
    s.WarmUp = 0;
    s.RandomMoments = false;
    s.Count = count;
    s.RatePerSecond = 1000;
    s.TimeoutMs = 100;
    return s;
  }
  // Answers message `index` with its own bytes, received `latencyUs` after it left.
  void Echo(size_t index, uint64_t latencyUs) { run->Answer(sent.at(index), sentAt.at(index) + latencyUs); }
  // Lets the time pass in steps of 1 ms, calling Tick as asked.
  void RunFor(uint64_t us) {
    const uint64_t end = now + us;
    while (now < end) {
      now += 1000;
      run->Tick();
    }
  }
  std::vector<Status> Statuses() const {
    std::vector<Status> s;
    for (const auto& r : run->Records()) s.push_back(r.Status);
    return s;
  }

  uint64_t now = 5000000;
  size_t refuseAt = 0;  // 1-based number of the send that raises; 0: none
  std::vector<Bytes> sent;
  std::vector<uint64_t> sentAt;
  std::unique_ptr<LinkTestRun> run;
};

TEST_F(LinkTestRunTest, SendsAtTheRateAndAsksToBeCalledWhenTheNextIsDue) {
  LinkTestSettings s = Notes(3);
  s.RatePerSecond = 100;
  Make(s);
  run->Start();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(run->Tick(), 10000u);
  now += 9999;
  run->Tick();
  EXPECT_EQ(sent.size(), 1u);
  now += 1;
  EXPECT_EQ(run->Tick(), 10000u);
  EXPECT_EQ(sent.size(), 2u);
  EXPECT_EQ(sentAt, (std::vector<uint64_t>{5000000, 5010000}));
}

TEST_F(LinkTestRunTest, EveryAnswerBackMeansEveryMessageReceivedWithItsOwnLatency) {
  Make(Notes(4));
  run->Start();
  RunFor(4000);
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0], (Bytes{0x90, 0x00, 0x0C}));
  EXPECT_EQ(sent[1], (Bytes{0x80, 0x00, 0x0C}));
  const uint64_t latencies[] = {1000, 1230, 1230, 2010};
  for (size_t i = 0; i < 4; ++i) Echo(i, latencies[i]);
  run->Tick();
  EXPECT_EQ(run->CurrentState(), LinkTestRun::State::Done);
  const LinkTestRun::Counts c = run->GetCounts();
  EXPECT_EQ(c.Sent, 4u);
  EXPECT_EQ(c.Received, 4u);
  EXPECT_EQ(c.Lost + c.OutOfOrder + c.Corrupted + c.Duplicates, 0u);
  EXPECT_EQ(c.Finished, 4u);
  const LatencyStats::Summary st = run->Latencies().Summarize();
  EXPECT_EQ(st.MinUs, 1000u);
  EXPECT_EQ(st.MedianUs, 1230u);
  EXPECT_EQ(st.MaxUs, 2010u);
  EXPECT_EQ(run->Records()[3].ReceivedUs, sentAt[3] + 2010);
  EXPECT_EQ(sent.size(), 4u) << "an even count leaves no Note On without its Note Off";
}

TEST_F(LinkTestRunTest, UnansweredMessagesAreLostAfterTheTimeOutAndALateAnswerChangesNothing) {
  Make(Notes(3));
  run->Start();
  RunFor(2000);
  Echo(1, 500);
  RunFor(97000);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Pending, Status::Received, Status::Pending}));
  RunFor(1000);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Lost, Status::Received, Status::Pending}));
  Echo(0, 101000);
  RunFor(2000);
  EXPECT_EQ(run->CurrentState(), LinkTestRun::State::Done);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Lost, Status::Received, Status::Lost}));
  const LinkTestRun::Counts c = run->GetCounts();
  EXPECT_EQ(c.Received, 1u);
  EXPECT_EQ(c.Lost, 2u);
  EXPECT_EQ(c.Duplicates + c.Corrupted, 0u);
  // Three messages: the last Note On gets its Note Off once the run is over.
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[3], (Bytes{0x81, 0x00, 0x31}));
}

TEST_F(LinkTestRunTest, TwoAnswersSwappedMakeOneOutOfOrder) {
  Make(Notes(4));
  run->Start();
  RunFor(4000);
  Echo(0, 100);
  Echo(2, 100);
  Echo(1, 200);
  Echo(3, 100);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Received, Status::OutOfOrder, Status::Received, Status::Received}));
  const LinkTestRun::Counts c = run->GetCounts();
  EXPECT_EQ(c.Received, 4u);
  EXPECT_EQ(c.OutOfOrder, 1u);
}

TEST_F(LinkTestRunTest, ASecondAnswerIsADuplicate) {
  Make(Notes(2));
  run->Start();
  RunFor(2000);
  Echo(0, 100);
  Echo(0, 150);
  Echo(1, 100);
  const LinkTestRun::Counts c = run->GetCounts();
  EXPECT_EQ(c.Received, 2u);
  EXPECT_EQ(c.Duplicates, 1u);
  EXPECT_EQ(run->Latencies().Summarize().MaxUs, 100u);
}

TEST_F(LinkTestRunTest, ChangedAnswersAreCorruptedAndTheirMessagesLostOrChanged) {
  Make(Notes(2));
  run->Start();
  RunFor(2000);
  run->Answer(Bytes{0x90, 0x00, 0x0D}, now);  // velocity changed: no number of the run
  run->Answer(Bytes{0xB0, 0x07, 0x10}, now);  // another kind of message
  Echo(1, 100);
  RunFor(100000);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Lost, Status::Received}));
  const LinkTestRun::Counts c = run->GetCounts();
  EXPECT_EQ(c.Corrupted, 2u);
  EXPECT_EQ(c.Lost, 1u);

  // A SysEx whose number is intact but whose pattern changed ends as corrupted, not lost.
  LinkTestSettings s = Notes(1);
  s.Kind = LinkMessageKind::Sysex;
  s.SysexLength = 10;
  sent.clear();
  sentAt.clear();
  Make(s);
  run->Start();
  Bytes changed = sent.at(0);
  changed[6] ^= 0x01;
  run->Answer(changed, now + 10);
  run->Tick();
  EXPECT_EQ(run->CurrentState(), LinkTestRun::State::Done);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Corrupted}));
  EXPECT_EQ(run->GetCounts().Corrupted, 1u);
  EXPECT_EQ(run->GetCounts().Lost, 0u);
}

TEST_F(LinkTestRunTest, RealTimeBytesAreNoAnswers) {
  Make(Notes(1));
  run->Start();
  for (uint8_t status : {0xF8, 0xFA, 0xFE}) {
    TMyMidiEvent event;
    event.MidiMessage = status;
    event.TimeUs = now;
    run->Receive(event);
  }
  EXPECT_EQ(run->GetCounts().Corrupted, 0u);
  TMyMidiEvent echo;
  echo.MidiMessage = 0x90;
  echo.Data2 = 0x0C;
  echo.TimeUs = now + 700;
  run->Receive(echo);
  EXPECT_EQ(run->GetCounts().Received, 1u);
  EXPECT_EQ(run->Latencies().Summarize().MedianUs, 700u);
}

TEST_F(LinkTestRunTest, ASysexHandedOverInPiecesIsJoinedAndTimedByItsLastPiece) {
  LinkTestSettings s = Notes(2);
  s.Kind = LinkMessageKind::Sysex;
  s.SysexLength = 100;
  Make(s);
  run->Start();
  RunFor(1000);
  ASSERT_EQ(sent.size(), 2u);
  const auto piece = [](const Bytes& bytes, size_t from, size_t to, uint64_t timeUs) {
    TMyMidiEvent event;
    event.SetSysex(bytes.data() + from, static_cast<uint16_t>(to - from));
    event.TimeUs = timeUs;
    return event;
  };
  run->Receive(piece(sent[0], 0, 60, sentAt[0] + 300));
  run->Receive(piece(sent[0], 60, 100, sentAt[0] + 900));
  EXPECT_EQ(run->GetCounts().Received, 1u);
  EXPECT_EQ(run->Latencies().Summarize().MedianUs, 900u);
  // A piece that does not follow a beginning, and a beginning cut short by another message.
  run->Receive(piece(sent[1], 60, 100, now));
  run->Receive(piece(sent[1], 0, 60, now));
  run->Receive(piece(sent[1], 0, 100, now + 50));
  EXPECT_EQ(run->GetCounts().Corrupted, 2u);
  EXPECT_EQ(run->GetCounts().Received, 2u);
}

TEST_F(LinkTestRunTest, OneInFlightSendsTheNextOnlyOnceTheLastWasAnsweredOrGivenUp) {
  LinkTestSettings s = Notes(3);
  s.OneInFlight = true;
  Make(s);
  run->Start();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(run->Tick(), 100000u);  // the time-out of the one in flight
  now += 300;
  Echo(0, 300);
  run->Tick();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sentAt[1], 5000300u);
  now += 100000;
  run->Tick();
  EXPECT_EQ(sent.size(), 3u);
  EXPECT_EQ(run->Records()[1].Status, Status::Lost);
}

TEST_F(LinkTestRunTest, NeverMoreWaitingThanAnswersCanTellApart) {
  LinkTestSettings s = Notes(5000);
  s.RatePerSecond = 10000;
  s.TimeoutMs = 1000;
  Make(s);
  run->Start();
  RunFor(600000);
  EXPECT_EQ(sent.size(), 4096u);
  // The answer of message 4095 is not taken for that of message 4095 - 4096.
  Echo(4095, 10);
  EXPECT_EQ(run->Records()[4095].Status, Status::Received);
  RunFor(410000);  // the first messages time out and make room
  EXPECT_GT(sent.size(), 4096u);
  EXPECT_EQ(sent[4096], sent[0]);
  EXPECT_EQ(run->Records()[0].Status, Status::Lost);
}

TEST_F(LinkTestRunTest, AnAnswerGoesToTheLatestMessageOfItsNumber) {
  LinkTestSettings s = Notes(4100);
  s.RatePerSecond = 10000;
  s.TimeoutMs = 1;
  Make(s);
  run->Start();
  while (sent.size() < 4097 && run->Running()) {
    now += 100;
    run->Tick();
  }
  ASSERT_EQ(sent.size(), 4097u);
  run->Answer(sent[0], now);  // the bytes of messages 0 and 4096
  EXPECT_EQ(run->Records()[4096].Status, Status::Received);
  EXPECT_EQ(run->Records()[0].Status, Status::Lost);
}

TEST_F(LinkTestRunTest, AnOutputThatRefusesEndsTheRunWithItsReason) {
  refuseAt = 3;
  Make(Notes(10));
  run->Start();
  RunFor(5000);
  EXPECT_EQ(run->CurrentState(), LinkTestRun::State::Failed);
  EXPECT_EQ(run->FailureText(), "La sortie refuse le message 3 : boom");
  EXPECT_EQ(run->Records().size(), 2u);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Unanswered, Status::Unanswered}));
  EXPECT_FALSE(run->Tick().has_value());
}

TEST_F(LinkTestRunTest, StopLeavesTheWaitingUnansweredSendsNothingMoreButTheNoteOff) {
  Make(Notes(10));
  run->Start();
  RunFor(2000);
  ASSERT_EQ(sent.size(), 3u);
  Echo(0, 100);
  run->Stop();
  EXPECT_EQ(run->CurrentState(), LinkTestRun::State::Stopped);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Received, Status::Unanswered, Status::Unanswered}));
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[3], (Bytes{0x81, 0x00, 0x31}));
  Echo(1, 100);
  RunFor(5000);
  EXPECT_EQ(sent.size(), 4u);
  EXPECT_EQ(run->GetCounts().Received, 1u);
}

TEST_F(LinkTestRunTest, ARateFarBehindStartsAgainFromNowInsteadOfSendingABurst) {
  LinkTestSettings s = Notes(100);
  s.RatePerSecond = 1000;
  Make(s);
  run->Start();
  now += 500000;  // the program did not call for half a second
  run->Tick();
  EXPECT_EQ(sent.size(), 2u);
  now += 1000;
  run->Tick();
  EXPECT_EQ(sent.size(), 3u);
}

// The output's driver tells when each message left, on its own time line (a
// JACK server's frames, here 3 s behind the run's clock and leaving 2 ms after
// the hand-over): latencies count from then, while the time-outs still count
// from the hand-over on the run's clock.
TEST_F(LinkTestRunTest, LatenciesCountFromTheDriversSendTimeAndTimeOutsFromTheHandOver) {
  Make(Notes(2));
  run->SetSendTime([this]() -> std::optional<uint64_t> { return now - 3'000'000 + 2000; });
  run->Start();
  ASSERT_EQ(sent.size(), 1u);
  run->Answer(sent[0], now - 3'000'000 + 2000 + 1500);
  EXPECT_EQ(run->Latencies().Summarize().MedianUs, 1500u);
  RunFor(1000);
  ASSERT_EQ(sent.size(), 2u);
  RunFor(99'000);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Received, Status::Pending}));
  RunFor(2000);
  EXPECT_EQ(Statuses(), (std::vector<Status>{Status::Received, Status::Lost}));
}

}  // namespace

namespace {

TEST_F(LinkTestRunTest, TheWarmUpAnswersCountAsReceivedButNotInTheFigures) {
  LinkTestSettings s = Notes(5);
  s.WarmUp = 2;
  Make(s);
  run->Start();
  RunFor(5000);
  ASSERT_EQ(sent.size(), 5u);
  // The first two answers to arrive are the warm-up, whichever messages they answer.
  const uint64_t latencies[] = {9000, 7000, 1000, 2000, 3000};
  for (size_t i : {1, 0, 2, 3, 4}) Echo(i, latencies[i]);
  EXPECT_EQ(run->GetCounts().Received, 5u);
  const LatencyStats::Summary figures = run->Latencies().Summarize();
  EXPECT_EQ(figures.Count, 3u);
  EXPECT_EQ(figures.MinUs, 1000u);
  EXPECT_EQ(figures.MaxUs, 3000u);
}

TEST_F(LinkTestRunTest, RandomMomentsStayInsideTheirShareOfThePaceInOrderAndRepeatWithTheSeed) {
  const auto moments = [this](uint64_t seed) {
    sent.clear();
    sentAt.clear();
    now = 5000000;
    LinkTestSettings s = Notes(200);
    s.RatePerSecond = 100;  // a share of 10 ms each
    s.TimeoutMs = 60000;
    s.RandomMoments = true;
    Make(s);
    run->SetRandomSeed(seed);
    run->Start();
    while (sent.size() < 200) {
      now += 100;
      run->Tick();
    }
    return sentAt;
  };
  const std::vector<uint64_t> first = moments(42);
  std::set<uint64_t> offsets;
  for (size_t i = 0; i < first.size(); ++i) {
    const uint64_t share = 5000000 + i * 10000;
    ASSERT_GE(first[i], share) << i;
    ASSERT_LT(first[i], share + 10000 + 100) << i;  // the clock moves in steps of 100 µs
    offsets.insert((first[i] - share) / 1000);
  }
  EXPECT_GE(offsets.size(), 8u) << "moments spread over the share";
  EXPECT_EQ(moments(42), first);
  EXPECT_NE(moments(43), first);
}

TEST_F(LinkTestRunTest, OneAtATimeWithRandomMomentsPausesUpToAMillisecondAfterEachAnswer) {
  LinkTestSettings s = Notes(50);
  s.OneInFlight = true;
  s.RandomMoments = true;
  Make(s);
  run->SetRandomSeed(7);
  run->Start();
  std::set<uint64_t> pauses;
  for (size_t i = 0; i + 1 < 50; ++i) {
    ASSERT_EQ(sent.size(), i + 1);
    now += 200;
    Echo(i, 200);
    const uint64_t answeredAt = now;
    while (sent.size() == i + 1) {
      const std::optional<uint64_t> next = run->Tick();
      ASSERT_TRUE(next);
      if (sent.size() == i + 1) now += std::max<uint64_t>(*next, 1);
    }
    ASSERT_LE(sentAt.back() - answeredAt, 1000u);
    pauses.insert(sentAt.back() - answeredAt);
  }
  EXPECT_GE(pauses.size(), 10u);
}

}  // namespace
