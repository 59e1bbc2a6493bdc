#include "LogDisplay.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "DisplayAccessibility.h"
#include "IniFile.h"
#include "LogSearchBar.h"
#include "LogView.h"
#include "MidiType.h"
#include "StatusBar.h"
#include "TempoDisplay.h"
#include "frmMain.h"

namespace {

constexpr int kHiddenCountMs = 250;

int HexDigit(QChar c) {
  if (c >= u'0' && c <= u'9') return c.unicode() - u'0';
  if (c >= u'A' && c <= u'F') return c.unicode() - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c.unicode() - u'a' + 10;
  return -1;
}

// The first bytes (up to three) of an outgoing line's text; how many.
int LeadingBytes(const QString& text, std::array<uint8_t, 3>& bytes) {
  int count = 0;
  qsizetype i = 0;
  while (count < 3 && i + 1 < text.size()) {
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) break;
    bytes[static_cast<size_t>(count++)] = static_cast<uint8_t>(16 * high + low);
    i += 2;
    if (i < text.size() && text[i] != u' ') break;
    ++i;
  }
  return count;
}

}  // namespace

LogDisplay::LogDisplay(TfmMain& window)
    : QObject(&window), FWindow(window), FHiddenTimer(new QTimer(this)) {
  DisplayAccessibility_Install();

  // Affichage and Edition menus.
  ActViewLogOptions = new QAction(QStringLiteral("Affichage du &journal…"), this);
  ActViewLogFilter = new QAction(QStringLiteral("&Messages affichés…"), this);
  ActViewControllerPairs = new QAction(QStringLiteral("&Paires de contrôleurs (14 bits, RPN, NRPN)"), this);
  ActViewClockTempo = new QAction(QStringLiteral("Tempo de l'&horloge reçue"), this);
  ActEditFind = new QAction(QStringLiteral("&Rechercher…"), this);
  ActEditFindNext = new QAction(QStringLiteral("Rechercher le &suivant"), this);
  ActEditFindPrevious = new QAction(QStringLiteral("Rechercher le &précédent"), this);
  ActEditFind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  ActEditFindNext->setShortcut(QKeySequence(Qt::Key_F3));
  ActEditFindPrevious->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));
  for (QAction* act : {ActViewLogOptions, ActViewLogFilter, ActViewControllerPairs, ActViewClockTempo, ActEditFind,
                       ActEditFindNext, ActEditFindPrevious}) {
    act->setStatusTip(QString(act->text()).remove(QLatin1Char('&')));
  }
  ActViewControllerPairs->setCheckable(true);
  ActViewClockTempo->setCheckable(true);
  ActViewClockTempo->setChecked(FPrefs.ClockTempo);
  window.mnuView->addSeparator();
  window.mnuView->addAction(ActViewLogOptions);
  window.mnuView->addAction(ActViewLogFilter);
  window.mnuView->addAction(ActViewControllerPairs);
  window.mnuView->addAction(ActViewClockTempo);
  window.mnuEdit->addSeparator();
  window.mnuEdit->addAction(ActEditFind);
  window.mnuEdit->addAction(ActEditFindNext);
  window.mnuEdit->addAction(ActEditFindPrevious);
  connect(ActViewLogOptions, &QAction::triggered, this, [this] { ShowOptions(DisplayOptionsDialog::Page::Details); });
  connect(ActViewLogFilter, &QAction::triggered, this, [this] { ShowOptions(DisplayOptionsDialog::Page::Filter); });
  connect(ActViewControllerPairs, &QAction::triggered, this, [this](bool on) {
    DisplayPrefs prefs = FPrefs;
    prefs.ControllerPairs = on;
    SetPrefs(prefs);
  });
  connect(ActViewClockTempo, &QAction::triggered, this, [this](bool on) {
    DisplayPrefs prefs = FPrefs;
    prefs.ClockTempo = on;
    SetPrefs(prefs);
  });

  // The search bar, under the log.
  Search = new LogSearchBar(*window.MemoLog, window.MemoLog->parentWidget());
  if (auto* box = qobject_cast<QBoxLayout*>(window.MemoLog->parentWidget()->layout())) {
    box->insertWidget(box->indexOf(window.MemoLog) + 1, Search);
  }
  connect(ActEditFind, &QAction::triggered, Search, &LogSearchBar::Open);
  connect(ActEditFindNext, &QAction::triggered, Search, &LogSearchBar::FindNext);
  connect(ActEditFindPrevious, &QAction::triggered, Search, &LogSearchBar::FindPrevious);

  // The tempo, right of "Pause (Rx)".
  Tempo = new TempoDisplay(window.pnlMidiRx);
  Tempo->setGeometry(356, 26, 200, 28);

  // How many messages the filter hides.
  lblHidden = new QLabel(window.sbMain);
  lblHidden->setAccessibleName(QStringLiteral("Messages masqués par le filtre du journal"));
  lblHidden->hide();
  window.sbMain->addPermanentWidget(lblHidden);
  FHiddenTimer->setSingleShot(true);
  FHiddenTimer->setInterval(kHiddenCountMs);
  connect(FHiddenTimer, &QTimer::timeout, this, &LogDisplay::ShowHiddenCount);

  // Tab: the search bar's controls follow the log.
  QWidget* previous = window.MemoLog;
  for (QWidget* next : {static_cast<QWidget*>(Search->edFind), static_cast<QWidget*>(Search->btnFindPrevious),
                        static_cast<QWidget*>(Search->btnFindNext), static_cast<QWidget*>(Search->btnFindClose),
                        static_cast<QWidget*>(window.btnViewAll)}) {
    QWidget::setTabOrder(previous, next);
    previous = next;
  }
}

