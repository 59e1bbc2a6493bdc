// What a timed sequence has started is completed on the device that got it:
// a close of the window or a change of output device during the sequence's
// wait still sends the Note Off or the release, before the port closes.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "BulkSpinBox.h"
#include "TransmitFixture.h"

namespace {

struct TSequence {
  const char* name;
  std::function<void(TfmMain&, TfmSendBulk&)> prepare;
  std::function<void(TfmMain&, TfmSendBulk&)> run;  // returns when the sequence has ended
  QString first;       // the message that starts something
  QString completion;  // the message that completes it
};

void PrintTo(const TSequence& s, std::ostream* os) { *os << s.name; }

class CompletionTest : public TransmitFixture, public ::testing::WithParamInterface<TSequence> {
 protected:
  // The output calls of the back end since the last ClearCalls: "open <id>",
  // the bytes of each short message sent, "close".
  QStringList OutputTrace() const {
    QStringList trace;
    for (const TestMidiServices::Call& call : midi->Calls()) {
      if (call.op == "midiOutOpen") trace << QStringLiteral("open %1").arg(call.args[0]);
      if (call.op == "midiOutShortMsg") trace << Packed(static_cast<uint32_t>(call.args[1]), 3);
      if (call.op == "midiOutClose") trace << QStringLiteral("close");
    }
    return trace;
  }
};

TEST_P(CompletionTest, ACloseDuringTheWaitStillSendsTheCompletionBeforeThePortCloses) {
  Start();
  GetParam().prepare(*window, *bulk);
  midi->ClearCalls();
  int waits = 0;
  clock.OnWait = [&] {
    if (++waits == 1) window->close();
  };
  GetParam().run(*window, *bulk);

  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(OutputTrace(), (QStringList{GetParam().first, GetParam().completion, "close"}));
}

TEST_P(CompletionTest, ChangingTheOutputDuringTheWaitSendsTheCompletionToTheFirstDevice) {
  Start({{"Keyboard"}, {"Synth A", "Synth B"}});
  GetParam().prepare(*window, *bulk);
  midi->ClearCalls();
  int waits = 0;
  clock.OnWait = [&] {
    if (++waits == 1) window->cbMIDIOut->setCurrentIndex(1);  // the user picks Synth B
    SetQuietly(window->btnMidiSendContinuous, false);          // one cycle is enough
  };
  GetParam().run(*window, *bulk);

  EXPECT_EQ(window->cbMIDIOut->currentText(), "Synth B");
  EXPECT_EQ(OutputTrace(), (QStringList{GetParam().first, GetParam().completion, "close", "open 1"}));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, CompletionTest,
    ::testing::Values(
        TSequence{"ContinuousSend", [](TfmMain&, TfmSendBulk&) {},
                  [](TfmMain& w, TfmSendBulk&) { w.btnMidiSendContinuous->setChecked(true); }, "90 3C 40",
                  "80 3C 00"},
        TSequence{"ControlSurfaceButton", [](TfmMain& w, TfmSendBulk&) { w.cbMidiSendMCP->click(); },
                  [](TfmMain& w, TfmSendBulk&) { w.btnSendRTRec->click(); }, "90 5F 7F", "90 5F 00"},
        TSequence{"BulkSweepOfOneNote",
                  [](TfmMain&, TfmSendBulk& b) {
                    b.rbNote->setChecked(true);
                    b.cbData1Loop->setChecked(false);
                    b.cbData2Loop->setChecked(false);
                    b.edData1Min->SetValue(0x3C);
                    b.edData2Min->SetValue(0x40);
                  },
                  [](TfmMain&, TfmSendBulk& b) { b.btnSendBulkStart->click(); }, "90 3C 40", "80 3C 40"},
        TSequence{"LoopTest", [](TfmMain&, TfmSendBulk&) {},
                  [](TfmMain& w, TfmSendBulk&) { w.ActToolsLoopTest->trigger(); }, "90 3C 40", "80 3C 40"}),
    [](const ::testing::TestParamInfo<TSequence>& info) { return std::string(info.param.name); });

}  // namespace
