#include "frmMain.h"

#include <chrono>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <climits>

#include "AccessibleWidgets.h"
#include "CounterDisplay.h"
#include "ConnectionTestWindow.h"
#include "FileCommands.h"
#include "FramePacer.h"
#include "HexSpinBox.h"
#include "LogDisplay.h"
#include "LogView.h"
#include "OrvalisApplication.h"
#include "StatusBar.h"
#include "StatusShape.h"
#include "frmAbout.h"
#include "frmSendBulk.h"
#include "rmLed.h"
#include "uComm.h"
#include "uDeviceWatch.h"
#include "uUserPrefs.h"

TfmMain* fmMain = nullptr;
QString PrefsFileName;

namespace {

constexpr int kDevIOHeight = 97;
constexpr int kTxHeight = 150;
constexpr int kRxHeight = 78;
constexpr int kStatusBarHeight = 19;
constexpr int kClientWidth = 564;
constexpr int kClientHeight = 442;
constexpr int kLedIntervalMs = 100;

QFrame* NewPanel(QWidget* parent, int height) {
  auto* panel = new QFrame(parent);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  panel->setFixedHeight(height);
  return panel;
}

QLabel* NewLabel(QWidget* parent, const QString& text, int x, int y, bool bold = false) {
  auto* label = new QLabel(text, parent);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  label->move(x, y);
  label->adjustSize();
  return label;
}

template <typename W>
W* Place(W* widget, int x, int y, int w, int h) {
  widget->setGeometry(x, y, w, h);
  return widget;
}

THexSpinBox* NewHexEdit(QWidget* parent, int value, int x, int y) {
  auto* edit = Place(new THexSpinBox(parent), x, y, 58, 23);
  edit->setValue(value);
  edit->setReadOnly(true);  // made editable at the end of creation
  return edit;
}

QSpinBox* NewDelayEdit(QWidget* parent, int x, int y) {
  auto* edit = Place(new QSpinBox(parent), x, y, 70, 23);
  // A negative wait would become about 49 days; the delays run from 0 to an hour.
  edit->setRange(0, 3'600'000);
  edit->setSingleStep(100);
  edit->setValue(1000);
  return edit;
}

TrmLed* NewLed(QWidget* parent, int x, int y) {
  auto* led = new TrmLed(parent);
  led->SetBounds(x, y, TrmLed::DefaultSize, TrmLed::DefaultSize);
  return led;
}

}  // namespace

TfmMain::TfmMain(std::function<QString()> prefsFileNameSource, QWidget* parent)
    : QMainWindow(parent),
      LogTimeOfDay([] { return QTime::currentTime(); }),
      LogEventAgeUs([](uint64_t timeUs) -> uint64_t {
        const auto now = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                   std::chrono::steady_clock::now().time_since_epoch())
                                                   .count());
        return timeUs != 0 && timeUs < now ? now - timeUs : 0;
      }),
      FPrefsFileNameSource(std::move(prefsFileNameSource)) {
  Accessibility_Install();
  setWindowTitle("Orvalis");
  QFont font("Arial");
  font.setPixelSize(11);
  setFont(font);

  CreateMenus();

  auto* central = new QWidget(this);
  central->setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  CreateDevicePanel();
  CreateTransmitPanel();
  CreateReceivePanel();
  MemoLog = new TLogView(central);
  for (QWidget* section : {static_cast<QWidget*>(pnlDevIO), static_cast<QWidget*>(pnlMidiTx),
                           static_cast<QWidget*>(pnlMidiRx)}) {
    section->setParent(central);
    layout->addWidget(section);
  }
  layout->addWidget(MemoLog, 1);
  setCentralWidget(central);

  btnViewAll = Place(new QPushButton("Afficher toutes les sections", central), 16, 16, 169, 25);
  btnViewAll->hide();

  sbMain = new TStatusBar(this, {50, 600});
  sbMain->setFixedHeight(kStatusBarHeight);
  setStatusBar(sbMain);

  TimerMidiIn = new QTimer(this);
  TimerMidiIn->setInterval(kLedIntervalMs);
  TimerMidiOut = new QTimer(this);
  TimerMidiOut->setInterval(kLedIntervalMs);

  Files = new FileCommands(*this);
  ConnectHandlers();
  SetUpKeyboardAndAccessibility();
  Display = new LogDisplay(*this);
  new TFramePacer(this);
  Prefs_SetMainWindowHook([this] { Prefs_ApplyToWidgets(seLogMaxEvents, cbMIDIIn, cbMIDIOut); });
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);

  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  setMinimumSize(kClientWidth, 160);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(area.center());
    move(frame.topLeft());
  }
}

