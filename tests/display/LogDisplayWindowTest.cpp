// The log's display options through the main window: the log unchanged by
// default, filters, details, controller pairs, the clock's tempo, the search,
// the options in the preferences file, keyboard and screen reader.
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>

#include <array>
#include <cmath>

#include "DisplayPrefs.h"
#include "FileCommands.h"
#include "LogDisplay.h"
#include "LogSearchBar.h"
#include "MainWindowFixture.h"
#include "StatusBar.h"
#include "TempoDisplay.h"

namespace {

class LogDisplayWindowTest : public MainWindowFixture {
 protected:
  void StartWithPrefs(const QByteArray& ini) {
    QFile file(prefsDir.filePath("orvalis.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ini);
    file.close();
    Start();
  }

  LogDisplay& Display() { return *window->Display; }

  void SetPrefs(const std::function<void(DisplayPrefs&)>& change) {
    DisplayPrefs prefs = Display().Prefs();
    change(prefs);
    Display().SetPrefs(prefs);
  }

  // The receive and send traffic of the table below, through the window.
  void Traffic() {
    Receive({0x403C90, 0x7F07B0, 0x7F27B0, 0x0005C9, 0x4000E9, 0xF8, 0xFA, 0x0005F1});
    ASSERT_TRUE(midi->DeliverSysex({0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}));
    Pump();
    MidiOut_SendBytes(std::array<uint8_t, 3>{0x99, 0x24, 0x64}, 3, true);
    MidiOut_SendBytes(std::array<uint8_t, 1>{0xFC}, 1, true);
  }

  static QString Accessible(QObject* object, QAccessible::Text text) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface ? iface->text(text) : QString();
  }

  // Runs `act` (which opens the modal options dialog), lets `use` work on
  // the dialog, then closes it with OK (or Annuler).
  void WithDialog(const std::function<void()>& act, const std::function<void(DisplayOptionsDialog&)>& use,
                  bool accept = true) {
    bool used = false;
    QTimer::singleShot(0, [&] {
      DisplayOptionsDialog* dialog = Display().OpenDialog();
      ASSERT_NE(dialog, nullptr);
      use(*dialog);
      used = true;
      accept ? dialog->accept() : dialog->reject();
    });
    act();
    EXPECT_TRUE(used);
  }

  // What the traffic of Traffic() logs with every option at its default.
  const QStringList kPlainLines = {
      "[MIDI-In] - 90 3C 40 (Note On)",
      "[MIDI-In] - B0 07 7F (Control Change)",
      "[MIDI-In] - B0 27 7F (Control Change)",
      "[MIDI-In] - C9 05 (Program Change)",
      "[MIDI-In] - E9 00 40 (Pitch Bend)",
      "[MIDI-In] - F8 (Timing Clock)",
      "[MIDI-In] - FA (Start)",
      "[MIDI-In] - F1 05 (MTC Quarter Frame)",
      "[MIDI-In] - F0 7E 00 06 01 F7  (Sysex - 6)",
      "[Midi-Out] - 99 24 64",
      "[Midi-Out] - FC",
  };
};

// --- The defaults ---

TEST_F(LogDisplayWindowTest, WithEveryOptionAtItsDefaultTheLogIsAsItWasWithoutThem) {
  // The defaults written out in the file give the same as no section at all.
  StartWithPrefs("[Display]\nHiddenKinds=\nHiddenChannels=\nHideIn=0\nHideOut=0\nDecimal=0\nChannel=0\n"
                 "NoteNames=0\nMiddleC=4\nControllerNames=0\nProgramNumbers=0\nControllerPairs=0\nClockTempo=1\n");
  EXPECT_EQ(Display().Prefs(), DisplayPrefs{});
  Traffic();
  EXPECT_EQ(LogLines(), kPlainLines);
  EXPECT_FALSE(Display().lblHidden->isVisibleTo(window.get()));
  EXPECT_FALSE(Display().Search->isVisibleTo(window.get()));
}

// --- Filters ---

TEST_F(LogDisplayWindowTest, FiltersLeaveLinesOutWhileCountersAndTheRecordingGetEverything) {
  Start();
  const QString recording = prefsDir.filePath("trafic.txt");
  ASSERT_EQ(window->Files->RecordTrafficTo(recording), QString());
  SetPrefs([](DisplayPrefs& p) {
    p.Filter.SetChannelHidden(10, true);  // 99, C9, E9
    p.Filter.SetKindHidden(MessageKind::Clock, true);
    p.Filter.SetKindHidden(MessageKind::ControlChange, true);
  });
  Traffic();
  EXPECT_EQ(LogLines(), (QStringList{"[MIDI-In] - 90 3C 40 (Note On)", "[MIDI-In] - FA (Start)",
                                     "[MIDI-In] - F1 05 (MTC Quarter Frame)",
                                     "[MIDI-In] - F0 7E 00 06 01 F7  (Sysex - 6)", "[Midi-Out] - FC"}));
  EXPECT_EQ(MidiInCount, 9);
  EXPECT_EQ(MidiOutCount, 2);
  EXPECT_EQ(Display().HiddenCount(), 6u);
  EXPECT_TRUE(PumpUntil([&] {
    return Display().lblHidden->text() == QString::fromUtf8("Journal filtré : 6 messages masqués");
  }));
  EXPECT_TRUE(Display().lblHidden->isVisibleTo(window.get()));
  window->Files->StopTrafficRecording();
  QFile file(recording);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(file.readAll()).count('\n'), 11) << "every message is recorded";

