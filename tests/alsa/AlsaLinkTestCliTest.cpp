// The built orvalis-linktest through "Midi Through", which sends back
// whatever it receives: every message comes back, and it says so with status 0.
#include <gtest/gtest.h>

#include "AlsaTestSupport.h"
#include "LinkTestProgram.h"

namespace {

TEST(AlsaLinkTestCli, AThousandNotesThroughMidiThroughAllComeBack) {
  // The program opens its own client: none of this process's may be there too.
  if (const std::string why = WhyNotTheVmSequencer(); !why.empty()) GTEST_SKIP() << why;
  const QString through = QString::fromStdString(kMidiThrough);
  const auto r = LinkTestProgram::Run({"--out", through, "--in", through, "--count", "1000", "--rate", "1000", "--json"});
  ASSERT_TRUE(r.finished) << r.Describe();
  RecordProperty("report", r.out.toStdString());
  EXPECT_EQ(r.status, 0) << r.Describe();
  EXPECT_EQ(r.err, "");
  const QJsonObject json = r.Json();
  EXPECT_EQ(json["counts"]["sent"], 1000);
  EXPECT_EQ(json["counts"]["received"], 1000);
  EXPECT_EQ(json["route"]["output"], through);
  EXPECT_EQ(json["result"], "passed");
  // The sequencer answers within a second, even in a loaded VM.
  EXPECT_LT(json["latency_us"]["median"].toDouble(), 1e6);
}

TEST(AlsaLinkTestCli, ListsMidiThroughAsTheWindowDoes) {
  if (const std::string why = WhyNotTheVmSequencer(); !why.empty()) GTEST_SKIP() << why;
  const auto r = LinkTestProgram::Run({"--list"});
  ASSERT_EQ(r.status, 0) << r.Describe();
  const QString through = QString::fromStdString("  " + kMidiThrough + "\n");
  const qsizetype inputs = r.out.indexOf("Inputs:\n");
  ASSERT_GT(inputs, 0) << r.Describe();
  EXPECT_TRUE(r.out.left(inputs).contains(through)) << r.Describe();
  EXPECT_TRUE(r.out.mid(inputs).contains(through)) << r.Describe();
}

}  // namespace
