// The main window and the bulk-send window from the keyboard alone and as a
// screen reader sees them: mnemonics and shortcuts, Tab order, Enter and
// Space on the controls, the accessible names of every control.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QToolButton>
#include <QtTest/QTest>

#include <map>

#include "AccessibleWidgets.h"
#include "BulkSpinBox.h"
#include "CounterDisplay.h"
#include "HexSpinBox.h"
#include "LogDisplay.h"
#include "MainWindowFixture.h"
#include "StatusBar.h"
#include "StatusShape.h"
#include "rmLed.h"

namespace {

class KeyboardAndScreenReaderTest : public MainWindowFixture {
 protected:
  void StartShown() {
    Start({{"Keyboard"}, {"Synth A"}});
    window->activateWindow();
    for (int i = 0; i < 100 && QApplication::activeWindow() != window.get(); ++i) {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_EQ(QApplication::activeWindow(), window.get());
  }

  static QString Name(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(QAccessible::Name) : QString();
  }

  // The next widget that Tab stops at: labels and panels are in the chain but
  // take no focus; a spin box's line edit follows the box itself.
  static const QWidget* NextTabStop(const QWidget* widget) {
    const QWidget* next = widget->nextInFocusChain();
    while (next && (!(next->focusPolicy() & Qt::TabFocus) || next->parentWidget() == widget)) {
      next = next->nextInFocusChain();
    }
    return next;
  }

  // The mnemonic letter of a caption ('&' before it), lower case; 0 when none.
  static QChar Mnemonic(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
      if (caption[i] == QLatin1Char('&') && caption[i + 1] != QLatin1Char('&')) return caption[i + 1].toLower();
    }
    return QChar();
  }