  // A new filter counts from naught; no filter, no count.
  SetPrefs([](DisplayPrefs& p) { p.Filter = LogFilter{}, p.Filter.HideIn = true; });
  EXPECT_EQ(Display().HiddenCount(), 0u);
  Receive({0xFC});
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFB}, 1, true);
  EXPECT_EQ(LogLines().last(), "[Midi-Out] - FB");
  EXPECT_EQ(Display().HiddenCount(), 1u);
  SetPrefs([](DisplayPrefs& p) { p.Filter = LogFilter{}; });
  EXPECT_FALSE(Display().lblHidden->isVisibleTo(window.get()));
}

TEST_F(LogDisplayWindowTest, TheDialogSetsTheFilterAndFiltrerTimeCodeIsOneOfItsKinds) {
  Start();
  WithDialog([&] { Display().ActViewLogFilter->trigger(); },
             [](DisplayOptionsDialog& d) {
               EXPECT_EQ(d.tabs->currentIndex(), 0) << "Messages affichés… opens at the filter";
               EXPECT_FALSE(d.cbDropClockAtInput->isChecked());
               d.lstKinds->item(static_cast<int>(MessageKind::Note))->setCheckState(Qt::Unchecked);
               d.lstChannels->item(2)->setCheckState(Qt::Unchecked);  // channel 3
               d.cbDropClockAtInput->setChecked(true);
             });
  EXPECT_TRUE(window->cbMidiInFilterTimeCode->isChecked()) << "the receive section's box follows the dialog";
  EXPECT_TRUE(Display().Prefs().Filter.HidesKind(MessageKind::Note));
  EXPECT_TRUE(Display().Prefs().Filter.HidesChannel(3));
  Receive({0x403C90, 0xF8, 0x7F07B2, 0x7F07B0});
  EXPECT_EQ(LogLines(), QStringList{"[MIDI-In] - B0 07 7F (Control Change)"});
  EXPECT_EQ(MidiInCount, 3) << "Filtrer TimeCode drops the clock at the input, as ever";
  EXPECT_EQ(DisplayPrefs::Load(prefsDir.filePath("orvalis.ini")), Display().Prefs()) << "written at once";

  // "Annuler" keeps nothing; the box shows the section's state when opened.
  window->cbMidiInFilterTimeCode->setChecked(false);
  WithDialog([&] { Display().ActViewLogFilter->trigger(); },
             [](DisplayOptionsDialog& d) {
               d.btnShowAll->click();
               d.cbDropClockAtInput->setChecked(true);
             },
             false);
  EXPECT_TRUE(Display().Prefs().Filter.HidesKind(MessageKind::Note));
  EXPECT_FALSE(window->cbMidiInFilterTimeCode->isChecked());
  WithDialog([&] { Display().ActViewLogFilter->trigger(); }, [](DisplayOptionsDialog& d) { d.btnShowAll->click(); });
  EXPECT_FALSE(Display().Prefs().Filter.Active());
}

// --- Details ---

