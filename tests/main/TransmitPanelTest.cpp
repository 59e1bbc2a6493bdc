// The transmit panel: send modes with their captions and remembered values,
// the NoteOn <> NoteOff warning, single sends and continuous sending.
#include <QCheckBox>
#include <QFile>
#include <QTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "HexSpinBox.h"
#include "rmLed.h"
#include "TransmitFixture.h"

namespace {

class TransmitPanelTest : public TransmitFixture {
 protected:
  std::array<THexSpinBox*, 6> Fields() const {
    return {window->edData11, window->edData12, window->edData13,
            window->edData21, window->edData22, window->edData23};
  }
  std::vector<int> FieldValues() const {
    std::vector<int> values;
    for (THexSpinBox* f : Fields()) values.push_back(f->value());
    return values;
  }
  QStringList Captions() const {
    return {window->lblData11->text(), window->lblData12->text(), window->lblData13->text(),
            window->lblData21->text(), window->lblData22->text(), window->lblData23->text(),
            window->btnSendData1->text(), window->btnSendData2->text()};
  }
  QRadioButton* ModeButton(int mode) const {
    return std::array{window->rbSendNote, window->rbSendCC, window->rbSendPC, window->rbSendOther}[mode];
  }
};

struct ModeCase {
  int mode;
  QStringList captions;
  std::vector<int> values;
  bool thirdByteShown;
};

TEST_F(TransmitPanelTest, EachModeHasItsCaptionsDefaultsAndThirdByte) {
  Start();
  const ModeCase cases[] = {
      {txmControlChange,
       {"CC", "Numéro", "Valeur", "CC", "Numéro", "Valeur", "Envoyer C.C.", "Envoyer C.C."},
       {0xB0, 0x01, 0x02, 0xB0, 0x01, 0x02},
       true},
      {txmProgramChange,
       {"PC", "Numéro", "", "PC", "Numéro", "", "Envoyer P.C.", "Envoyer P.C."},
       {0xC0, 0x01, 0x00, 0xC0, 0x01, 0x00},
       false},
      {txmOther,
       {"DataA1", "DataA2", "DataA3", "DataB1", "DataB2", "DataB3", "Envoyer Data A", "Envoyer Data B"},
       {0x90, 0x3C, 0x40, 0x80, 0x3C, 0x00},
       true},
      {txmNote,
       {"NoteOn", "Valeur", "Vélocité", "NoteOff", "Valeur", "Vélocité", "Envoyer NoteOn",
        "Envoyer NoteOff"},
       {0x90, 0x3C, 0x40, 0x80, 0x3C, 0x00},
       true},
  };
  // Start-up is Note mode.
  EXPECT_TRUE(window->rbSendNote->isChecked());
  EXPECT_EQ(Captions(), cases[3].captions);
  EXPECT_EQ(FieldValues(), cases[3].values);
  EXPECT_FALSE(window->lblNoteOnNotEqualNoteOff->isVisible());

  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.mode);
    ModeButton(c.mode)->click();
    EXPECT_EQ(Captions(), c.captions);
    EXPECT_EQ(FieldValues(), c.values);
    for (QWidget* w : {static_cast<QWidget*>(window->edData13), static_cast<QWidget*>(window->edData23),
                       static_cast<QWidget*>(window->lblData13), static_cast<QWidget*>(window->lblData23)}) {
      EXPECT_EQ(w->isVisible(), c.thirdByteShown);
    }
  }
  EXPECT_TRUE(midi->ShortMessages().empty());
}

TEST_F(TransmitPanelTest, EachModeRemembersItsOwnEdits) {
  Start();
  window->rbSendCC->click();
  window->edData12->setValue(0x07);
  window->edData23->setValue(0x7F);
  window->rbSendNote->click();
  EXPECT_EQ(FieldValues(), (std::vector<int>{0x90, 0x3C, 0x40, 0x80, 0x3C, 0x00}));
  window->rbSendCC->click();
  EXPECT_EQ(FieldValues(), (std::vector<int>{0xB0, 0x07, 0x02, 0xB0, 0x01, 0x7F}));
  EXPECT_EQ(TxModeValues[txmControlChange][0], (TTxModeRow{0xB0, 0x07, 0x02}));
  EXPECT_EQ(TxModeValues[txmNote][0], (TTxModeRow{0x90, 0x3C, 0x40}));
  // Autre starts from the same defaults as Note but is remembered apart.
  window->rbSendOther->click();
  window->edData11->setValue(0xF0);
  window->rbSendNote->click();
  EXPECT_EQ(window->edData11->value(), 0x90);
}

