// The built orvalis-linktest, run as a script runs it, with no display:
// its help, its refusals, its device list and a run through "Orvalis
// Loopback"; and the libraries it needs (none of Qt's GUI).
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include "LinkTestOptions.h"
#include "LinkTestProgram.h"

namespace {


const QStringList kLoopback = {"--out", "Orvalis Loopback", "--in", "Orvalis Loopback"};

TEST(LinkTestCliProgram, HelpGoesToStandardOutput) {
  const auto r = LinkTestProgram::Run({"--help"});
  EXPECT_EQ(r.status, 0) << r.Describe();
  EXPECT_EQ(r.out, LinkTestUsage());
  EXPECT_EQ(r.err, "");
}

TEST(LinkTestCliProgram, ABadArgumentIsStatusTwoWithTheReasonOnStandardError) {
  const struct {
    QStringList arguments;
    const char* reason;
  } cases[] = {
      {{}, "a test needs --out NAME and --in NAME (--list shows the names)"},
      {kLoopback + QStringList{"--count", "0"}, "--count takes a whole number from 1 to 1000000, not \"0\""},
      {kLoopback + QStringList{"--frobnicate"}, "Unknown option 'frobnicate'."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    const auto r = LinkTestProgram::Run(c.arguments);
    EXPECT_EQ(r.status, 2) << r.Describe();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, QStringLiteral("orvalis-linktest: %1\nTry 'orvalis-linktest --help' for more information.\n")
                         .arg(QString::fromUtf8(c.reason)));
  }
}

TEST(LinkTestCliProgram, ListsTheLoopbackAmongTheOutputsAndInputs) {
  const auto text = LinkTestProgram::Run({"--list"});
  ASSERT_EQ(text.status, 0) << text.Describe();
  EXPECT_EQ(text.err, "");
  const QStringList lines = text.out.split('\n');
  const qsizetype inputs = lines.indexOf("Inputs:");
  ASSERT_EQ(lines.first(), "Outputs:");
  ASSERT_GT(inputs, 0);
  // "Orvalis Loopback" always comes last in each list, as in the window.
  EXPECT_EQ(lines[inputs - 1], "  Orvalis Loopback");
  EXPECT_EQ(lines.last(), "");
  EXPECT_EQ(lines[lines.size() - 2], "  Orvalis Loopback");

  const auto json = LinkTestProgram::Run({"--list", "--json"});
  ASSERT_EQ(json.status, 0) << json.Describe();
  EXPECT_EQ(json.Json()["outputs"].toArray().last(), "Orvalis Loopback");
  EXPECT_EQ(json.Json()["inputs"].toArray().last(), "Orvalis Loopback");
}

TEST(LinkTestCliProgram, ANameThatMatchesNoDeviceIsStatusTwoAndListsTheNames) {
  const auto r = LinkTestProgram::Run({"--out", "Orvalis Loopback", "--in", "No Such Interface"});
  EXPECT_EQ(r.status, 2) << r.Describe();
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.startsWith("orvalis-linktest: no input is named \"No Such Interface\"; the inputs are:\n"))
      << r.Describe();
  EXPECT_TRUE(r.err.endsWith("\n  Orvalis Loopback\n")) << r.Describe();
}

TEST(LinkTestCliProgram, AThousandNotesThroughTheLoopbackAllComeBack) {
  const auto r = LinkTestProgram::Run(kLoopback + QStringList{"--count", "1000", "--rate", "2000", "--json"});
  ASSERT_EQ(r.status, 0) << r.Describe();
  EXPECT_EQ(r.err, "");  // no progress line: standard error is no terminal here
  const QJsonObject json = r.Json();
  EXPECT_EQ(json["counts"]["sent"], 1000);
  EXPECT_EQ(json["counts"]["received"], 1000);
  for (const char* fault : {"lost", "out_of_order", "corrupted", "duplicates"}) EXPECT_EQ(json["counts"][fault], 0) << fault;
  EXPECT_EQ(json["latency_us"]["count"], 990);
  EXPECT_EQ(json["result"], "passed");
  // The loopback answers well within a second, even on a loaded machine.
  EXPECT_LT(json["latency_us"]["median"].toDouble(), 1e6);
}

TEST(LinkTestCliProgram, TheTextReportHasTheFiguresInMilliseconds) {
  const auto r = LinkTestProgram::Run(kLoopback + QStringList{"--kind", "sysex", "--sysex-length", "300", "--count", "50", "--even"});
  ASSERT_EQ(r.status, 0) << r.Describe();
  EXPECT_TRUE(r.out.startsWith("Route      Orvalis Loopback -> Orvalis Loopback\n"
                               "Messages   50 sysex of 300 bytes, 100 per second at even intervals\n"))
      << r.Describe();
  EXPECT_TRUE(r.out.contains("Received                   50\n")) << r.Describe();
  for (const char* figure : {"minimum", "median", "mean", "95th percentile", "99th percentile", "maximum",
                             "jitter \\(std dev\\)", "peak-to-peak", "mean abs\\. dev\\."}) {
    EXPECT_TRUE(r.out.contains(QRegularExpression(QStringLiteral("\n  %1 +\\d+\\.\\d{3}\n").arg(figure)))) << figure;
  }
  EXPECT_TRUE(r.out.endsWith("Result     every message came back intact and in order\n"));
}

// The program must run where no display and no Qt GUI library are.
TEST(LinkTestCliProgram, AnInterruptedTestPrintsTheFiguresSoFarWithStatusTwo) {
  for (const int signal : {SIGINT, SIGTERM}) {
    const LinkTestProgram::Result r =
        LinkTestProgram::Run({"--out", "Orvalis Loopback", "--in", "Orvalis Loopback", "--count", "100000", "--rate",
                              "200", "--json"},
                             60000, 1500, signal);
    ASSERT_TRUE(r.finished) << r.Describe();
    EXPECT_EQ(r.status, 2) << r.Describe();
    EXPECT_TRUE(r.err.contains("interrupted")) << r.Describe();
    const QJsonObject counts = r.Json()["counts"].toObject();
    EXPECT_GT(counts["sent"].toInt(), 0) << r.Describe();
    EXPECT_LT(counts["sent"].toInt(), 100000) << r.Describe();
    // The loopback answers at once: everything sent came back, the Note Off of a Note On included.
    EXPECT_GE(counts["received"].toInt(), counts["sent"].toInt() - 1) << r.Describe();
  }
}

TEST(LinkTestCliProgram, NeedsNoQtGuiLibrary) {
  const QString readelf = QStandardPaths::findExecutable("readelf");
  if (readelf.isEmpty()) GTEST_SKIP() << "readelf is not installed";
  QProcess process;
  process.start(readelf, {"-d", LinkTestProgram::Path()});
  ASSERT_TRUE(process.waitForFinished(30000));
  const QString dynamic = QString::fromUtf8(process.readAllStandardOutput());
  QStringList needed;
  for (const QString& line : dynamic.split('\n')) {
    if (line.contains("(NEEDED)")) needed << line.section('[', 1).section(']', 0, 0);
  }
  ASSERT_FALSE(needed.isEmpty()) << dynamic.toStdString();
  EXPECT_TRUE(needed.contains("libQt6Core.so.6")) << needed.join(' ').toStdString();
  for (const QString& library : needed) {
    EXPECT_FALSE(library.startsWith("libQt6") && library != "libQt6Core.so.6") << library.toStdString();
    EXPECT_FALSE(library.startsWith("libX") || library.startsWith("libxcb") || library.startsWith("libGL"))
        << library.toStdString();
  }
}

}  // namespace
