// The connection test through the built-in loopback, end to end: the
// program's own back end, the main window's ports and receive monitor.
#include <QComboBox>

#include "ConnectionTestFixture.h"
#include "MidiIn.h"
#include "MidiOut.h"

namespace {

using Kind = LinkMessageKind;

struct LoopbackCase {
  const char* name;
  LinkTestSettings settings;
};

LinkTestSettings Make(Kind kind, int count, int rate, bool oneInFlight, int sysexLength = 128) {
  LinkTestSettings s;
  s.Kind = kind;
  s.Count = count;
  s.RatePerSecond = rate;
  s.OneInFlight = oneInFlight;
  s.TimeoutMs = 5000;
  s.SysexLength = sysexLength;
  return s;
}

class ConnectionTestLoopback : public ConnectionTestFixture, public ::testing::WithParamInterface<LoopbackCase> {
 protected:
  void SetUp() override { realWaits = true; }
};

TEST_P(ConnectionTestLoopback, EveryMessageComesBackInOrderAndUnchanged) {
  BootSystem();
  ASSERT_TRUE(Choose(window->cbMIDIIn, "Orvalis Loopback"));
  ASSERT_TRUE(Choose(window->cbMIDIOut, "Orvalis Loopback"));
  ASSERT_EQ(MidiInPort->State(), misOpen);
  ASSERT_EQ(MidiOutPort->State(), mosOpen);
  const LinkTestSettings& s = GetParam().settings;
  ASSERT_TRUE(RunToEnd(s, 120000));
  const LinkTestRun::Counts c = Counts();
  EXPECT_EQ(c.Sent, static_cast<uint64_t>(s.Count));
  EXPECT_EQ(c.Received, static_cast<uint64_t>(s.Count));
  EXPECT_EQ(c.Lost + c.OutOfOrder + c.Corrupted + c.Duplicates, 0u);
  EXPECT_EQ(Window()->MessageText(), "Terminé : tous les messages sont revenus, intacts et dans l'ordre.");
  EXPECT_TRUE(LogLines().last().startsWith(QStringLiteral("Test de liaison : %1/%1 reçus, latence médiane ").arg(s.Count)))
      << LogLines().last().toStdString();
  // Loopback answers come back well within a second, even on a loaded machine.
  EXPECT_LT(Window()->Run()->Latencies().Summarize().MedianUs, 1000000u);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ConnectionTestLoopback,
    ::testing::Values(LoopbackCase{"NotesAtTwoThousandASecond", Make(Kind::NoteOnOff, 3000, 2000, false)},
                      LoopbackCase{"ControlChangesOneAtATime", Make(Kind::ControlChange, 500, 0, true)},
                      LoopbackCase{"MoreNotesThanTheirNumbersTellApart", Make(Kind::NoteOnOff, 9000, 10000, false)},
                      LoopbackCase{"LongSysex", Make(Kind::Sysex, 20, 50, false, 20000)},
                      LoopbackCase{"LongestSysexOneAtATime", Make(Kind::Sysex, 3, 0, true, 65000)}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