TEST_F(TransmitPanelTest, WarningShowsOnlyInNoteModeWhenTheNotesDiffer) {
  Start();
  QLabel* warning = window->lblNoteOnNotEqualNoteOff;
  EXPECT_EQ(warning->text(), "NoteOn <> NoteOff");
  window->edData22->setValue(0x3D);
  EXPECT_TRUE(warning->isVisible());
  window->rbSendCC->click();
  EXPECT_FALSE(warning->isVisible());
  window->edData22->setValue(0x05);  // differs from edData12 here too
  EXPECT_FALSE(warning->isVisible());
  window->rbSendNote->click();
  EXPECT_TRUE(warning->isVisible());
  EXPECT_EQ(window->edData22->value(), 0x3D);
  window->edData12->setValue(0x3D);
  EXPECT_FALSE(warning->isVisible());
}

struct SingleSendCase {
  const char* name;
  int mode;
  QPushButton* TfmMain::*button;
  QStringList logged;
};

TEST_F(TransmitPanelTest, SingleSendsTwoBytesInProgramChangeModeAndThreeOtherwise) {
  Start();
  const SingleSendCase cases[] = {
      {"Note A", txmNote, &TfmMain::btnSendData1, {"90 3C 40"}},
      {"Note B", txmNote, &TfmMain::btnSendData2, {"80 3C 00"}},
      {"CC A", txmControlChange, &TfmMain::btnSendData1, {"B0 01 02"}},
      {"PC A", txmProgramChange, &TfmMain::btnSendData1, {"C0 01"}},
      {"PC B", txmProgramChange, &TfmMain::btnSendData2, {"C0 01"}},
      {"Autre B", txmOther, &TfmMain::btnSendData2, {"80 3C 00"}},
  };
  for (const SingleSendCase& c : cases) {
    SCOPED_TRACE(c.name);
    window->btnLogClearClick(window->btnLogClear);
    midi->ClearSent();
    ModeButton(c.mode)->click();
    ((*window).*c.button)->click();
    EXPECT_EQ(OutLines(), c.logged);
    ASSERT_EQ(midi->ShortMessages().size(), 1u);
    const int count = static_cast<int>(c.logged[0].split(' ').size());
    EXPECT_EQ(Packed(midi->ShortMessages()[0], count), c.logged[0]);
  }
}

TEST_F(TransmitPanelTest, AutreWithF0GoesOutAsSystemExclusive) {
  Start();
  window->rbSendOther->click();
  window->edData11->setValue(0xF0);
  window->edData12->setValue(0x01);
  window->edData13->setValue(0xF7);
  window->btnSendData1->click();
  EXPECT_TRUE(midi->ShortMessages().empty());
  EXPECT_EQ(midi->LongMessages(), (std::vector<std::vector<uint8_t>>{{0xF0, 0x01, 0xF7}}));
  EXPECT_EQ(OutLines(), QStringList{"F0 01 F7"});
}

struct RefusedCase {
  const char* name;
  std::function<void(TestMidiServices&)> fault;
  QString line;
};

// A message that does not leave is logged with the reason, never as sent, and
// is not counted.
TEST_F(TransmitPanelTest, ARefusedMessageIsLoggedWithItsReasonInsteadOfAsSent) {
  const RefusedCase cases[] = {
      {"output closed", [](TestMidiServices&) { MidiOut_Close(); },
       "[Midi-Out] - 90 3C 40 (Non envoyé : MIDI Output device not open)"},
      {"device gone",
       [](TestMidiServices& m) {
         m.SetErrorText(MIDIERR_NODEVICE, "The MIDI device is no longer present.");
         m.FailNext("midiOutShortMsg", MIDIERR_NODEVICE);
       },
       "[Midi-Out] - 90 3C 40 (Non envoyé : The MIDI device is no longer present.)"},
      {"driver busy", [](TestMidiServices& m) { m.FailNext("midiOutShortMsg", MIDIERR_NOTREADY); },
       "[Midi-Out] - 90 3C 40 (Non envoyé : (Short Msg) The hardware is busy with other data.)"},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    c.fault(*midi);
    window->btnLogClearClick(window->btnLogClear);
    MidiOutCount = 0;
    EXPECT_THROW(window->btnSendData1Click(window->btnSendData1), EMidiOutputError);
    EXPECT_EQ(LogLines(), QStringList{c.line});
    EXPECT_EQ(MidiOutCount, 0);
    EXPECT_FALSE(window->LedMidiOut->LedOn());
    TearDown();
  }
}