TEST_F(LogDisplayWindowTest, DetailsFollowEachLineInAndOutAndADoubleClickStillSendsItsBytes) {
  StartWithPrefs("[Display]\nDecimal=1\nChannel=1\nNoteNames=1\nControllerNames=1\nProgramNumbers=1\nMiddleC=3\n");
  Traffic();
  EXPECT_EQ(LogLines(), (QStringList{
                            "[MIDI-In] - 90 3C 40 (Note On)  canal 1, note 60, C3, vel. 64",
                            "[MIDI-In] - B0 07 7F (Control Change)  canal 1, ctrl 7, Volume, val. 127",
                            "[MIDI-In] - B0 27 7F (Control Change)  canal 1, ctrl 39, Volume LSB, val. 127",
                            "[MIDI-In] - C9 05 (Program Change)  canal 10, programme 6, valeur 5",
                            "[MIDI-In] - E9 00 40 (Pitch Bend)  canal 10, valeur 8192 (+0)",
                            "[MIDI-In] - F8 (Timing Clock)",
                            "[MIDI-In] - FA (Start)",
                            "[MIDI-In] - F1 05 (MTC Quarter Frame)  type 0, valeur 5",
                            "[MIDI-In] - F0 7E 00 06 01 F7  (Sysex - 6)",
                            "[Midi-Out] - 99 24 64  (canal 10, note 36, C1, vel. 100)",
                            "[Midi-Out] - FC",
                        }));
  // A detailed line sends its bytes again, outgoing lines too.
  midi->ClearSent();
  for (int line : {0, 9}) {
    window->MemoLog->SetCurrentLine(line);
    window->MemoLogDblClick(window->MemoLog);
    EXPECT_EQ(window->sbMain->PanelText(0), "Tx-OK") << line;
  }
  EXPECT_EQ(midi->ShortMessages(), (std::vector<uint32_t>{0x403C90, 0x642499}));

  // Options changed from the dialog apply to the lines that follow.
  WithDialog([&] { Display().ActViewLogOptions->trigger(); },
             [](DisplayOptionsDialog& d) {
               EXPECT_EQ(d.tabs->currentIndex(), 1) << "Affichage du journal… opens at the details";
               EXPECT_EQ(d.cbMiddleC->currentText(), "C3");
               d.cbDecimal->setChecked(false);
               d.cbChannel->setChecked(false);
               d.cbMiddleC->setCurrentIndex(0);
             });
  Receive({0x403C90});
  EXPECT_EQ(LogLines().last(), "[MIDI-In] - 90 3C 40 (Note On)  C4");
}

// --- Controller pairs ---

TEST_F(LogDisplayWindowTest, AControllerPairGetsALineOfItsOwnAfterItsBytesThatSendsNothing) {
  Start();
  window->LogTimeOfDay = [] { return QTime(14, 5, 9, 123); };
  window->LogEventAgeUs = [](uint64_t) { return uint64_t{0}; };
  Display().ActViewControllerPairs->trigger();
  EXPECT_TRUE(Display().Prefs().ControllerPairs);
  window->cbDTflag->setChecked(true);
  Receive({0x0065B0, 0x0064B0, 0x0206B0, 0x3226B0});
  MidiOut_SendBytes(std::array<uint8_t, 3>{0xB1, 0x07, 0x64}, 3, true);
  MidiOut_SendBytes(std::array<uint8_t, 3>{0xB1, 0x27, 0x01}, 3, true);
  EXPECT_EQ(LogLines(), (QStringList{
                            "[14:05:09:123] [MIDI-In] - B0 65 00 (Control Change)",
                            "[14:05:09:123] [MIDI-In] - B0 64 00 (Control Change)",
                            "[14:05:09:123] [MIDI-In] - B0 06 02 (Control Change)",
                            "[14:05:09:123] [MIDI-In] - (RPN 0x0000 = 256, canal 1)",
                            "[14:05:09:123] [MIDI-In] - B0 26 32 (Control Change)",
                            "[14:05:09:123] [MIDI-In] - (RPN 0x0000 = 306, canal 1)",
                            "[14:05:09:123] [Midi-Out] - B1 07 64",
                            "[14:05:09:123] [Midi-Out] - B1 27 01",
                            "[14:05:09:123] [Midi-Out] - (CC 7/39 = 12801, canal 2)",
                        }));
  midi->ClearSent();
  window->MemoLog->SetCurrentLine(3);
  window->MemoLogDblClick(window->MemoLog);
  EXPECT_EQ(window->sbMain->PanelText(0), "Err-Fmt!");
  EXPECT_TRUE(midi->ShortMessages().empty());

  // Off: no more pair lines.
  Display().ActViewControllerPairs->trigger();
  window->cbDTflag->setChecked(false);
  Receive({0x0107B0, 0x0127B0});
  EXPECT_EQ(LogLines().last(), "[MIDI-In] - B0 27 01 (Control Change)");
}