TfmMain::~TfmMain() {
  Prefs_SetMainWindowHook(nullptr);
  if (fmMain == this) fmMain = nullptr;
}

void TfmMain::CreateMenus() {
  // Captions carry their mnemonic ('&' before the letter, not shown); the
  // hint repeats the caption as it shows. The standard keys (Quit, Save,
  // Copy, HelpContents) are written out: the desktop's key scheme may lack
  // some (Quit has none on some desktops).
  auto action = [this](const QString& caption, bool hintIsCaption, const QKeySequence& shortcut = {}) {
    auto* act = new QAction(caption, this);
    if (hintIsCaption) act->setStatusTip(QString(caption).remove(QLatin1Char('&')));
    act->setShortcut(shortcut);
    return act;
  };
  ActAppClose = action("&Quitter", true, QKeySequence(Qt::CTRL | Qt::Key_Q));
  ActFileSaveLog = action("Enregistrer le &journal…", true, QKeySequence(Qt::CTRL | Qt::Key_S));
  ActFileRecordTraffic = action("Enregistrer le &trafic…", true);
  ActFileStopTraffic = action("A&rrêter l'enregistrement du trafic", true);
  ActFileStopTraffic->setEnabled(false);
  ActFileSaveSysex = action("Enregistrer les &SysEx reçus…", true);
  ActToolsSendSysexFile = action("&Envoyer un fichier SysEx…", true);
  ActEditCopy = action("&Copier", true, QKeySequence(Qt::CTRL | Qt::Key_C));
  ActToolsLoopTest = action("Test &boucle (sortie sur entrée)", true, QKeySequence(Qt::CTRL | Qt::Key_T));
  ActToolsConnectionTest = action("Test de &liaison…", true);
  ActToolsSendBulk = action("Envoi par &paquets", true, QKeySequence(Qt::CTRL | Qt::Key_B));
  ActViewDevIO = action("Voir section &Interfaces entrée/sortie", false, QKeySequence(Qt::CTRL | Qt::Key_1));
  ActViewTx = action("Voir section &Emission données MIDI", false, QKeySequence(Qt::CTRL | Qt::Key_2));
  ActViewRx = action("Voir section &Réception données MIDI", false, QKeySequence(Qt::CTRL | Qt::Key_3));
  ActViewAll = action("Voir &toutes les sections", false, QKeySequence(Qt::CTRL | Qt::Key_0));
  ActAppHelp = action("&Index de l'aide", true, QKeySequence(Qt::Key_F1));
  ActAppAbout = action("&A propos...", true);
  for (QAction* view : {ActViewDevIO, ActViewTx, ActViewRx}) {
    view->setCheckable(true);
    view->setChecked(true);
  }
  ActAppHelp->setEnabled(false);

  mnuFile = menuBar()->addMenu("&Fichier");
  mnuFile->addAction(ActFileSaveLog);
  mnuFile->addAction(ActFileRecordTraffic);
  mnuFile->addAction(ActFileStopTraffic);
  mnuFile->addAction(ActFileSaveSysex);
  mnuFile->addSeparator();
  mnuFile->addAction(ActAppClose);
  mnuEdit = menuBar()->addMenu("&Edition");
  mnuEdit->addAction(ActEditCopy);
  mnuTools = menuBar()->addMenu("&Outils");
  mnuTools->addAction(ActToolsLoopTest);
  mnuTools->addAction(ActToolsConnectionTest);
  mnuTools->addAction(ActToolsSendBulk);
  mnuTools->addAction(ActToolsSendSysexFile);
  mnuView = menuBar()->addMenu("&Affichage");
  mnuView->addAction(ActViewDevIO);
  mnuView->addAction(ActViewTx);
  mnuView->addAction(ActViewRx);
  mnuView->addSeparator();
  mnuView->addAction(ActViewAll);
  mnuHelp = menuBar()->addMenu("A&ide");
  mnuHelp->addAction(ActAppHelp);
  mnuHelp->addSeparator();
  mnuHelp->addAction(ActAppAbout);
}

