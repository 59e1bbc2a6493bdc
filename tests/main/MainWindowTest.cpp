// The main window's frame: start-up, menus, sections, counters and LEDs,
// Reset, copy, device lists and the close sequence.
#include <QAction>
#include <QCheckBox>
#include <QLayout>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QTimer>

#include "CounterDisplay.h"
#include "HexSpinBox.h"
#include "LogView.h"
#include "MainWindowFixture.h"
#include "StatusBar.h"
#include "StatusShape.h"
#include "rmLed.h"

namespace {

const QColor kLime(0x00, 0xFF, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);

class MainWindowTest : public MainWindowFixture {};

TEST_F(MainWindowTest, StartUpWithoutPreferencesOpensTheFirstDeviceOfEachList) {
  Start({{"Keyboard", "Pads"}, {"Synth A", "Synth B"}});
  EXPECT_EQ(window->windowTitle(), "Orvalis");
  EXPECT_EQ(window->cbMIDIIn->currentText(), "Keyboard");
  EXPECT_EQ(window->cbMIDIOut->currentText(), "Synth A");
  EXPECT_EQ(MidiInPort->State(), misOpen);
  EXPECT_EQ(MidiInPort->ProductName(), "Keyboard");
  EXPECT_TRUE(midi->InputStarted());
  EXPECT_EQ(MidiOutPort->State(), mosOpen);
  EXPECT_EQ(MidiOutPort->ProductName(), "Synth A");
  EXPECT_EQ(window->shMidiIn->BrushColor(), kLime);
  EXPECT_EQ(window->shMidiIn->Hint(), "Port MidiIn ouvert");
  EXPECT_EQ(window->shMidiOut->BrushColor(), kLime);
  EXPECT_EQ(window->shMidiOut->Hint(), "Port MidiOut ouvert");
  EXPECT_EQ(window->seLogMaxEvents->value(), 400);
  EXPECT_EQ(LogMaxEvents, 400);
  EXPECT_EQ(UserPrefs.MidiInDevName, "Keyboard");
  EXPECT_EQ(UserPrefs.MidiOutDevName, "Synth A");
  EXPECT_EQ(PrefsFileName, prefsDir.filePath("orvalis.ini"));
  for (THexSpinBox* edit : {window->edData11, window->edData12, window->edData13, window->edData21,
                            window->edData22, window->edData23}) {
    EXPECT_FALSE(edit->isReadOnly());
  }
  EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(MainWindowTest, StartUpReopensTheRememberedDevices) {
  QFile file(prefsDir.filePath("orvalis.ini"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[Log]\nLogItemMax=25\n[MidiDevice]\nMidiInDevName=pads\nMidiOutDevName=Synth B\n");
  file.close();

  Start({{"Keyboard", "Pads"}, {"Synth A", "Synth B"}});
  EXPECT_EQ(window->cbMIDIIn->currentText(), "Pads");
  EXPECT_EQ(MidiInPort->ProductName(), "Pads");
  EXPECT_EQ(window->cbMIDIOut->currentText(), "Synth B");
  EXPECT_EQ(MidiOutPort->ProductName(), "Synth B");
  EXPECT_EQ(LogMaxEvents, 25);
}

TEST_F(MainWindowTest, MenusBindActionsWithCaptionsHintsAndCheckMarks) {
  Start();
  struct Case {
    QAction* action;
    const char* caption;
    bool hintIsCaption;
    bool checked;
  };
  const Case cases[] = {
      {window->ActAppClose, "Quitter", true, false},
      {window->ActEditCopy, "Copier", true, false},
      {window->ActToolsLoopTest, "Test boucle (sortie sur entrée)", true, false},
      {window->ActToolsSendBulk, "Envoi par paquets", true, false},
      {window->ActViewDevIO, "Voir section Interfaces entrée/sortie", false, true},
      {window->ActViewTx, "Voir section Emission données MIDI", false, true},
      {window->ActViewRx, "Voir section Réception données MIDI", false, true},
      {window->ActViewAll, "Voir toutes les sections", false, false},
      {window->ActAppHelp, "Index de l'aide", true, false},
      {window->ActAppAbout, "A propos...", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    EXPECT_EQ(QString(c.action->text()).remove(QLatin1Char('&')), c.caption);  // as shown
    EXPECT_EQ(c.action->statusTip(), c.hintIsCaption ? QString(c.caption) : QString());
    EXPECT_EQ(c.action->isChecked(), c.checked);
  }
  EXPECT_FALSE(window->ActAppHelp->isEnabled());
  // Three toggles, separator, all; then separator and the log's display options.
  EXPECT_EQ(window->mnuView->actions().size(), 10);
  EXPECT_TRUE(window->mnuView->actions().at(3)->isSeparator());
  EXPECT_TRUE(window->mnuView->actions().at(5)->isSeparator());
}

TEST_F(MainWindowTest, ViewCommandsKeepTheSectionsInTheirFixedOrder) {
  Start();
  auto visibleSections = [&] {
    std::vector<std::pair<int, std::string>> shown;
    for (auto [widget, name] : {std::pair<QWidget*, const char*>{window->pnlDevIO, "dev"},
                                {window->pnlMidiTx, "tx"},
                                {window->pnlMidiRx, "rx"},
                                {window->MemoLog, "log"}}) {
      if (widget->isVisibleTo(window.get())) shown.emplace_back(widget->geometry().top(), name);
    }
    std::sort(shown.begin(), shown.end());
    std::string order;
    for (const auto& item : shown) order += item.second + " ";
    return order;
  };
  auto layOut = [&] {
    window->centralWidget()->layout()->activate();
    return visibleSections();
  };
  EXPECT_EQ(layOut(), "dev tx rx log ");

  window->ActViewTx->trigger();  // through the menu's action
  EXPECT_FALSE(window->ActViewTx->isChecked());
  EXPECT_EQ(layOut(), "dev rx log ");
  EXPECT_EQ(window->pnlMidiRx->geometry().top(), 97);  // right below the device panel
  window->ActViewTx->trigger();
  EXPECT_EQ(layOut(), "dev tx rx log ");

  window->ActViewRxExecute(window->ActViewRx);
  EXPECT_EQ(layOut(), "dev tx ");
  window->ActViewDevIOExecute(window->ActViewDevIO);
  EXPECT_EQ(layOut(), "tx ");
  EXPECT_FALSE(window->btnViewAll->isVisibleTo(window.get()));
  window->ActViewTxExecute(window->ActViewTx);
  EXPECT_EQ(layOut(), "");
  EXPECT_TRUE(window->btnViewAll->isVisibleTo(window.get()));

  window->btnViewAll->click();
  EXPECT_EQ(layOut(), "dev tx rx log ");
  EXPECT_FALSE(window->btnViewAll->isVisibleTo(window.get()));
  for (QAction* view : {window->ActViewDevIO, window->ActViewTx, window->ActViewRx}) {
    EXPECT_TRUE(view->isChecked());
  }
}

TEST_F(MainWindowTest, SectionsHaveTheirDesignHeights) {
  Start();
  EXPECT_EQ(window->pnlDevIO->height(), 97);
  EXPECT_EQ(window->pnlMidiTx->height(), 150);
  EXPECT_EQ(window->pnlMidiRx->height(), 78);
  EXPECT_EQ(window->sbMain->height(), 19);
  EXPECT_EQ(window->sbMain->PanelCount(), 2);
}

TEST_F(MainWindowTest, ResetClearsCountersAndErrorLedButNotTheLogOrActivityLeds) {
  Start();
  Receive({0xFA, 0xFB});
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFC}, 1, true);
  window->MidiInOverflow(MidiInPort.get());
  ASSERT_TRUE(window->LedMidiErr->LedOn());
  const QStringList before = LogLines();

  window->btnMidiReset->click();
  EXPECT_EQ(MidiInCount, 0);
  EXPECT_EQ(MidiOutCount, 0);
  EXPECT_EQ(window->cntMidiIn->Value(), 0);
  EXPECT_EQ(window->cntMidiOut->Value(), 0);
  EXPECT_FALSE(window->LedMidiErr->LedOn());
  EXPECT_TRUE(window->LedMidiIn->LedOn());
  EXPECT_TRUE(window->LedMidiOut->LedOn());
  EXPECT_EQ(LogLines(), before);
}

TEST_F(MainWindowTest, CopyPutsTheWholeLogOnTheClipboardAndLeavesNothingSelected) {
  Start();
  window->Log_AddLine("first");
  Receive({0xFA});
  window->MemoLog->SelectLines(0, 0);
  window->ActEditCopy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), "first\n[MIDI-In] - FA (Start)");
  EXPECT_FALSE(window->MemoLog->HasSelection());
  EXPECT_EQ(window->MemoLog->CurrentLine(), -1);
  EXPECT_TRUE(window->MemoLog->FollowsEnd());
}

TEST_F(MainWindowTest, EnablingARunningLedTimerDoesNotRestartIt) {
  Start();
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFA}, 1, true);
  ASSERT_TRUE(window->TimerMidiOut->isActive());
  QThread::msleep(40);
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFB}, 1, true);
  EXPECT_LT(window->TimerMidiOut->remainingTime(), 90);
  window->TimerMidiOutTimer(window->TimerMidiOut);
  EXPECT_FALSE(window->LedMidiOut->LedOn());
  EXPECT_FALSE(window->TimerMidiOut->isActive());
}