// --- Clock tempo ---

class ClockTempoWindowTest : public LogDisplayWindowTest {
 protected:
  void SetUp() override {
    Start();
    tempo = Display().Tempo;
    tempo->NowUs = [this] { return now; };
  }

  // Clocks at `bpm` from `now`, as their driver received them; `now` ends at the last.
  void Clocks(double bpm, int count) {
    const double interval = 60e6 / (24 * bpm);
    const uint64_t start = now;
    for (int k = 0; k < count; ++k) {
      now = start + static_cast<uint64_t>(std::llround(k * interval));
      ASSERT_TRUE(midi->DeliverShortAt(0xF8, now));
    }
    Pump();
  }

  void At(uint32_t packed) {
    ASSERT_TRUE(midi->DeliverShortAt(packed, now));
    Pump();
  }

  TempoDisplay* tempo = nullptr;
  uint64_t now = 7'000'000'000;
};

TEST_F(ClockTempoWindowTest, TheReceiveSectionShowsTheTempoOfTheClockFromItsDriverTimes) {
  EXPECT_FALSE(tempo->isVisibleTo(window.get())) << "nothing without clock";
  for (double bpm : {60.0, 120.0, 187.5}) {
    Clocks(bpm, 60);
    tempo->Refresh();
    ASSERT_TRUE(tempo->isVisibleTo(window.get())) << bpm;
    EXPECT_EQ(tempo->text(), QString::fromUtf8("Horloge %1 BPM\n±0,0 ms").arg(TempoText(bpm, 1))) << bpm;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(tempo);
    ASSERT_NE(iface->valueInterface(), nullptr);
    EXPECT_DOUBLE_EQ(iface->valueInterface()->currentValue().toDouble(), std::round(bpm * 10) / 10);
    EXPECT_EQ(iface->text(QAccessible::Value), QStringLiteral("%1 BPM").arg(TempoText(bpm, 1)));
    // Stopped: gone a second later.
    now += 1'100'000;
    tempo->Refresh();
    EXPECT_FALSE(tempo->isVisibleTo(window.get())) << bpm;
    now += 1'000'000;
  }
}

TEST_F(ClockTempoWindowTest, StartStopAndContinueShowBesideTheTempoWhateverTheLogShows) {
  SetPrefs([](DisplayPrefs& p) { p.Filter.SetKindHidden(MessageKind::Clock, true); });
  window->btnRxPause->click();
  At(0xFA);
  Clocks(120, 30);
  tempo->Refresh();
  EXPECT_EQ(tempo->text(), QString::fromUtf8("Horloge 120,0 BPM\n±0,0 ms · Start"));
  EXPECT_EQ(Accessible(tempo, QAccessible::Description), QString::fromUtf8("régularité ±0,0 ms, Start"));
  At(0xFC);
  tempo->Refresh();
  EXPECT_EQ(tempo->text(), QString::fromUtf8("Horloge 120,0 BPM\n±0,0 ms · Stop"));
  EXPECT_TRUE(LogLines().isEmpty());

  // Off in the Affichage menu: hidden, and no clock is measured.
  Display().ActViewClockTempo->trigger();
  EXPECT_FALSE(tempo->isVisibleTo(window.get()));
  Clocks(120, 30);
  tempo->Refresh();
  EXPECT_FALSE(tempo->isVisibleTo(window.get()));
  EXPECT_FALSE(DisplayPrefs::Load(prefsDir.filePath("orvalis.ini")).ClockTempo);
}