void TfmMain::CreateDevicePanel() {
  pnlDevIO = NewPanel(this, kDevIOHeight);
  QWidget* p = pnlDevIO;
  Label1 = NewLabel(p, "Interface entrée / sortie MIDI", 8, 8, true);

  shMidiIn = Place(new TShape(p), 16, 32, 17, 22);
  cbMIDIIn = Place(new QComboBox(p), 40, 32, 249, 22);
  cntMidiIn = Place(new TCounterDisplay(p), 296, 32, 97, 22);
  LedMidiIn = NewLed(p, 405, 37);
  lblLedMidiIn = NewLabel(p, "MIDI In", 424, 37);
  LedMidiErr = NewLed(p, 477, 37);
  lblLedMidiErr = NewLabel(p, "Erreur MIDI", 496, 37);

  shMidiOut = Place(new TShape(p), 16, 64, 17, 22);
  cbMIDIOut = Place(new QComboBox(p), 40, 64, 249, 22);
  cntMidiOut = Place(new TCounterDisplay(p), 296, 64, 97, 22);
  LedMidiOut = NewLed(p, 405, 70);
  lblLedMidiOut = NewLabel(p, "MIDI Out", 424, 69);
  btnMidiReset = Place(new QPushButton("Reset", p), 477, 63, 68, 25);
}