  static void ExpectMnemonicsOfTheirOwn(const QList<QAction*>& actions, const char* where) {
    QSet<QChar> taken;
    for (QAction* action : actions) {
      if (action->isSeparator()) continue;
      const QChar letter = Mnemonic(action->text());
      EXPECT_FALSE(letter.isNull()) << where << ": " << action->text().toStdString();
      EXPECT_FALSE(taken.contains(letter)) << where << ": " << action->text().toStdString() << " repeats a letter";
      taken.insert(letter);
    }
  }
};

TEST_F(KeyboardAndScreenReaderTest, EveryMenuAndEveryEntryHasAMnemonicOfItsOwnAndShowsItsCaptionUnchanged) {
  Start();
  ExpectMnemonicsOfTheirOwn(window->menuBar()->actions(), "menu bar");
  QStringList shown;
  for (QMenu* menu : {window->mnuFile, window->mnuEdit, window->mnuTools, window->mnuView, window->mnuHelp}) {
    ExpectMnemonicsOfTheirOwn(menu->actions(), menu->title().toStdString().c_str());
    shown << QString(menu->title()).remove(QLatin1Char('&'));
  }
  EXPECT_EQ(shown, (QStringList{"Fichier", "Edition", "Outils", "Affichage", "Aide"}));
  // The hint repeats the caption as shown, without the mark.
  EXPECT_EQ(window->ActToolsLoopTest->statusTip(), QString::fromUtf8("Test boucle (sortie sur entrée)"));
}

TEST_F(KeyboardAndScreenReaderTest, CommandsHaveTheirShortcutsAndNoTwoShareOne) {
  Start();
  struct Case {
    const char* name;
    QKeySequence actual;
    QKeySequence expected;
  };
  const Case cases[] = {
      {"Quitter", window->ActAppClose->shortcut(), QKeySequence("Ctrl+Q")},
      {"Copier", window->ActEditCopy->shortcut(), QKeySequence("Ctrl+C")},
      {"Index de l'aide", window->ActAppHelp->shortcut(), QKeySequence("F1")},
      {"Enregistrer le journal", window->ActFileSaveLog->shortcut(), QKeySequence("Ctrl+S")},
      {"Test boucle", window->ActToolsLoopTest->shortcut(), QKeySequence("Ctrl+T")},
      {"Envoi par paquets", window->ActToolsSendBulk->shortcut(), QKeySequence("Ctrl+B")},
      {"Voir section Interfaces", window->ActViewDevIO->shortcut(), QKeySequence("Ctrl+1")},
      {"Voir section Emission", window->ActViewTx->shortcut(), QKeySequence("Ctrl+2")},
      {"Voir section Réception", window->ActViewRx->shortcut(), QKeySequence("Ctrl+3")},
      {"Voir toutes les sections", window->ActViewAll->shortcut(), QKeySequence("Ctrl+0")},
      {"Reset", window->btnMidiReset->shortcut(), QKeySequence("Ctrl+R")},
      {"Effacer", window->btnLogClear->shortcut(), QKeySequence("Ctrl+L")},
      {"Pause (Rx)", window->btnRxPause->shortcut(), QKeySequence("Ctrl+P")},
      {"Rechercher", window->Display->ActEditFind->shortcut(), QKeySequence("Ctrl+F")},
      {"Rechercher le suivant", window->Display->ActEditFindNext->shortcut(), QKeySequence("F3")},
      {"Rechercher le précédent", window->Display->ActEditFindPrevious->shortcut(), QKeySequence("Shift+F3")},
  };
  std::map<QString, const char*> owners;
  for (const Case& c : cases) {
    EXPECT_EQ(c.actual, c.expected) << c.name;
    const auto [it, fresh] = owners.emplace(c.actual.toString(), c.name);
    EXPECT_TRUE(fresh) << c.name << " shares its shortcut with " << it->second;
  }
  for (QAction* action : window->findChildren<QAction*>()) {
    if (action->shortcut().isEmpty()) continue;
    EXPECT_TRUE(owners.count(action->shortcut().toString()))
        << action->text().toStdString() << " has a shortcut the table does not know";
  }
}

TEST_F(KeyboardAndScreenReaderTest, TheLogKeepsItsOwnKeysBeforeTheWindowsShortcuts) {
  Start();
  struct Case {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool theLogs;
  };
  const Case cases[] = {
      {"Ctrl+C copies the selected lines, not the whole log", Qt::Key_C, Qt::ControlModifier, true},
      {"Ctrl+A selects all", Qt::Key_A, Qt::ControlModifier, true},
      {"Enter sends the line again", Qt::Key_Return, Qt::NoModifier, true},
      {"Up moves the cursor", Qt::Key_Up, Qt::NoModifier, true},
      {"Shift+End extends the selection", Qt::Key_End, Qt::ShiftModifier, true},
      {"Ctrl+R is Reset's", Qt::Key_R, Qt::ControlModifier, false},
      {"Ctrl+Q is Quitter's", Qt::Key_Q, Qt::ControlModifier, false},
      {"Ctrl+Up is nobody's in the log", Qt::Key_Up, Qt::ControlModifier, false},
  };
  for (const Case& c : cases) {
    QKeyEvent override(QEvent::ShortcutOverride, c.key, c.modifiers);
    override.ignore();
    QApplication::sendEvent(window->MemoLog, &override);
    EXPECT_EQ(override.isAccepted(), c.theLogs) << c.name;
  }
}

TEST_F(KeyboardAndScreenReaderTest, InTheLogCtrlCCopiesTheSelectedLines) {
  StartShown();
  Receive({0x403C90, 0x003C80});
  window->MemoLog->setFocus();
  window->MemoLog->SelectLines(1, 1);
  QTest::keyClick(window->MemoLog, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "[MIDI-In] - 80 3C 00 (Note Off)");
}

TEST_F(KeyboardAndScreenReaderTest, EnterOnALogLineSendsItAgainAsADoubleClickDoes) {
  StartShown();
  Receive({0x403C91});
  window->MemoLog->setFocus();
  window->MemoLog->SetCurrentLine(0);
  QTest::keyClick(window->MemoLog, Qt::Key_Return);
  EXPECT_EQ(window->sbMain->PanelText(0), "Tx-OK");
  EXPECT_EQ(midi->ShortMessages(), std::vector<uint32_t>{0x403C91});
}

TEST_F(KeyboardAndScreenReaderTest, EnterAndSpacePressTheFocusedButton) {
  StartShown();
  window->btnSendData1->setFocus();
  QTest::keyClick(window->btnSendData1, Qt::Key_Return);
  window->btnSendData2->setFocus();
  QTest::keyClick(window->btnSendData2, Qt::Key_Space);
  EXPECT_EQ(midi->ShortMessages(), (std::vector<uint32_t>{0x403C90, 0x003C80}));
}

TEST_F(KeyboardAndScreenReaderTest, TheErrorLampTakesTheFocusAndSpaceSwitchesItOff) {
  StartShown();
  window->LedMidiErr->SetLedOn(true);
  EXPECT_TRUE(window->LedMidiErr->focusPolicy() & Qt::TabFocus);
  window->LedMidiErr->setFocus();
  QTest::keyClick(window->LedMidiErr, Qt::Key_Space);
  EXPECT_FALSE(window->LedMidiErr->LedOn());
  EXPECT_EQ(window->LedMidiIn->focusPolicy(), Qt::NoFocus) << "the activity lamps only show";
}

TEST_F(KeyboardAndScreenReaderTest, TabGoesThroughTheSectionsFromTheTopEachRowFollowedByItsButton) {
  Start();
  const QWidget* expected[] = {
      window->cbMIDIIn, window->cbMIDIOut, window->LedMidiErr, window->btnMidiReset,
      window->edData11, window->edData12, window->edData13, window->btnSendData1,
      window->edData21, window->edData22, window->edData23, window->btnSendData2,
      window->btnMidiSendContinuous, window->cbMidiSendWithDelay,
      window->edMidiSendDelayBeforeNoteOn, window->edMidiSendDelayBeforeNoteOff,
      window->rbSendNote, window->rbSendCC, window->rbSendPC, window->rbSendOther,
      window->cbMidiSendRT, window->cbMidiSendMMC, window->cbMidiSendMCP,
      window->btnSendRTStart, window->btnSendRTRec, window->btnSendRTStop, window->btnSendRTContinue,
      window->seLogMaxEvents, window->btnLogClear, window->btnRxPause, window->cbDTflag,
      window->cbMidiInFilterTimeCode, window->MemoLog};
  for (size_t i = 1; i < std::size(expected); ++i) {
    EXPECT_EQ(NextTabStop(expected[i - 1]), expected[i]) << i;
  }
}

TEST_F(KeyboardAndScreenReaderTest, TheFocusedLogShowsItsFrameInTheHighlightColourEvenWithoutACursorLine) {
  StartShown();
  ASSERT_EQ(window->MemoLog->CurrentLine(), -1);
  window->cbMIDIIn->setFocus();
  QApplication::processEvents();
  const QColor highlight = window->MemoLog->palette().color(QPalette::Highlight);
  const QPoint corner(window->MemoLog->width() / 2, 0);  // the top edge of the frame
  EXPECT_NE(window->MemoLog->grab().toImage().pixelColor(corner), highlight);
  window->MemoLog->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(window->MemoLog->hasFocus());
  EXPECT_EQ(window->MemoLog->grab().toImage().pixelColor(corner), highlight);
}

// --- What a screen reader reads ---

TEST_F(KeyboardAndScreenReaderTest, EveryControlOfBothWindowsHasAName) {
  Start();
  for (QWidget* top : {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(bulk.get())}) {
    for (QWidget* widget : top->findChildren<QWidget*>()) {
      const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
                           qobject_cast<QAbstractSpinBox*>(widget) || qobject_cast<TLogView*>(widget) ||
                           qobject_cast<TrmLed*>(widget) || qobject_cast<TCounterDisplay*>(widget) ||
                           qobject_cast<TShape*>(widget) || widget->objectName() == "Memo1";
      if (!control || widget->objectName().startsWith("qt_")) continue;  // the toolkit's own parts
      if (qobject_cast<QAbstractSpinBox*>(widget->parentWidget())) continue;  // a spin box's own parts
      EXPECT_FALSE(Name(widget).isEmpty()) << top->metaObject()->className() << " "
                                           << widget->metaObject()->className() << " "
                                           << widget->objectName().toStdString();
    }
  }
}

TEST_F(KeyboardAndScreenReaderTest, TheControlsAreNamedByTheCaptionsOnScreen) {
  Start();
  struct Case {
    QWidget* widget;
    const char* name;
  };
  const Case cases[] = {
      {window->LedMidiIn, "MIDI In"},
      {window->LedMidiOut, "MIDI Out"},
      {window->LedMidiErr, "Erreur MIDI"},
      {window->cntMidiIn, "Compteur MIDI In"},
      {window->cntMidiOut, "Compteur MIDI Out"},
      {window->shMidiIn, "Port MidiIn"},
      {window->shMidiOut, "Port MidiOut"},
      {window->edData11, "NoteOn"},
      {window->edData12, "Valeur"},
      {window->edData13, "Vélocité"},
      {window->edData21, "NoteOff"},
      {window->edMidiSendDelayBeforeNoteOn, "Avant NoteOn"},
      {window->edMidiSendDelayBeforeNoteOff, "Avant NoteOff"},
      {window->seLogMaxEvents, "Nb Max éven."},
      {window->MemoLog, "Messages MIDI reçus et envoyés (les plus récents en fin de liste)"},
      {window->btnRxPause, "Pause (Rx)"},
      {bulk->PresetButtons[2], "Preset 3"},
      {bulk->edData1Min, "Min"},
      {bulk->edLoopDelay, "Délai entre événements"},
      {bulk->Memo1, "Derniers événements MIDI transmis"},
  };
  for (const Case& c : cases) EXPECT_EQ(Name(c.widget), QString::fromUtf8(c.name)) << c.name;
  // A device list's name on this platform is the device it shows; the
  // description says which list it is, or the caption beside it does.
  auto description = [](QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Description);
  };
  EXPECT_EQ(description(window->cbMIDIIn), QString::fromUtf8("Interface entrée MIDI"));
  EXPECT_EQ(description(window->cbMIDIOut), QString::fromUtf8("Interface sortie MIDI"));
  const auto labels = QAccessible::queryAccessibleInterface(bulk->cbMIDIOut)->relations(QAccessible::Label);
  ASSERT_EQ(labels.size(), 1);
  EXPECT_EQ(labels[0].first->text(QAccessible::Name), "Envoyer vers la sortie MIDI :");
  EXPECT_EQ(Name(window->pnlMidiTx), QString::fromUtf8("Emission données MIDI")) << "a section by its title";
  // The range boxes also say which row they belong to.
  EXPECT_EQ(description(bulk->edData1Min), QString::fromUtf8("Boucler sur numéro de commande (octet #2)"));
  // A field's name follows its caption when the mode changes it.
  window->rbSendCC->setChecked(true);
  EXPECT_EQ(Name(window->edData11), "CC");
}