TEST_F(ClockTempoWindowTest, TheTempoUpdatesItselfAFewTimesASecondAndGoesWhenTheClockStops) {
  Clocks(100, 30);
  EXPECT_TRUE(tempo->isVisibleTo(window.get()));
  EXPECT_EQ(tempo->text(), QString::fromUtf8("Horloge 100,0 BPM\n±0,0 ms"));
  now += 2'000'000;
  EXPECT_TRUE(PumpUntil([&] { return !tempo->isVisibleTo(window.get()); }, 3 * TempoDisplay::RefreshMs));
}

// --- Search ---

TEST_F(LogDisplayWindowTest, CtrlFFindsTextOrBytesAndTheLogStopsFollowingWhileAFoundLineShows) {
  Start();
  window->show();
  window->activateWindow();
  ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == window.get(); }, 2000));
  Receive({0xFA, 0x403C90, 0xFC, 0x403E90, 0x403C80});
  ASSERT_TRUE(window->MemoLog->FollowsEnd());

  QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
  LogSearchBar& bar = *Display().Search;
  ASSERT_TRUE(bar.isVisibleTo(window.get()));
  EXPECT_TRUE(bar.edFind->hasFocus());
  QTest::keyClicks(bar.edFind, "3c 40");
  QTest::keyClick(bar.edFind, Qt::Key_Return);
  EXPECT_EQ(window->MemoLog->CurrentLine(), 1);
  EXPECT_EQ(window->MemoLog->Selection(), std::make_pair(1, 1));
  EXPECT_FALSE(window->MemoLog->FollowsEnd());
  QTest::keyClick(bar.edFind, Qt::Key_F3);
  EXPECT_EQ(window->MemoLog->CurrentLine(), 4);
  QTest::keyClick(bar.edFind, Qt::Key_F3);
  EXPECT_EQ(window->MemoLog->CurrentLine(), 1) << "round the end";
  QTest::keyClick(bar.edFind, Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(window->MemoLog->CurrentLine(), 4) << "Shift+F3 goes back";
  QTest::keyClick(bar.edFind, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(window->MemoLog->CurrentLine(), 1);

  // Traffic goes on: the found line stays shown and selected.
  Receive({0x403C90, 0xF8});
  EXPECT_EQ(window->MemoLog->CurrentLine(), 1);
  EXPECT_FALSE(window->MemoLog->FollowsEnd());

  bar.edFind->setText("Pitch");
  bar.btnFindNext->click();
  EXPECT_EQ(bar.lblFindResult->text(), "Introuvable");
  EXPECT_EQ(window->MemoLog->CurrentLine(), 1);

  // Escape gives the keyboard back to the log; F3 goes on searching.
  bar.edFind->setText("stop");
  bar.edFind->setFocus();
  QTest::keyClick(bar.edFind, Qt::Key_Escape);
  EXPECT_FALSE(bar.isVisibleTo(window.get()));
  EXPECT_TRUE(window->MemoLog->hasFocus());
  QTest::keyClick(window->MemoLog, Qt::Key_F3);
  EXPECT_EQ(window->MemoLog->CurrentLine(), 2);
  QTest::keyClick(window->MemoLog, Qt::Key_End);
  EXPECT_TRUE(window->MemoLog->FollowsEnd());
}

TEST_F(LogDisplayWindowTest, TheSearchBarGoesAndComesBackWithTheLog) {
  Start();
  Display().ActEditFind->trigger();
  ASSERT_TRUE(Display().Search->isVisibleTo(window.get()));
  window->ActViewRx->trigger();
  EXPECT_FALSE(window->MemoLog->isVisibleTo(window.get()));
  EXPECT_FALSE(Display().Search->isVisibleTo(window.get()));
  window->ActViewRx->trigger();
  EXPECT_TRUE(Display().Search->isVisibleTo(window.get()));
  Display().Search->btnFindClose->click();
  window->ActViewRx->trigger();
  window->ActViewRx->trigger();
  EXPECT_FALSE(Display().Search->isVisibleTo(window.get())) << "closed, it stays closed";
}

// --- Keyboard and screen reader ---

// The mnemonic letter of a caption ('&' before it), lower case; 0 when none.
QChar Mnemonic(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] == QLatin1Char('&') && caption[i + 1] != QLatin1Char('&')) return caption[i + 1].toLower();
  }
  return QChar();
}