void TfmMain::CreateTransmitPanel() {
  pnlMidiTx = NewPanel(this, kTxHeight);
  QWidget* p = pnlMidiTx;
  Label2 = NewLabel(p, "Emission données MIDI", 8, 7, true);
  lblData11 = NewLabel(p, "NoteOn", 16, 31);
  lblData12 = NewLabel(p, "Note", 80, 31);
  lblData13 = NewLabel(p, "Velocité", 144, 31);
  edData11 = NewHexEdit(p, 0x90, 16, 48);
  edData12 = NewHexEdit(p, 0x3C, 80, 48);
  edData13 = NewHexEdit(p, 0x40, 144, 48);
  lblData21 = NewLabel(p, "NoteOff", 16, 79);
  lblData22 = NewLabel(p, "Note", 80, 79);
  lblData23 = NewLabel(p, "Velocité", 144, 79);
  edData21 = NewHexEdit(p, 0x80, 16, 95);
  edData22 = NewHexEdit(p, 0x3C, 80, 95);
  edData23 = NewHexEdit(p, 0x00, 144, 95);

  btnMidiSendContinuous = Place(new QCheckBox("Envoi en continu", p), 208, 7, 110, 17);
  btnSendData1 = Place(new QPushButton("Envoyer NoteOn", p), 208, 47, 99, 23);
  lblNoteOnNotEqualNoteOff = NewLabel(p, "NoteOn <> NoteOff", 208, 75, true);
  lblNoteOnNotEqualNoteOff->setStyleSheet("color: #FF0000;");
  lblNoteOnNotEqualNoteOff->hide();
  btnSendData2 = Place(new QPushButton("Envoyer NoteOff", p), 208, 95, 99, 23);

  cbMidiSendWithDelay = Place(new QCheckBox("avec délai", p), 328, 7, 81, 17);
  cbMidiSendWithDelay->setChecked(true);
  cbMidiSendWithDelay->setEnabled(false);
  Label13 = NewLabel(p, "Avant NoteOn", 328, 31);
  edMidiSendDelayBeforeNoteOn = NewDelayEdit(p, 328, 48);
  Label14 = NewLabel(p, "Avant NoteOff", 328, 79);
  edMidiSendDelayBeforeNoteOff = NewDelayEdit(p, 328, 95);

  rbSendNote = Place(new QRadioButton("Note", p), 16, 127, 60, 17);
  rbSendCC = Place(new QRadioButton("Control Change", p), 88, 127, 106, 17);
  rbSendPC = Place(new QRadioButton("Program Change", p), 200, 127, 113, 17);
  rbSendOther = Place(new QRadioButton("Autre", p), 328, 127, 73, 17);
  rbSendNote->setChecked(true);

  Bevel1 = Place(new QFrame(p), 416, 7, 2, 137);
  Bevel1->setFrameShape(QFrame::VLine);
  Bevel1->setFrameShadow(QFrame::Sunken);

  Label6 = NewLabel(p, "Transport", 424, 6, true);
  cbMidiSendRT = Place(new QCheckBox("Commandes RT", p), 431, 32, 113, 17);
  cbMidiSendMMC = Place(new QCheckBox("Commandes MMC", p), 431, 48, 113, 17);
  cbMidiSendMCP = Place(new QCheckBox("Commandes MCP", p), 431, 64, 113, 17);
  cbMidiSendMMC->setChecked(true);
  btnSendRTStart = Place(new QPushButton("Play", p), 431, 87, 59, 25);
  btnSendRTRec = Place(new QPushButton("Rec", p), 494, 87, 59, 25);
  btnSendRTStop = Place(new QPushButton("Stop", p), 431, 113, 59, 25);
  btnSendRTContinue = Place(new QPushButton("Continue", p), 494, 113, 59, 25);
}

void TfmMain::CreateReceivePanel() {
  pnlMidiRx = NewPanel(this, kRxHeight);
  QWidget* p = pnlMidiRx;
  Label5 = NewLabel(p, "Messages MIDI reçus et envoyés (les plus récents en fin de liste)", 8, 7, true);
  seLogMaxEvents = Place(new QSpinBox(p), 8, 27, 72, 23);
  seLogMaxEvents->setRange(1, 10000);
  seLogMaxEvents->setSingleStep(1);
  seLogMaxEvents->setValue(400);
  Label7 = NewLabel(p, "Nb Max éven.", 86, 31);
  btnLogClear = Place(new QPushButton("Effacer", p), 193, 27, 74, 25);
  btnRxPause = Place(new QPushButton("Pause (Rx)", p), 273, 27, 74, 25);
  btnRxPause->setProperty("Tag", 0);
  cbDTflag = Place(new QCheckBox("Horodater", p), 8, 54, 78, 17);
  cbMidiInFilterTimeCode = Place(new QCheckBox("Filtrer TimeCode", p), 87, 54, 104, 17);
  lblMidiInPaused = Place(new QLabel("Réception MIDI plus prise en compte (pause)", p), 193, 55, 247, 14);
  QFont bold = lblMidiInPaused->font();
  bold.setBold(true);
  lblMidiInPaused->setFont(bold);
  lblMidiInPaused->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  lblMidiInPaused->setStyleSheet("color: #FF0000;");
  lblMidiInPaused->hide();
}

