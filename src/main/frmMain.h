#pragma once
// The main window: device panel, transmit panel with the transport commands,
// receive panel, event log, status bar, menus and the two activity timers.
//
// Its handlers are spread over several files by feature:
//   frmMain.cpp          layout, creation and close sequences, device lists,
//                        view commands, counters, LEDs, Reset, copy
//   frmMainReceive.cpp   receive monitor and event log
//   frmMainTransmit.cpp  transmit panel (and TxModeValues)
//   frmMainTransport.cpp transport commands
//   frmMainLoopTest.cpp  loop test
//   frmMainResend.cpp    re-send from the log
//   frmMainConnectionTest.cpp  the connection test window's menu entry
//
// Everything runs on the user-interface thread. The window owns its controls
// (Qt parent ownership). It is painted at most once per screen frame
// (TFramePacer): a control changed, or repainted at once, shows at the end of
// the current frame, so heavy traffic costs one painting per frame, not one
// per message or per drain. Controls are public so that the port manager, the
// preferences and the bulk-send window can reach them, as the other units of
// the program do. Code that changes a control whose signal runs a handler
// blocks that control's signals meanwhile (QSignalBlocker).
//
// Signals bound to handlers: buttons clicked(); check boxes toggled(), so that
// checking or unchecking from code runs the handler as a click would; radio
// buttons toggled() to checked; spin edits valueChanged(); device lists
// currentIndexChanged(); actions triggered().

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <cstdint>
#include <functional>

#include "uUserPrefs.h"

class QAction;
class QCheckBox;
class QCloseEvent;
class QFrame;
class QLabel;
class QMenu;
class QComboBox;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class ConnectionTestWindow;
class FileCommands;
class LogDisplay;
class TCounterDisplay;
class THexSpinBox;
class TLogView;
class TShape;
class TStatusBar;
class TrmLed;
struct TMyMidiEvent;

class TfmMain : public QMainWindow {
  Q_OBJECT

 public:
  // prefsFileNameSource gives the preferences file's path when the creation
  // handler forms it (tests point it at a folder of their own).
  explicit TfmMain(std::function<QString()> prefsFileNameSource = Prefs_DefaultFileName,
                   QWidget* parent = nullptr);
  ~TfmMain() override;

  // --- Creation, close, device lists, display (frmMain.cpp) ---
  void FormCreate(QObject* Sender);
  void FormActivate(QObject* Sender);
  // Saves the preferences (only once FormCreate has loaded them) and grants
  // the close, except the first time that they could not be saved: then the
  // status bar says so and the window stays. A file made read-only on purpose
  // closes without a word, and so does every close once the session ends
  // (CloseAtSessionEnd, or the application asked to quit). An error of its
  // other steps leaves it before the close is granted.
  void FormCloseQuery(QObject* Sender, bool& CanClose);
  // The close of a session that ends or of a termination signal: as the
  // user's, but never held for a second one.
  void CloseAtSessionEnd();
  void FormClose(QObject* Sender);
  void cbMIDIInChange(QObject* Sender);
  void cbMIDIOutChange(QObject* Sender);
  void GUI_Refresh();
  void GUI_UpdateSections();
  void ActViewDevIOExecute(QObject* Sender);
  void ActViewTxExecute(QObject* Sender);
  void ActViewRxExecute(QObject* Sender);
  void ActViewAllExecute(QObject* Sender);
  void btnViewAllClick(QObject* Sender);
  void ActEditCopyExecute(QObject* Sender);
  void ActAppAboutExecute(QObject* Sender);
  void ActToolsSendBulkExecute(QObject* Sender);
  void ActAppCloseExecute(QObject* Sender);
  void btnMidiResetClick(QObject* Sender);
  void TimerMidiInTimer(QObject* Sender);
  void TimerMidiOutTimer(QObject* Sender);
  void LedMidiErrClick(QObject* Sender);

