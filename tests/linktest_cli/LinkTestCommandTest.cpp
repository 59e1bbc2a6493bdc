// orvalis-linktest's run on a scripted back end: a cable from the output to
// the input, devices that cannot be opened, a device that goes away and an
// output that refuses a message, each with its exit status and message.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

#include "LinkTestCommand.h"
#include "LinkTestReport.h"
#include "TestMidiServices.h"

namespace {

class LinkTestCommand : public ::testing::Test {
 protected:
  LinkTestCommand() {
    auto owned = std::make_unique<TestMidiServices>();
    midi = owned.get();
    installed.emplace(std::move(owned));
    midi->AddOutputDevice("Synth");
    midi->AddOutputDevice("Cable");
    midi->AddInputDevice("Keyboard");
    midi->AddInputDevice("Cable");
  }

  // 50 notes at 1000 a second through "Cable".
  static LinkTestOptions Options() {
    LinkTestOptions o;
    o.Output = "Cable";
    o.Input = "Cable";
    o.Settings.Count = 50;
    o.Settings.RatePerSecond = 1000;
    o.Settings.TimeoutMs = 200;
    o.Seed = 7;
    return o;
  }

  int Run(const LinkTestOptions& options) {
    const LinkTestConsole console{[this](const QString& text) { out += text; },
                                  [this](const QString& text) { err += text; }, false};
    return RunLinkTest(options, console);
  }

  const QJsonObject Json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }

  TestMidiServices* midi = nullptr;
  std::optional<ScopedMidiServices> installed;
  QString out;
  QString err;
};

TEST_F(LinkTestCommand, ThroughACableEveryMessageComesBackAndTheRunPasses) {
  midi->Loop(1, 1);
  LinkTestOptions o = Options();
  o.Json = true;
  EXPECT_EQ(Run(o), LinkTestPassed) << err.toStdString();
  EXPECT_EQ(err, "");
  EXPECT_EQ(Json()["counts"]["received"], 50);
  EXPECT_EQ(Json()["settings"]["seed"], "7");
  EXPECT_EQ(Json()["route"]["output"], "Cable");
  EXPECT_EQ(Json()["latency_us"]["count"], 40);  // the first ten are the warm-up
}

TEST_F(LinkTestCommand, WithNothingConnectedEveryMessageIsLost) {
  EXPECT_EQ(Run(Options()), LinkTestFaults);
  EXPECT_TRUE(out.contains("Lost                       50\n")) << out.toStdString();
  EXPECT_TRUE(out.endsWith("Result     nothing came back: is the output connected to the input?\n"));
  EXPECT_EQ(err, "");
}

TEST_F(LinkTestCommand, AnOutputThatCannotBeOpenedEndsWithItsReason) {
  midi->FailNext("midiOutOpen", MMSYSERR_ALLOCATED);
  EXPECT_EQ(Run(Options()), LinkTestError);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(err.startsWith("orvalis-linktest: cannot open the output \"Cable\": ")) << err.toStdString();
  EXPECT_TRUE(err.endsWith("\n"));
  EXPECT_FALSE(midi->OutputOpen());
}

TEST_F(LinkTestCommand, AnInputThatCannotBeOpenedEndsWithItsReasonAndClosesTheOutput) {
  midi->FailNext("midiInOpen", MMSYSERR_ALLOCATED);
  EXPECT_EQ(Run(Options()), LinkTestError);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(err.startsWith("orvalis-linktest: cannot open the input \"Cable\": ")) << err.toStdString();
  EXPECT_FALSE(midi->OutputOpen());
}

TEST_F(LinkTestCommand, ANameThatMatchesNoDeviceListsTheNamesThatExist) {
  LinkTestOptions o = Options();
  o.Output = "cable";  // names are matched exactly
  EXPECT_EQ(Run(o), LinkTestError);
  EXPECT_EQ(err, "orvalis-linktest: no output is named \"cable\"; the outputs are:\n  Synth\n  Cable\n");
  err.clear();
  o = Options();
  o.Input = "Synth";
  EXPECT_EQ(Run(o), LinkTestError);
  EXPECT_EQ(err, "orvalis-linktest: no input is named \"Synth\"; the inputs are:\n  Keyboard\n  Cable\n");
  EXPECT_EQ(out, "");
}

TEST_F(LinkTestCommand, AnInputThatGoesAwayEndsTheRunAsAnError) {
  midi->Loop(1, 1);
  midi->BeforeNext("midiOutShortMsg", [this] {
    midi->RemoveInputDevice("Cable");
    midi->NotifyDevicesChanged();
  }, 20);
  EXPECT_EQ(Run(Options()), LinkTestError);
  EXPECT_EQ(err, "orvalis-linktest: the input \"Cable\" went away during the test\n");
  EXPECT_TRUE(out.endsWith("Result     the input \"Cable\" went away during the test\n")) << out.toStdString();
}

TEST_F(LinkTestCommand, AMessageTheOutputRefusesEndsTheRunAsAnError) {
  midi->Loop(1, 1);
  // After the timing clock that warms the route up (the loop answers it at
  // once) and five messages of the test.
  midi->FailNext("midiOutShortMsg", MIDIERR_NOTREADY, 1, 6);
  LinkTestOptions o = Options();
  o.Json = true;
  EXPECT_EQ(Run(o), LinkTestError);
  EXPECT_TRUE(err.startsWith("orvalis-linktest: the output refused message 6: ")) << err.toStdString();
  EXPECT_EQ(Json()["result"], "error");
  EXPECT_EQ(Json()["counts"]["sent"], 5);
}

TEST_F(LinkTestCommand, TheCsvHoldsEveryMessageAndAFileThatCannotBeWrittenIsAnError) {
  midi->Loop(1, 1);
  LinkTestOptions o = Options();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  o.CsvPath = folder.filePath("run.csv");
  EXPECT_EQ(Run(o), LinkTestPassed) << err.toStdString();
  QFile csv(o.CsvPath);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = csv.readAll().split('\n');
  ASSERT_EQ(lines.size(), 2 + 50 + 1);  // settings, header, messages, the empty end
  EXPECT_TRUE(lines[0].startsWith("# sortie=Cable;entree=Cable;type=note;messages=50;")) << lines[0].toStdString();
  EXPECT_TRUE(lines[2].startsWith("1,")) << lines[2].toStdString();

  out.clear();
  o.CsvPath = folder.filePath("no such folder/run.csv");
  EXPECT_EQ(Run(o), LinkTestError);
  EXPECT_TRUE(out.contains("Received                   50\n"));  // the report all the same
  EXPECT_EQ(err, "orvalis-linktest: cannot write the CSV file \"" + o.CsvPath + "\"\n");
}

TEST_F(LinkTestCommand, ListNamesTheDevicesAsTextOrJson) {
  LinkTestOptions o;
  o.What = LinkTestOptions::Action::List;
  const LinkTestConsole console{[this](const QString& text) { out += text; },
                                [this](const QString& text) { err += text; }, false};
  EXPECT_EQ(ListLinkTestDevices(o, console), LinkTestPassed);
  EXPECT_EQ(out, "Outputs:\n  Synth\n  Cable\nInputs:\n  Keyboard\n  Cable\n");
  out.clear();
  o.Json = true;
  EXPECT_EQ(ListLinkTestDevices(o, console), LinkTestPassed);
  EXPECT_EQ(out, "{\"inputs\":[\"Keyboard\",\"Cable\"],\"outputs\":[\"Synth\",\"Cable\"]}\n");
  EXPECT_EQ(err, "");
}

}  // namespace