// --- Continuous sending ---

TEST_F(TransmitPanelTest, ContinuousSendingAlternatesRowsWithTheirWaitsAndFinishesTheCycle) {
  Start();
  window->edMidiSendDelayBeforeNoteOff->setValue(700);
  window->edMidiSendDelayBeforeNoteOn->setValue(1000);
  const uint32_t start = clock.Now;
  struct Wait {
    uint32_t at;
    QStringList sent;
  };
  std::vector<Wait> waits;
  clock.OnWait = [&] {
    waits.push_back({clock.Now - start, OutLines()});
    if (waits.size() == 3) SetQuietly(window->btnMidiSendContinuous, false);  // "unchecked" by the user
  };
  window->btnMidiSendContinuous->setChecked(true);  // returns when the loop ends

  ASSERT_EQ(waits.size(), 4u);
  EXPECT_EQ(waits[0].at, 0u);
  EXPECT_EQ(waits[0].sent, QStringList{"90 3C 40"});
  EXPECT_EQ(waits[1].at, 700u);
  EXPECT_EQ(waits[1].sent, (QStringList{"90 3C 40", "80 3C 00"}));
  EXPECT_EQ(waits[2].at, 1700u);
  EXPECT_EQ(waits[2].sent.size(), 3);
  // Unchecked during the wait before row B: row B and the wait after it still come.
  EXPECT_EQ(waits[3].at, 2400u);
  EXPECT_EQ(OutLines(), (QStringList{"90 3C 40", "80 3C 00", "90 3C 40", "80 3C 00"}));
  EXPECT_EQ(clock.Now - start, 3400u);
  EXPECT_EQ(midi->ShortMessages().size(), 4u);
}

TEST_F(TransmitPanelTest, ContinuousSendingReadsEveryValueWhenItIsUsed) {
  Start();
  int waits = 0;
  clock.OnWait = [&] {
    if (++waits == 1) {
      window->rbSendPC->click();  // row B of Program Change, third byte sent as held
      window->cbMidiSendWithDelay->setChecked(false);
      SetQuietly(window->btnMidiSendContinuous, false);
    }
  };
  window->btnMidiSendContinuous->setChecked(true);
  EXPECT_EQ(waits, 1);  // no wait after row B any more
  EXPECT_EQ(OutLines(), (QStringList{"90 3C 40", "C0 01"}));
  // The handler of "avec délai" disabled both delay fields on the way.
  EXPECT_FALSE(window->edMidiSendDelayBeforeNoteOn->isEnabled());
  EXPECT_FALSE(window->edMidiSendDelayBeforeNoteOff->isEnabled());
}

// The rows go to the port with three bytes; a Program Change takes two of
// them, and the log shows the two that went out.
TEST_F(TransmitPanelTest, ContinuousProgramChangeLogsTheTwoBytesSent) {
  Start();
  window->rbSendPC->click();
  clock.OnWait = [&] { SetQuietly(window->btnMidiSendContinuous, false); };
  window->btnMidiSendContinuous->setChecked(true);
  EXPECT_EQ(OutLines(), (QStringList{"C0 01", "C0 01"}));
}

TEST_F(TransmitPanelTest, DelayCheckBoxIsEnabledOnlyWhileRunningAndControlsTheDelayFields) {
  Start();
  EXPECT_FALSE(window->cbMidiSendWithDelay->isEnabled());
  EXPECT_TRUE(window->cbMidiSendWithDelay->isChecked());
  EXPECT_TRUE(window->edMidiSendDelayBeforeNoteOn->isEnabled());
  EXPECT_EQ(window->btnMidiSendContinuous->text(), "Envoi en continu");
  EXPECT_EQ(window->cbMidiSendWithDelay->text(), "avec délai");

  clock.Waits = 0;
  bool enabledWhileRunning = false;
  bool fieldsAfterUncheck = true;
  bool fieldsAfterRecheck = false;
  clock.OnWait = [&] {
    if (clock.Waits > 0) return;  // the first wait only
    enabledWhileRunning = window->cbMidiSendWithDelay->isEnabled();
    window->cbMidiSendWithDelay->setChecked(false);
    fieldsAfterUncheck = window->edMidiSendDelayBeforeNoteOff->isEnabled();
    window->cbMidiSendWithDelay->setChecked(true);
    fieldsAfterRecheck = window->edMidiSendDelayBeforeNoteOff->isEnabled();
    SetQuietly(window->btnMidiSendContinuous, false);
  };
  window->btnMidiSendContinuous->setChecked(true);
  EXPECT_TRUE(enabledWhileRunning);
  EXPECT_FALSE(fieldsAfterUncheck);
  EXPECT_TRUE(fieldsAfterRecheck);
  SetQuietly(window->btnMidiSendContinuous, true);
  window->btnMidiSendContinuous->setChecked(false);  // unchecked by the user
  EXPECT_FALSE(window->cbMidiSendWithDelay->isEnabled());
}