void LogDisplay::LoadPrefs(const QString& fileName) {
  FPrefs = DisplayPrefs::Load(fileName);
  ActViewControllerPairs->setChecked(FPrefs.ControllerPairs);
  ActViewClockTempo->setChecked(FPrefs.ClockTempo);
  Tempo->SetActive(FPrefs.ClockTempo);
  FHidden = 0;
  ShowHiddenCount();
}

void LogDisplay::SetPrefs(const DisplayPrefs& prefs) {
  if (prefs == FPrefs) return;
  const bool filterChanged = !(prefs.Filter == FPrefs.Filter);
  if (prefs.ControllerPairs != FPrefs.ControllerPairs) {
    for (ControllerPairs& pairs : FPairs) pairs.Reset();
  }
  FPrefs = prefs;
  ActViewControllerPairs->setChecked(FPrefs.ControllerPairs);
  ActViewClockTempo->setChecked(FPrefs.ClockTempo);
  Tempo->SetActive(FPrefs.ClockTempo);
  if (filterChanged) {
    FHidden = 0;
    ShowHiddenCount();
  }
  SavePrefs();
}

void LogDisplay::SavePrefs() const {
  if (PrefsFileName.isEmpty()) return;
  try {
    FPrefs.Save(PrefsFileName);
  } catch (const EIniWriteError&) {
    // A preferences file that cannot be written only means the options are
    // not remembered, as with the program's other preferences.
  }
}

void LogDisplay::ShowOptions(DisplayOptionsDialog::Page page) {
  DisplayOptionsDialog dialog(FPrefs, FWindow.cbMidiInFilterTimeCode->isChecked(), &FWindow);
  dialog.ShowPage(page);
  FDialog = &dialog;
  const int result = dialog.exec();
  FDialog = nullptr;
  if (result != QDialog::Accepted) return;
  SetPrefs(dialog.Prefs());
  if (dialog.DropClockAtInput() != FWindow.cbMidiInFilterTimeCode->isChecked()) {
    FWindow.cbMidiInFilterTimeCode->setChecked(dialog.DropClockAtInput());
  }
}

void LogDisplay::Observe(const TMyMidiEvent& event) { Tempo->Observe(event); }

LogDisplay::Shown LogDisplay::ShowIncoming(uint8_t status, uint8_t data1, uint8_t data2) {
  return Show(LogDirection::In, status, data1, data2, true, "  ", "");
}

LogDisplay::Shown LogDisplay::ShowOutgoing(const QString& text) {
  std::array<uint8_t, 3> bytes{};
  if (LeadingBytes(text, bytes) == 0) return {};
  // The details of an outgoing line stand in brackets: what a double click
  // sends again is what comes before the first one.
  return Show(LogDirection::Out, bytes[0], bytes[1], bytes[2], !text.contains(QLatin1Char('(')), "  (", ")");
}

LogDisplay::Shown LogDisplay::Show(LogDirection direction, uint8_t status, uint8_t data1, uint8_t data2, bool sent,
                                   const char* open, const char* close) {
  Shown shown;
  if (FPrefs.Filter.Hides(direction, status)) {
    shown.Hidden = true;
    ++FHidden;
    if (!FHiddenTimer->isActive()) FHiddenTimer->start();
    return shown;
  }
  if (status == 0xF0) return shown;
  if (FPrefs.Details.Any()) {
    const QString details = MessageDetails(status, data1, data2, FPrefs.Details);
    if (!details.isEmpty()) shown.Details = QLatin1String(open) + details + QLatin1String(close);
  }
  if (FPrefs.ControllerPairs && sent) {
    const QString pair = FPairs[direction == LogDirection::In ? 0 : 1].Observe(status, data1, data2);
    if (!pair.isEmpty()) {
      shown.PairLine = (direction == LogDirection::In ? QLatin1String("[MIDI-In] - (") : QLatin1String("[Midi-Out] - (")) +
                       pair + QLatin1Char(')');
    }
  }
  return shown;
}

void LogDisplay::ShowHiddenCount() {
  if (!FPrefs.Filter.Active()) {
    lblHidden->hide();
    return;
  }
  lblHidden->setText(FHidden == 0   ? QStringLiteral("Journal filtré : aucun message masqué")
                     : FHidden == 1 ? QStringLiteral("Journal filtré : 1 message masqué")
                                    : QStringLiteral("Journal filtré : %1 messages masqués").arg(FHidden));
  lblHidden->show();
}