void TfmMain::ConnectHandlers() {
  auto onAction = [this](QAction* act, void (TfmMain::*handler)(QObject*)) {
    connect(act, &QAction::triggered, this, [this, act, handler] { (this->*handler)(act); });
  };
  onAction(ActAppClose, &TfmMain::ActAppCloseExecute);
  onAction(ActEditCopy, &TfmMain::ActEditCopyExecute);
  onAction(ActToolsLoopTest, &TfmMain::ActToolsLoopTestExecute);
  onAction(ActToolsConnectionTest, &TfmMain::ActToolsConnectionTestExecute);
  onAction(ActToolsSendBulk, &TfmMain::ActToolsSendBulkExecute);
  onAction(ActViewAll, &TfmMain::ActViewAllExecute);
  onAction(ActAppAbout, &TfmMain::ActAppAboutExecute);
  connect(ActFileSaveLog, &QAction::triggered, Files, &FileCommands::SaveLogAs);
  connect(ActFileRecordTraffic, &QAction::triggered, Files, &FileCommands::RecordTrafficAs);
  connect(ActFileStopTraffic, &QAction::triggered, Files, &FileCommands::StopTrafficRecording);
  connect(ActFileSaveSysex, &QAction::triggered, Files, &FileCommands::SaveReceivedSysexAs);
  connect(ActToolsSendSysexFile, &QAction::triggered, Files, &FileCommands::ShowSysexFileSender);
  // The view handlers invert the check mark themselves: undo the automatic
  // toggle of a checkable action first.
  for (auto [act, handler] : {std::pair{ActViewDevIO, &TfmMain::ActViewDevIOExecute},
                              std::pair{ActViewTx, &TfmMain::ActViewTxExecute},
                              std::pair{ActViewRx, &TfmMain::ActViewRxExecute}}) {
    connect(act, &QAction::triggered, this, [this, act = act, handler = handler](bool checked) {
      act->setChecked(!checked);
      (this->*handler)(act);
    });
  }

  auto onClick = [this](QPushButton* button, void (TfmMain::*handler)(QObject*)) {
    connect(button, &QPushButton::clicked, this, [this, button, handler] { (this->*handler)(button); });
  };
  onClick(btnViewAll, &TfmMain::btnViewAllClick);
  onClick(btnMidiReset, &TfmMain::btnMidiResetClick);
  onClick(btnSendData1, &TfmMain::btnSendData1Click);
  onClick(btnSendData2, &TfmMain::btnSendData2Click);
  onClick(btnSendRTStart, &TfmMain::btnSendRTStartClick);
  onClick(btnSendRTRec, &TfmMain::btnSendRTRecClick);
  onClick(btnSendRTStop, &TfmMain::btnSendRTStopClick);
  onClick(btnSendRTContinue, &TfmMain::btnSendRTContinueClick);
  onClick(btnLogClear, &TfmMain::btnLogClearClick);
  onClick(btnRxPause, &TfmMain::btnRxPauseClick);

  auto onToggle = [this](QCheckBox* box, void (TfmMain::*handler)(QObject*)) {
    connect(box, &QCheckBox::toggled, this, [this, box, handler] { (this->*handler)(box); });
  };
  onToggle(btnMidiSendContinuous, &TfmMain::btnMidiSendContinuousClick);
  onToggle(cbMidiSendWithDelay, &TfmMain::cbMidiSendWithDelayClick);
  onToggle(cbMidiSendRT, &TfmMain::cbMidiSendRTClick);
  onToggle(cbMidiSendMMC, &TfmMain::cbMidiSendRTClick);
  onToggle(cbMidiSendMCP, &TfmMain::cbMidiSendRTClick);
  onToggle(cbMidiInFilterTimeCode, &TfmMain::cbMidiInFilterTimeCodeClick);

  for (QRadioButton* radio : {rbSendNote, rbSendCC, rbSendPC, rbSendOther}) {
    connect(radio, &QRadioButton::toggled, this, [this, radio](bool checked) {
      if (checked) rbSendNoteClick(radio);
    });
  }
  for (THexSpinBox* edit : {edData11, edData12, edData13, edData21, edData22, edData23}) {
    connect(edit, &QSpinBox::valueChanged, this, [this, edit] { edData11Change(edit); });
  }
  connect(seLogMaxEvents, &QSpinBox::valueChanged, this, [this] { seLogMaxEventsChange(seLogMaxEvents); });

  connect(cbMIDIIn, &QComboBox::currentIndexChanged, this, [this] { cbMIDIInChange(cbMIDIIn); });
  connect(cbMIDIOut, &QComboBox::currentIndexChanged, this, [this] { cbMIDIOutChange(cbMIDIOut); });

  connect(LedMidiErr, &TrmLed::clicked, this, [this] { LedMidiErrClick(LedMidiErr); });
  connect(TimerMidiIn, &QTimer::timeout, this, [this] { TimerMidiInTimer(TimerMidiIn); });
  connect(TimerMidiOut, &QTimer::timeout, this, [this] { TimerMidiOutTimer(TimerMidiOut); });

  connect(MemoLog, &TLogView::clicked, this, [this] { MemoLogClick(MemoLog); });
  connect(MemoLog, &TLogView::doubleClicked, this, [this] { MemoLogDblClick(MemoLog); });
  connect(MemoLog, &TLogView::activated, this, [this] { MemoLogDblClick(MemoLog); });
}