TEST_F(MainWindowTest, ChoosingAnOutputKeepsTheBulkListInStepWithoutASecondOpen) {
  Start({{"Keyboard"}, {"Synth A", "Synth B"}});
  UserPrefs.PresetIndex = 3;
  const int opensBefore = midi->CallCount("midiOutOpen");
  window->cbMIDIOut->setCurrentIndex(1);
  EXPECT_EQ(midi->CallCount("midiOutOpen"), opensBefore + 1);
  EXPECT_EQ(MidiOutPort->ProductName(), "Synth B");
  EXPECT_EQ(bulk->cbMIDIOut->currentIndex(), 1);
  EXPECT_EQ(UserPrefs.MidiOutDevName, "Synth B");
  EXPECT_EQ(UserPrefs.SendBulkPresets[3].MidiOutDevName, "Synth B");
  EXPECT_EQ(UserPrefs.SendBulkPresets[0].MidiOutDevName, "Synth A");

  bulk->cbMIDIOut->setCurrentIndex(0);  // the bulk window's own list
  EXPECT_EQ(midi->CallCount("midiOutOpen"), opensBefore + 2);
  EXPECT_EQ(window->cbMIDIOut->currentIndex(), 0);
  EXPECT_EQ(MidiOutPort->ProductName(), "Synth A");
}