TEST_F(TransmitPanelTest, DelayFieldsTakeZeroToOneHour) {
  Start();
  QSpinBox* delay = window->edMidiSendDelayBeforeNoteOn;
  EXPECT_EQ(delay->value(), 1000);
  EXPECT_EQ(delay->singleStep(), 100);
  delay->setValue(-5);
  EXPECT_EQ(delay->value(), 0);
  delay->setValue(5'000'000);
  EXPECT_EQ(delay->value(), 3'600'000);
}

TEST_F(TransmitPanelTest, ZeroDelayStillProcessesPendingEvents) {
  Start();
  window->edMidiSendDelayBeforeNoteOff->setValue(0);
  window->edMidiSendDelayBeforeNoteOn->setValue(0);
  bool timerRan = false;
  QTimer::singleShot(0, window.get(), [&] {
    timerRan = true;
    SetQuietly(window->btnMidiSendContinuous, false);
  });
  window->btnMidiSendContinuous->setChecked(true);
  EXPECT_TRUE(timerRan);
  EXPECT_EQ(OutLines().size(), 2);
}

TEST_F(TransmitPanelTest, AFailingSendStopsTheContinuousSendWithTheReason) {
  Start();
  midi->FailNext("midiOutShortMsg", MIDIERR_NOTREADY, 1, 2);  // the third send fails
  window->btnMidiSendContinuous->setChecked(true);  // returns when the loop ends
  EXPECT_EQ(LogLines(),
            (QStringList{"[Midi-Out] - 90 3C 40", "[Midi-Out] - 80 3C 00",
                         "[Midi-Out] - 90 3C 40 (Non envoyé : (Short Msg) The hardware is busy with other data.)",
                         "Envoi en continu arrêté : (Short Msg) The hardware is busy with other data."}));
  EXPECT_EQ(midi->ShortMessages().size(), 2u);
  EXPECT_EQ(MidiOutCount, 2);
  EXPECT_FALSE(window->btnMidiSendContinuous->isChecked());
  EXPECT_FALSE(window->cbMidiSendWithDelay->isEnabled());
}

TEST_F(TransmitPanelTest, ContinuousWithoutOutputLogsTheRefusalAndStops) {
  Start();
  MidiOut_Close();
  window->btnMidiSendContinuous->setChecked(true);
  EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - 90 3C 40 (Non envoyé : MIDI Output device not open)",
                                     "Envoi en continu arrêté : MIDI Output device not open"}));
  EXPECT_FALSE(window->btnMidiSendContinuous->isChecked());
}

// The cycle's Note Off still goes out, before the port closes (see
// CompletionTest); nothing else does.
TEST_F(TransmitPanelTest, CloseDuringContinuousSendingStopsAtOnce) {
  Start();
  int waits = 0;
  clock.OnWait = [&] {
    if (++waits == 1) window->close();
  };
  const uint32_t start = clock.Now;
  window->btnMidiSendContinuous->setChecked(true);
  EXPECT_EQ(waits, 1);  // the waits after the close return at once
  EXPECT_EQ(clock.Now - start, 1000u);
  EXPECT_EQ(OutLines(), (QStringList{"90 3C 40", "80 3C 00"}));
  EXPECT_EQ(midi->ShortMessages().size(), 2u);
  EXPECT_FALSE(window->btnMidiSendContinuous->isChecked());
  EXPECT_FALSE(midi->OutputOpen());
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_TRUE(QFile::exists(PrefsFileName));
}

}  // namespace