void TfmMain::SetUpKeyboardAndAccessibility() {
  // Names from the captions beside the controls.
  lblLedMidiIn->setBuddy(LedMidiIn);
  lblLedMidiOut->setBuddy(LedMidiOut);
  lblLedMidiErr->setBuddy(LedMidiErr);
  lblData11->setBuddy(edData11);
  lblData12->setBuddy(edData12);
  lblData13->setBuddy(edData13);
  lblData21->setBuddy(edData21);
  lblData22->setBuddy(edData22);
  lblData23->setBuddy(edData23);
  Label13->setBuddy(edMidiSendDelayBeforeNoteOn);
  Label14->setBuddy(edMidiSendDelayBeforeNoteOff);
  Label7->setBuddy(seLogMaxEvents);
  MemoLog->setAccessibleName(Label5->text());
  // The sections by their titles.
  pnlDevIO->setAccessibleName(Label1->text());
  pnlMidiTx->setAccessibleName(Label2->text());
  pnlMidiRx->setAccessibleName(Label5->text());
  // Controls without a caption of their own. A device list is named by its
  // device (the name of a list on this platform's accessibility bus is its
  // shown text); the description says which list it is.
  shMidiIn->setAccessibleName(QStringLiteral("Port MidiIn"));
  shMidiOut->setAccessibleName(QStringLiteral("Port MidiOut"));
  for (auto [list, caption] : {std::pair{cbMIDIIn, QStringLiteral("Interface entrée MIDI")},
                               std::pair{cbMIDIOut, QStringLiteral("Interface sortie MIDI")}}) {
    list->setAccessibleName(caption);
    list->setAccessibleDescription(caption);
  }
  cntMidiIn->setAccessibleName(QStringLiteral("Compteur MIDI In"));
  cntMidiOut->setAccessibleName(QStringLiteral("Compteur MIDI Out"));
  LedMidiIn->SetLitMeaning(QStringLiteral("des messages MIDI arrivent"));
  LedMidiOut->SetLitMeaning(QStringLiteral("des messages MIDI partent"));
  LedMidiErr->SetLitMeaning(
      QStringLiteral("la file d'entrée MIDI a débordé, des messages sont perdus ; un clic ou Reset l'éteint"));

  // The error lamp acts on a click, so it takes the focus and Space or Enter.
  LedMidiErr->setFocusPolicy(Qt::StrongFocus);
  // Enter presses the focused button, as Space does.
  for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(true);
  btnMidiReset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  btnLogClear->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  btnRxPause->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));

  // Tab goes through the sections from the top, each row of bytes followed
  // by its send button.
  const QList<QWidget*> order = {
      cbMIDIIn, cbMIDIOut, LedMidiErr, btnMidiReset,
      edData11, edData12, edData13, btnSendData1, edData21, edData22, edData23, btnSendData2,
      btnMidiSendContinuous, cbMidiSendWithDelay, edMidiSendDelayBeforeNoteOn, edMidiSendDelayBeforeNoteOff,
      rbSendNote, rbSendCC, rbSendPC, rbSendOther,
      cbMidiSendRT, cbMidiSendMMC, cbMidiSendMCP, btnSendRTStart, btnSendRTRec, btnSendRTStop, btnSendRTContinue,
      seLogMaxEvents, btnLogClear, btnRxPause, cbDTflag, cbMidiInFilterTimeCode, MemoLog, btnViewAll};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

