// What orvalis-linktest prints about a run, made by hand here with known
// latencies: the text, the JSON object, the verdict and the exit status.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <memory>
#include <stdexcept>
#include <vector>

#include "HandMadeLinkTestRun.h"
#include "LinkTestReport.h"

namespace {

class LinkTestCliReport : public HandMadeLinkTestRun {
 protected:
  // Five messages: three answered (one after a later one), one of them twice,
  // an answer that belongs to none, two lost.
  void MakeFaultyRun() {
    Make(5);
    Echo(0, 1200);
    Echo(2, 800);
    Echo(1, 3000);
    Echo(0, 1500);
    run->Answer(Bytes{0x92, 0x00, 0x57}, now);
    Wait(200000);
    ASSERT_EQ(run->CurrentState(), LinkTestRun::State::Done);
  }
  LinkTestOutcome Outcome(QString error = QString()) const {
    return LinkTestOutcome{*run, LinkTestRoute{"Synth", "Interface"}, 42, std::move(error)};
  }
};

TEST_F(LinkTestCliReport, TextOfARunWithEveryKindOfFault) {
  MakeFaultyRun();
  EXPECT_EQ(LinkTestReportText(Outcome()).toStdString(),
            "Route      Synth -> Interface\n"
            "Messages   5 note, 1000 per second at even intervals\n"
            "           timeout 100 ms, warm-up 0 answers\n"
            "\n"
            "Sent                        5\n"
            "Received                    3\n"
            "Lost                        2\n"
            "Out of order                1\n"
            "Corrupted                   1\n"
            "Duplicates                  1\n"
            "\n"
            "Latency of 3 answers, ms\n"
            "  minimum               0.800\n"
            "  median                1.200\n"
            "  mean                  1.667\n"
            "  95th percentile       3.000\n"
            "  99th percentile       3.000\n"
            "  maximum               3.000\n"
            "  jitter (std dev)      0.957\n"
            "  peak-to-peak          2.200\n"
            "  mean abs. dev.        0.889\n"
            "\n"
            "Result     2 lost, 1 out of order, 1 corrupted, 1 duplicates\n");
  EXPECT_EQ(LinkTestExitStatus(Outcome()), LinkTestFaults);
}

TEST_F(LinkTestCliReport, JsonOfTheSameRunHasTheFiguresInMicroseconds) {
  MakeFaultyRun();
  const QJsonObject json = LinkTestReportJson(Outcome());
  const QJsonDocument expected = QJsonDocument::fromJson(R"({
    "route": {"output": "Synth", "input": "Interface"},
    "settings": {"kind": "note", "sysex_length": null, "count": 5, "rate": 1000, "one_at_a_time": false,
                 "moments": "even", "seed": "42", "timeout_ms": 100, "warmup": 0},
    "counts": {"sent": 5, "received": 3, "lost": 2, "out_of_order": 1, "corrupted": 1, "duplicates": 1},
    "latency_us": {"count": 3, "min": 800, "median": 1200, "mean": 1666.667, "p95": 3000, "p99": 3000,
                   "max": 3000, "jitter": 956.847, "peak_to_peak": 2200, "mean_absolute_deviation": 888.889},
    "result": "faults",
    "verdict": "2 lost, 1 out of order, 1 corrupted, 1 duplicates",
    "exit_status": 1
  })");
  ASSERT_TRUE(expected.isObject());
  EXPECT_EQ(json, expected.object()) << QJsonDocument(json).toJson().toStdString();
}

TEST_F(LinkTestCliReport, ARunWhereEverythingCameBackPasses) {
  Make(4, LinkMessageKind::Sysex);
  for (size_t i = 0; i < 4; ++i) Echo(i, 2000 + 10 * i);
  Wait(0);
  ASSERT_EQ(run->CurrentState(), LinkTestRun::State::Done);
  EXPECT_EQ(LinkTestExitStatus(Outcome()), LinkTestPassed);
  EXPECT_EQ(LinkTestVerdict(Outcome()), "every message came back intact and in order");
  const QString text = LinkTestReportText(Outcome());
  EXPECT_TRUE(text.contains("Messages   4 sysex of 6 bytes, 1000 per second at even intervals\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("  median                2.010\n")) << text.toStdString();
  const QJsonObject json = LinkTestReportJson(Outcome());
  EXPECT_EQ(json["result"], "passed");
  EXPECT_EQ(json["exit_status"], 0);
  EXPECT_EQ(json["settings"]["sysex_length"], 6);
  EXPECT_EQ(json["latency_us"]["median"], 2010);
  EXPECT_EQ(json["latency_us"]["peak_to_peak"], 30);
}

TEST_F(LinkTestCliReport, ARunThatGotNoAnswerSaysSoAndHasNoFigures) {
  Make(2);
  Wait(200000);
  EXPECT_EQ(LinkTestExitStatus(Outcome()), LinkTestFaults);
  EXPECT_EQ(LinkTestVerdict(Outcome()), "nothing came back: is the output connected to the input?");
  EXPECT_TRUE(LinkTestReportText(Outcome()).contains("Latency    no answers to measure\n"));
  const QJsonObject latency = LinkTestReportJson(Outcome())["latency_us"].toObject();
  EXPECT_EQ(latency["count"], 0);
  for (const char* figure : {"min", "median", "mean", "p95", "p99", "max", "jitter", "peak_to_peak",
                             "mean_absolute_deviation"}) {
    EXPECT_TRUE(latency[figure].isNull()) << figure;
  }
}

TEST_F(LinkTestCliReport, ARunThatCouldNotEndIsAnErrorWithItsReason) {
  Make(3);
  Echo(0, 500);
  run->Fail("the input \"Interface\" went away during the test");
  const LinkTestOutcome outcome = Outcome("the input \"Interface\" went away during the test");
  EXPECT_EQ(LinkTestExitStatus(outcome), LinkTestError);
  EXPECT_TRUE(LinkTestReportText(outcome).endsWith("Result     the input \"Interface\" went away during the test\n"));
  const QJsonObject json = LinkTestReportJson(outcome);
  EXPECT_EQ(json["result"], "error");
  EXPECT_EQ(json["exit_status"], 2);
  EXPECT_EQ(json["counts"]["received"], 1);
}

TEST_F(LinkTestCliReport, ThePaceIsDescribedAsTheRunWasMade) {
  struct Case {
    bool oneInFlight;
    bool random;
    const char* pace;
    QJsonValue rate;
  };
  const Case cases[] = {
      {false, true, "250 per second at random moments (seed 42)", 250},
      {false, false, "250 per second at even intervals", 250},
      {true, true, "one at a time, random pauses (seed 42)", QJsonValue()},
      {true, false, "one at a time", QJsonValue()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pace);
    LinkTestSettings s;
    s.Count = 7;
    s.RatePerSecond = 250;
    s.OneInFlight = c.oneInFlight;
    s.RandomMoments = c.random;
    const LinkTestRun unstarted(s, [](std::span<const uint8_t>) {});
    const LinkTestOutcome outcome{unstarted, LinkTestRoute{"A", "B"}, 42, QString()};
    EXPECT_TRUE(LinkTestReportText(outcome).contains(QStringLiteral("Messages   7 note, %1\n").arg(c.pace)))
        << LinkTestReportText(outcome).toStdString();
    const QJsonObject json = LinkTestReportJson(outcome);
    EXPECT_EQ(json["settings"]["rate"], c.rate);
    EXPECT_EQ(json["settings"]["moments"], c.random ? "random" : "even");
  }
}

}  // namespace