  // --- Receive monitor and event log (frmMainReceive.cpp) ---
  void MidiInMidiInput(QObject* Sender);
  void MidiInOverflow(QObject* Sender);
  void MidiOutMidiOutput(QObject* Sender);
  void Log_Add_MidiInEvent(const TMyMidiEvent& Event);
  void Log_Add_MidiOutEvent(const QString& Text);
  // The outgoing line of the text, handed to OnMidiOutLine (a recording) but
  // not shown: for sends that add no line to the log (a re-send).
  QString Log_Record_MidiOutEvent(const QString& Text);
  // The one way of traffic and test lines into the log: puts the time stamp
  // before the text when "Horodater" is checked, then appends the line under
  // the line limit (at once, or at the end of the input drain under way).
  void Log_AddLine(const QString& Text);
  // The port manager's notices ("Aucun port MIDI In trouvé !"): appended as
  // they are, without time stamp and beyond the line limit.
  void Log_AddNotice(const QString& Text);
  void btnLogClearClick(QObject* Sender);
  void btnRxPauseClick(QObject* Sender);
  void cbMidiInFilterTimeCodeClick(QObject* Sender);
  void seLogMaxEventsChange(QObject* Sender);
  // The pause state, kept in the "Tag" property of btnRxPause (1 = paused).
  bool RxPaused() const;
  // The whole log as text, one line per log line.
  QString Log_Text() const;
  // The time stamp that a line added now gets: "[hh:nn:ss:zzz] ".
  QString LogTimeStamp() const;
  // The same for a received message: the time of day when its driver received
  // it (its TimeUs), not when its line is made.
  QString LogTimeStampOf(const TMyMidiEvent& Event) const;
  // Given every event drained from the input port, paused or not, and every
  // outgoing line (without time stamp), whatever the log's line limit; set by
  // the file commands.
  std::function<void(const TMyMidiEvent& Event)> OnMidiInEvent;
  std::function<void(const QString& Line)> OnMidiOutLine;
  // Given every event drained from the input port, paused or not, while a
  // connection test runs; set and cleared by its window.
  std::function<void(const TMyMidiEvent& Event)> OnConnectionTestEvent;

  // --- Transmit panel (frmMainTransmit.cpp) ---
  void rbSendNoteClick(QObject* Sender);
  void edData11Change(QObject* Sender);
  void btnSendData1Click(QObject* Sender);
  void btnSendData2Click(QObject* Sender);
  void btnMidiSendContinuousClick(QObject* Sender);
  void cbMidiSendWithDelayClick(QObject* Sender);

  // --- Transport commands (frmMainTransport.cpp) ---
  void cbMidiSendRTClick(QObject* Sender);
  void btnSendRTStartClick(QObject* Sender);
  void btnSendRTStopClick(QObject* Sender);
  void btnSendRTContinueClick(QObject* Sender);
  void btnSendRTRecClick(QObject* Sender);

  // --- Loop test (frmMainLoopTest.cpp) ---
  void ActToolsLoopTestExecute(QObject* Sender);

  // --- Connection test (frmMainConnectionTest.cpp) ---
  // Shows the connection test window, made at first use.
  void ActToolsConnectionTestExecute(QObject* Sender);
  // The window; none before the first use.
  QPointer<ConnectionTestWindow> ConnectionTest;

  // --- Re-send from the log (frmMainResend.cpp) ---
  void MemoLogClick(QObject* Sender);
  void MemoLogDblClick(QObject* Sender);
  void Log_PickLine(bool SelectAndSend);
  void Log_SendHexText(const QString& Text);

  // Local time of day for the log's time stamps; tests replace it.
  std::function<QTime()> LogTimeOfDay;
  // How long ago, in microseconds, a received message's driver received it
  // (from its TimeUs on the steady clock); tests replace it.
  std::function<uint64_t(uint64_t timeUs)> LogEventAgeUs;

  // --- Menus and actions ---
  QMenu* mnuFile;
  QMenu* mnuEdit;
  QMenu* mnuTools;
  QMenu* mnuView;
  QMenu* mnuHelp;
  QAction* ActAppClose;
  QAction* ActFileSaveLog;
  QAction* ActFileRecordTraffic;
  QAction* ActFileStopTraffic;
  QAction* ActFileSaveSysex;
  QAction* ActToolsSendSysexFile;
  QAction* ActEditCopy;
  QAction* ActToolsLoopTest;
  QAction* ActToolsConnectionTest;
  QAction* ActToolsSendBulk;
  QAction* ActViewDevIO;
  QAction* ActViewTx;
  QAction* ActViewRx;
  QAction* ActViewAll;
  QAction* ActAppHelp;
  QAction* ActAppAbout;

  QTimer* TimerMidiIn;
  QTimer* TimerMidiOut;

  QPushButton* btnViewAll;

  // --- Device panel ---
  QFrame* pnlDevIO;
  QLabel* Label1;
  TShape* shMidiIn;
  QComboBox* cbMIDIIn;
  TCounterDisplay* cntMidiIn;
  TrmLed* LedMidiIn;
  QLabel* lblLedMidiIn;
  TrmLed* LedMidiErr;
  QLabel* lblLedMidiErr;
  TShape* shMidiOut;
  QComboBox* cbMIDIOut;
  TCounterDisplay* cntMidiOut;
  TrmLed* LedMidiOut;
  QLabel* lblLedMidiOut;
  QPushButton* btnMidiReset;