TEST_F(KeyboardAndScreenReaderTest, TheLampsCountersAndShapesSayWhatTheyShow) {
  Start();
  auto description = [](QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Description);
  };
  EXPECT_EQ(description(window->shMidiIn), "ouvert (Port MidiIn ouvert)");
  EXPECT_EQ(description(window->shMidiOut), "ouvert (Port MidiOut ouvert)");
  EXPECT_EQ(description(window->LedMidiErr), QString::fromUtf8("éteinte"));
  window->MidiInOverflow(nullptr);
  EXPECT_EQ(description(window->LedMidiErr),
            QString::fromUtf8("allumée : la file d'entrée MIDI a débordé, des messages sont perdus ; un clic ou "
                              "Reset l'éteint"));
  Receive({0x403C90, 0x003C80});
  EXPECT_EQ(description(window->cntMidiIn), "2");
  EXPECT_EQ(description(window->LedMidiIn), QString::fromUtf8("allumée : des messages MIDI arrivent"));
  window->btnSendData1->click();
  EXPECT_EQ(description(window->cntMidiOut), "1");
  EXPECT_EQ(description(window->LedMidiOut), QString::fromUtf8("allumée : des messages MIDI partent"));
  window->TimerMidiOutTimer(nullptr);
  EXPECT_EQ(description(window->LedMidiOut), QString::fromUtf8("éteinte"));
}

TEST_F(KeyboardAndScreenReaderTest, TheBulkPresetsTakeTheFocusAndSayWhichIsCurrent) {
  Start();
  QToolButton* third = bulk->PresetButtons[2];
  EXPECT_TRUE(third->focusPolicy() & Qt::TabFocus);
  third->click();
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(third);
  EXPECT_TRUE(iface->state().checked);
  EXPECT_FALSE(QAccessible::queryAccessibleInterface(bulk->PresetButtons[0])->state().checked);
  EXPECT_EQ(NextTabStop(bulk->PresetButtons[0]), bulk->PresetButtons[1]);
  EXPECT_EQ(NextTabStop(bulk->PresetButtons.back()), bulk->cbMIDIOut) << "the presets come first";
  EXPECT_EQ(bulk->focusWidget(), bulk->cbMIDIOut) << "the window opens on the output list";
}

}  // namespace