// The next widget that Tab stops at (labels and panels take no focus; a
// widget's own parts follow it).
const QWidget* NextTabStop(const QWidget* widget) {
  const QWidget* next = widget->nextInFocusChain();
  while (next && (!(next->focusPolicy() & Qt::TabFocus) || widget->isAncestorOf(next))) next = next->nextInFocusChain();
  return next;
}

TEST_F(LogDisplayWindowTest, EveryNewControlHasANameAMnemonicOfItsOwnAndItsPlaceInTheTabOrder) {
  Start();
  // The search bar: after the log.
  LogSearchBar& bar = *Display().Search;
  const QList<QWidget*> searchOrder = {window->MemoLog, bar.edFind, bar.btnFindPrevious, bar.btnFindNext,
                                       bar.btnFindClose};
  for (qsizetype i = 1; i < searchOrder.size(); ++i) EXPECT_EQ(NextTabStop(searchOrder[i - 1]), searchOrder[i]) << i;
  EXPECT_EQ(Accessible(bar.edFind, QAccessible::Name), "Rechercher :");
  EXPECT_EQ(Accessible(bar.btnFindClose, QAccessible::Name), "Fermer la recherche");
  QSet<QChar> barLetters;
  for (const QString& caption : {bar.lblFind->text(), bar.btnFindPrevious->text(), bar.btnFindNext->text(),
                                 bar.btnFindClose->text()}) {
    const QChar letter = Mnemonic(caption);
    EXPECT_FALSE(letter.isNull()) << caption.toStdString();
    EXPECT_FALSE(barLetters.contains(letter)) << caption.toStdString();
    barLetters.insert(letter);
  }
  // No letter of the bar is one of the menu bar's.
  for (QAction* menu : window->menuBar()->actions()) EXPECT_FALSE(barLetters.contains(Mnemonic(menu->text())));

  WithDialog([&] { Display().ActViewLogOptions->trigger(); }, [&](DisplayOptionsDialog& d) {
    // Each page's controls (with the tabs' own letters) have letters of their own.
    const QList<QList<QString>> pages = {
        {d.cbShowIn->text(), d.cbShowOut->text(), d.lblKinds->text(), d.lblChannels->text(),
         d.cbDropClockAtInput->text(), d.btnShowAll->text()},
        {d.cbDecimal->text(), d.cbChannel->text(), d.cbNoteName->text(), d.lblMiddleC->text(),
         d.cbControllerName->text(), d.cbProgramNumber->text(), d.cbControllerPairs->text(), d.cbClockTempo->text()}};
    for (const QList<QString>& page : pages) {
      QSet<QChar> letters = {Mnemonic(d.tabs->tabText(0)), Mnemonic(d.tabs->tabText(1))};
      EXPECT_EQ(letters.size(), 2);
      for (const QString& caption : page) {
        const QChar letter = Mnemonic(caption);
        EXPECT_FALSE(letter.isNull()) << caption.toStdString();
        EXPECT_FALSE(letters.contains(letter)) << caption.toStdString();
        letters.insert(letter);
      }
    }
    EXPECT_EQ(Accessible(d.lstKinds, QAccessible::Name), "Types de messages");
    EXPECT_EQ(Accessible(d.lstChannels, QAccessible::Name), "Canaux");
    EXPECT_EQ(Accessible(d.cbMiddleC, QAccessible::Description), "Do central (note 60)");
    EXPECT_EQ(Accessible(d.cbDecimal, QAccessible::Name), QString::fromUtf8("Valeurs en décimal"));
    // Tab: the tabs, the filter page from the top, then the details.
    const QList<QWidget*> order = {d.cbShowIn,  d.cbShowOut, d.lstKinds, d.lstChannels, d.btnShowAll,
                                   d.cbDropClockAtInput, d.cbDecimal, d.cbChannel, d.cbNoteName, d.cbMiddleC,
                                   d.cbControllerName, d.cbProgramNumber, d.cbControllerPairs, d.cbClockTempo};
    for (qsizetype i = 1; i < order.size(); ++i) EXPECT_EQ(NextTabStop(order[i - 1]), order[i]) << i;
  });
  // The status bar's count is named too.
  EXPECT_FALSE(Accessible(Display().lblHidden, QAccessible::Name).isEmpty());
}

}  // namespace
