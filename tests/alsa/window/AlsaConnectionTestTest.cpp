// The connection test through the VM's "Midi Through" port: every message
// comes back, counted exactly, for each kind of message and pace.
#include "AlsaWindowFixture.h"
#include "ConnectionTestWindow.h"
#include "FileCommands.h"

namespace {

struct ThroughCase {
  const char* name;
  LinkMessageKind kind;
  int count;
  int rate;
  bool oneInFlight;
  int sysexLength;
};

class AlsaConnectionTest : public AlsaWindowFixture, public ::testing::WithParamInterface<ThroughCase> {};

TEST_P(AlsaConnectionTest, ThroughMidiThroughEveryMessageComesBack) {
  const QString through = QString::fromStdString(kMidiThrough);
  ChooseDevices(through, through);
  window->ActToolsConnectionTestExecute(window->ActToolsConnectionTest);
  ConnectionTestWindow* test = window->ConnectionTest;
  ASSERT_NE(test, nullptr);
  const ThroughCase& c = GetParam();
  LinkTestSettings s;
  s.Kind = c.kind;
  s.Count = c.count;
  s.RatePerSecond = c.rate;
  s.OneInFlight = c.oneInFlight;
  s.SysexLength = c.sysexLength;
  s.TimeoutMs = 5000;
  test->ShowSettings(s);
  test->StartRun();
  ASSERT_TRUE(PumpUntil([test] { return !test->Running(); }, 120000));
  const LinkTestRun::Counts counts = test->Run()->GetCounts();
  EXPECT_EQ(counts.Sent, static_cast<uint64_t>(c.count));
  EXPECT_EQ(counts.Received, static_cast<uint64_t>(c.count)) << test->MessageText().toStdString();
  EXPECT_EQ(counts.Lost + counts.OutOfOrder + counts.Corrupted + counts.Duplicates, 0u);
  EXPECT_TRUE(LogLines().last().startsWith(QStringLiteral("Test de liaison : %1/%1 reçus, latence médiane ").arg(c.count)))
      << Log();
}

INSTANTIATE_TEST_SUITE_P(
    Runs, AlsaConnectionTest,
    ::testing::Values(ThroughCase{"NotesAtFiveHundredASecond", LinkMessageKind::NoteOnOff, 500, 500, false, 0},
                      ThroughCase{"ControlChangesOneAtATime", LinkMessageKind::ControlChange, 200, 0, true, 0},
                      ThroughCase{"Sysex", LinkMessageKind::Sysex, 20, 50, false, 4000}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