// --- Creation and close ---

void TfmMain::FormCreate(QObject*) {
  show();
  QCoreApplication::processEvents();

  TOrvalisApplication::InstallExceptionHook();

  PrefsFileName = FPrefsFileNameSource();

  MidiPorts_Enumerate();

  Prefs_Load(PrefsFileName);
  FPrefsLoaded = true;
  Display->LoadPrefs(PrefsFileName);

  GUI_Refresh();
  for (THexSpinBox* edit : {edData11, edData12, edData13, edData21, edData22, edData23}) {
    edit->setReadOnly(false);
  }

  TxModeValues_SetDefaults();
  cbMIDIInChange(cbMIDIIn);
  cbMIDIOutChange(cbMIDIOut);
  rbSendNoteClick(rbSendNote);
  cbMidiSendRTClick(cbMidiSendMMC);
}

void TfmMain::FormActivate(QObject*) { GUI_Refresh(); }

void TfmMain::FormCloseQuery(QObject*, bool& CanClose) {
  AbortDelay = true;
  if (btnMidiSendContinuous->isChecked()) btnMidiSendContinuous->setChecked(false);
  Files->FormCloseQuery();
  if (ConnectionTest) ConnectionTest->StopRun();
  // Settings never loaded (a start that failed before) are not saved over the
  // file. A save that fails (a folder that cannot be written, a full or
  // read-only disk) leaves the previous file whole; the first time, the window
  // stays to say so in the status bar, and the next close goes on. A file
  // that its owner made read-only is meant to stay as it is, and the end of a
  // session waits for nobody: those close at once.
  bool saved = true;
  try {
    if (FPrefsLoaded) saved = Prefs_Save(PrefsFileName);
  } catch (...) {
    saved = false;
  }
  if (!saved && !FToldPrefsNotSaved && !FSessionEnding && !Prefs_FileIsReadOnly(PrefsFileName)) {
    FToldPrefsNotSaved = true;
    sbMain->SetPanelText(0, QString());
    sbMain->SetPanelText(
        1, QStringLiteral("Préférences non enregistrées ! Fermer à nouveau pour quitter. Impossible d'écrire dans %1")
               .arg(PrefsFileName));
    CanClose = false;
    return;
  }
  CanClose = true;
}

void TfmMain::CloseAtSessionEnd() {
  FSessionEnding = true;
  close();
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) FSessionEnding = true;
  return QMainWindow::eventFilter(watched, event);
}

void TfmMain::FormClose(QObject*) {
  MidiIn_Close();
  MidiOut_Close();
}

void TfmMain::closeEvent(QCloseEvent* event) {
  bool canClose = false;
  try {
    FormCloseQuery(this, canClose);
  } catch (...) {
    // The window stays open; the error is discarded like any other.
    canClose = false;
  }
  if (!canClose) {
    event->ignore();
    return;
  }
  FormClose(this);
  event->accept();
}

void TfmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate(this);
}

void TfmMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  btnViewAll->raise();
}

// --- Device lists ---