TEST_F(MainWindowTest, ChoosingAnInputRemembersItsNameEvenWhenItFailsToOpen) {
  Start({{"Keyboard", "Broken"}, {"Synth A"}});
  midi->FailNext("midiInOpen", MMSYSERR_ALLOCATED);
  window->cbMIDIIn->setCurrentIndex(1);
  EXPECT_EQ(UserPrefs.MidiInDevName, "Broken");
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(window->shMidiIn->BrushColor(), kRed);
  EXPECT_EQ(window->shMidiIn->Hint(), "Port MidiIn fermé");  // from the close before
}

TEST_F(MainWindowTest, CloseStopsWaitsSavesPreferencesAndClosesBothPorts) {
  Start();
  window->seLogMaxEvents->setValue(123);
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(AbortDelay);
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_FALSE(midi->OutputOpen());
  QFile ini(PrefsFileName);
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  const QString content = QString::fromUtf8(ini.readAll());
  EXPECT_TRUE(content.contains("LogItemMax=123")) << content.toStdString();
  EXPECT_TRUE(content.contains("MidiInDevName=Keyboard")) << content.toStdString();

  const int sent = static_cast<int>(midi->ShortMessages().size());
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFA}, 1, true);
  EXPECT_EQ(static_cast<int>(midi->ShortMessages().size()), sent);
}

TEST_F(MainWindowTest, CloseRequestUnchecksTheContinuousSend) {
  Start();
  {
    const QSignalBlocker blocker(window->btnMidiSendContinuous);
    window->btnMidiSendContinuous->setChecked(true);
  }
  window->close();
  EXPECT_FALSE(window->btnMidiSendContinuous->isChecked());
}

TEST_F(MainWindowTest, NoDeviceAtAllLeavesEmptyListsAndTwoLogLines) {
  Start({{}, {}});
  EXPECT_EQ(window->cbMIDIIn->count(), 0);
  EXPECT_EQ(window->cbMIDIOut->count(), 0);
  EXPECT_EQ(LogLines(), (QStringList{"Aucun port MIDI In trouvé !", "Aucun port MIDI Out trouvé !"}));
  EXPECT_EQ(window->shMidiIn->BrushColor(), kRed);
  EXPECT_EQ(window->shMidiOut->BrushColor(), kRed);
  EXPECT_EQ(window->shMidiOut->Hint(), "Port MidiOut fermé");
}

}  // namespace