  // --- Transmit panel ---
  QFrame* pnlMidiTx;
  QLabel* Label2;
  QLabel* lblData11;
  QLabel* lblData12;
  QLabel* lblData13;
  THexSpinBox* edData11;
  THexSpinBox* edData12;
  THexSpinBox* edData13;
  QLabel* lblData21;
  QLabel* lblData22;
  QLabel* lblData23;
  THexSpinBox* edData21;
  THexSpinBox* edData22;
  THexSpinBox* edData23;
  QCheckBox* btnMidiSendContinuous;
  QPushButton* btnSendData1;
  QLabel* lblNoteOnNotEqualNoteOff;
  QPushButton* btnSendData2;
  QCheckBox* cbMidiSendWithDelay;
  QLabel* Label13;
  QSpinBox* edMidiSendDelayBeforeNoteOn;
  QLabel* Label14;
  QSpinBox* edMidiSendDelayBeforeNoteOff;
  QRadioButton* rbSendNote;
  QRadioButton* rbSendCC;
  QRadioButton* rbSendPC;
  QRadioButton* rbSendOther;
  QFrame* Bevel1;

  // --- Transport commands (right part of the transmit panel) ---
  QLabel* Label6;
  QCheckBox* cbMidiSendRT;
  QCheckBox* cbMidiSendMMC;
  QCheckBox* cbMidiSendMCP;
  QPushButton* btnSendRTStart;
  QPushButton* btnSendRTRec;
  QPushButton* btnSendRTStop;
  QPushButton* btnSendRTContinue;

  // --- Receive panel ---
  QFrame* pnlMidiRx;
  QLabel* Label5;
  QSpinBox* seLogMaxEvents;
  QLabel* Label7;
  QPushButton* btnLogClear;
  QPushButton* btnRxPause;
  QCheckBox* cbDTflag;
  QCheckBox* cbMidiInFilterTimeCode;
  QLabel* lblMidiInPaused;

  // --- Event log and status bar ---
  TLogView* MemoLog;  // its model holds the lines (Log_AddLine, Log_AddNotice)
  TStatusBar* sbMain;  // two panels: outcome (50) and bytes (600)

  // Saving the log, the traffic and received system-exclusive messages;
  // sending a system-exclusive file (child object).
  FileCommands* Files;
  // The log's display options: filters, details, controller pairs, the
  // clock's tempo, the search (child object).
  LogDisplay* Display;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Sees the application's quit request (the desktop session's end) before
  // the application closes its windows.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateMenus();
  void CreateDevicePanel();
  void CreateTransmitPanel();
  void CreateReceivePanel();
  void ConnectHandlers();
  // Accessible names, the lamps' meanings, shortcuts of the buttons, Tab order.
  void SetUpKeyboardAndAccessibility();
  // Appends finished lines (time stamps included) under the line limit.
  void AppendLogLines(const QStringList& Lines);
  // A finished line (its time stamp included) into the log, or into the batch under way.
  void AddLogLine(const QString& line);
  QString LogTimeStampAt(const QTime& time) const;

  // While one lives, Log_AddLine gathers its lines; Flush appends them in one
  // edit of the log, as that many single appends would. The last one to end
  // flushes what is left.
  class TLogBatch {
   public:
    explicit TLogBatch(TfmMain& window);
    ~TLogBatch();
    TLogBatch(const TLogBatch&) = delete;
    TLogBatch& operator=(const TLogBatch&) = delete;
    void Flush();

   private:
    TfmMain& FWindow;
  };

  const std::function<QString()> FPrefsFileNameSource;
  bool FPrefsLoaded = false;        // the creation got past Prefs_Load
  bool FToldPrefsNotSaved = false;  // a close said the preferences were not saved
  bool FSessionEnding = false;      // closes are granted whatever the save did
  uint64_t FInputLost = 0;          // input messages lost since the start or Reset
  int FInputDrainDepth = 0;         // nesting of MidiInMidiInput
  int FLogBatchDepth = 0;           // open TLogBatch objects
  QStringList FLogPending;          // lines gathered by the open batches
  QElapsedTimer FSinceCounterPaint;  // since the counters were last drawn
};

// The main window; set before its creation handler runs, none before and after.
extern TfmMain* fmMain;

// Full path of the preferences file, formed at creation.
extern QString PrefsFileName;

// Receive monitor (frmMainReceive.cpp).
extern int32_t MidiInCount;
extern uint8_t LoopRxStatus;
extern uint8_t LoopRxData1;
extern uint8_t LoopRxData2;
extern const std::array<const char*, 8> ChannelMessageNames;
extern const std::array<const char*, 16> SystemMessageNames;
// The log line of one incoming event (without time stamp).
QString MidiInEventText(const TMyMidiEvent& Event);

// Loop test (frmMainLoopTest.cpp).
extern bool LoopTestRunning;

// Transmit panel (frmMainTransmit.cpp): per send mode (Note, Control Change,
// Program Change, Autre), rows A and B of three bytes.
enum TTxMode { txmNote, txmControlChange, txmProgramChange, txmOther };
using TTxModeRow = std::array<uint8_t, 3>;
using TTxModeValues = std::array<std::array<TTxModeRow, 2>, 4>;
extern TTxModeValues TxModeValues;
void TxModeValues_SetDefaults();

// Re-send (frmMainResend.cpp): a short hexadecimal text as an integer; never fails.
uint32_t ParseHexText(const QString& Text);