void TfmMain::cbMIDIInChange(QObject*) {
  if (!MidiInPort) return;
  if (MidiPort_EndWaiting(mpkIn, cbMIDIIn->currentText())) return;
  MidiIn_Close();
  const QString name = cbMIDIIn->currentText();
  UserPrefs.MidiInDevName = name;
  MidiIn_SelectByName(name);
  MidiIn_Open();
}

void TfmMain::cbMIDIOutChange(QObject* Sender) {
  if (!MidiOutPort) return;
  if (MidiPort_EndWaiting(mpkOut, cbMIDIOut->currentText())) return;
  MidiOut_Close();
  const QString name = cbMIDIOut->currentText();
  UserPrefs.MidiOutDevName = name;
  MidiOut_SelectByName(name);
  MidiOut_Open();
  if (TSendBulkPreset* preset = Prefs_CurrentPreset()) preset->MidiOutDevName = name;
  if (Sender == cbMIDIOut && fmSendBulk) {
    const QSignalBlocker blocker(fmSendBulk->cbMIDIOut);
    fmSendBulk->cbMIDIOut->setCurrentIndex(cbMIDIOut->currentIndex());
  }
}

// --- Display ---

void TfmMain::GUI_Refresh() {
  cntMidiIn->SetValue(MidiInCount);
  cntMidiOut->SetValue(MidiOutCount);
  FSinceCounterPaint.start();
}

void TfmMain::GUI_UpdateSections() {
  pnlDevIO->hide();
  pnlMidiTx->hide();
  pnlMidiRx->hide();
  MemoLog->hide();
  if (ActViewRx->isChecked()) {
    pnlMidiRx->show();
    MemoLog->show();
  }
  if (ActViewTx->isChecked()) pnlMidiTx->show();
  if (ActViewDevIO->isChecked()) pnlDevIO->show();
  btnViewAll->setVisible(!ActViewDevIO->isChecked() && !ActViewTx->isChecked() &&
                         !ActViewRx->isChecked());
  btnViewAll->raise();
}

void TfmMain::ActViewDevIOExecute(QObject*) {
  ActViewDevIO->setChecked(!ActViewDevIO->isChecked());
  GUI_UpdateSections();
}

void TfmMain::ActViewTxExecute(QObject*) {
  ActViewTx->setChecked(!ActViewTx->isChecked());
  GUI_UpdateSections();
}

void TfmMain::ActViewRxExecute(QObject*) {
  ActViewRx->setChecked(!ActViewRx->isChecked());
  GUI_UpdateSections();
}

void TfmMain::ActViewAllExecute(QObject*) {
  for (QAction* view : {ActViewDevIO, ActViewTx, ActViewRx}) view->setChecked(true);
  GUI_UpdateSections();
}

void TfmMain::btnViewAllClick(QObject* Sender) { ActViewAllExecute(Sender); }

void TfmMain::ActEditCopyExecute(QObject*) {
  QApplication::clipboard()->setText(MemoLog->Model()->Text());
  MemoLog->FollowEnd();
}

void TfmMain::ActAppAboutExecute(QObject*) {
  TfmAbout about(this);
  about.exec();
}

void TfmMain::ActToolsSendBulkExecute(QObject*) {
  if (!fmSendBulk) return;
  fmSendBulk->show();
  fmSendBulk->raise();
  fmSendBulk->activateWindow();
}

void TfmMain::ActAppCloseExecute(QObject*) { close(); }

void TfmMain::btnMidiResetClick(QObject*) {
  MidiInCount = 0;
  MidiOutCount = 0;
  FInputLost = 0;
  LedMidiErr->SetLedOn(false);
  GUI_Refresh();
}

void TfmMain::TimerMidiInTimer(QObject*) {
  TimerMidiIn->stop();
  LedMidiIn->SetLedOn(false);
}

void TfmMain::TimerMidiOutTimer(QObject*) {
  TimerMidiOut->stop();
  LedMidiOut->SetLedOn(false);
}

void TfmMain::LedMidiErrClick(QObject*) { LedMidiErr->SetLedOn(false); }
