// Receive monitor and event log: drains the input port, counts and shows the
// activity, feeds the loop test and the connection test, and writes one
// decoded line per event.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <span>

#include "LogDisplay.h"
#include "LogView.h"
#include "MidiCallback.h"
#include "MidiIn.h"
#include "MidiText.h"
#include "StatusBar.h"
#include "frmMain.h"
#include "rmLed.h"
#include "uComm.h"
#include "uUserPrefs.h"

int32_t MidiInCount = 0;
uint8_t LoopRxStatus = 0;
uint8_t LoopRxData1 = 0;
uint8_t LoopRxData2 = 0;

const std::array<const char*, 8> ChannelMessageNames = {
    "Note Off",       "Note On",           "Key Aftertouch", "Control Change",
    "Program Change", "Channel Aftertouch", "Pitch Bend",     "System Message",
};

const std::array<const char*, 16> SystemMessageNames = {
    "System Exclusive", "MTC Quarter Frame", "Song Position Pointer", "Song Select",
    "Undefined",        "Undefined",         "Tune Request",          "System Exclusive End",
    "Timing Clock",     "Undefined",         "Start",                 "Continue",
    "Stop",             "Undefined",         "Active Sensing",        "System Reset",
};

namespace {

// Counters are redrawn at most once per screen frame while a drain runs.
constexpr qint64 kFrameMs = 16;

// "[MIDI-In] - " + the bytes + " (" + name + ")".
QString ShortLine(std::initializer_list<uint8_t> bytes, const char* name) {
  QString line;
  line.reserve(48);
  line += QLatin1String("[MIDI-In] - ");
  AppendHexBytes(line, std::span<const uint8_t>(bytes.begin(), bytes.size()));
  line += QLatin1String(" (");
  line += QLatin1String(name);
  line += QLatin1Char(')');
  return line;
}

void SaturatingIncrement(int32_t& count) {
  if (count < INT32_MAX) ++count;
}

// The user's time separator: the character after the hours of the locale's
// short time format, a colon when there is none.
QChar TimeSeparator() {
  static const QChar separator = [] {
    const QString format = QLocale::system().timeFormat(QLocale::ShortFormat);
    for (qsizetype i = 0; i + 1 < format.size(); ++i) {
      if ((format[i] == u'h' || format[i] == u'H') && format[i + 1] != format[i]) {
        const QChar next = format[i + 1];
        return next.isPunct() ? next : QChar(u':');
      }
    }
    return QChar(u':');
  }();
  return separator;
}

void AppendTwoDigits(QString& text, int value) {
  text += QLatin1Char(static_cast<char>('0' + value / 10));
  text += QLatin1Char(static_cast<char>('0' + value % 10));
}

}  // namespace

QString MidiInEventText(const TMyMidiEvent& Event) {
  const uint8_t status = Event.MidiMessage;
  const uint8_t d1 = Event.Data1;
  const uint8_t d2 = Event.Data2;
  if (status < 0x80) {
    // Not a status byte; the port does not deliver these, but a line must not
    // index the name tables with it.
    return ShortLine({status, d1, d2}, "Undefined");
  }
  const char* channelName = ChannelMessageNames[(status - 0x80) / 16];
  switch (status >> 4) {
    case 0x8:
    case 0x9:
    case 0xA:
    case 0xB:
    case 0xE:
      return ShortLine({status, d1, d2}, channelName);
    case 0xC:
    case 0xD:
      return ShortLine({status, d1}, channelName);
    default:
      break;
  }
  const char* systemName = SystemMessageNames[status & 0x0F];
  switch (status) {
    case 0xF0: {
      // Every byte up to the cap, each followed by a space; the length is the
      // whole message's.
      std::string hex;
      SysexToHexText(Event.Sysex.get(), Event.Sysex ? Event.SysexLength : 0, hex);
      return QStringLiteral("[MIDI-In] - %1 (Sysex - %2)")
          .arg(QString::fromLatin1(hex.data(), static_cast<qsizetype>(hex.size())))
          .arg(Event.SysexLength);
    }
    case 0xF1:
    case 0xF3:
      return ShortLine({status, d1}, systemName);
    case 0xF2:
      return ShortLine({status, d1, d2}, systemName);
    default:
      return ShortLine({status}, systemName);
  }
}

QString TfmMain::LogTimeStamp() const { return LogTimeStampAt(LogTimeOfDay()); }

// A message a day old or more (a clock gone wrong) keeps the time of its line.
QString TfmMain::LogTimeStampOf(const TMyMidiEvent& Event) const {
  constexpr uint64_t kDayMs = 24ull * 3600 * 1000;
  const uint64_t ageMs = LogEventAgeUs(Event.TimeUs) / 1000;
  const QTime now = LogTimeOfDay();
  return LogTimeStampAt(ageMs < kDayMs ? now.addMSecs(-static_cast<int>(ageMs)) : now);
}

QString TfmMain::LogTimeStampAt(const QTime& now) const {
  const QChar sep = TimeSeparator();
  QString stamp;
  stamp.reserve(16);
  stamp += QLatin1Char('[');
  AppendTwoDigits(stamp, now.hour());
  stamp += sep;
  AppendTwoDigits(stamp, now.minute());
  stamp += sep;
  AppendTwoDigits(stamp, now.second());
  stamp += sep;
  const int ms = now.msec();
  stamp += QLatin1Char(static_cast<char>('0' + ms / 100));
  AppendTwoDigits(stamp, ms % 100);
  stamp += QLatin1String("] ");
  return stamp;
}

QString TfmMain::Log_Text() const { return MemoLog->Model()->Text(); }

bool TfmMain::RxPaused() const { return btnRxPause->property("Tag").toInt() == 1; }

void TfmMain::MidiInMidiInput(QObject* Sender) {
  auto* port = qobject_cast<TMidiInput*>(Sender);
  if (!port) port = MidiInPort.get();
  if (!port) return;

  if (!ShuttingDown) {
    if (!TimerMidiIn->isActive()) TimerMidiIn->start();
    const bool ledWasOn = LedMidiIn->LedOn();
    LedMidiIn->SetLedOn(true);
    // Pending window messages are processed so that the lit LED shows; when
    // it was lit already there is nothing new to show (under steady traffic,
    // most drains). A notification handled inside this pass drains the queue
    // itself; one level of nesting is enough for that, deeper passes would
    // only stack up.
    if (!ledWasOn && FInputDrainDepth == 0) {
      ++FInputDrainDepth;
      struct TDepthGuard {
        int& depth;
        ~TDepthGuard() { --depth; }
      } guard{FInputDrainDepth};
      QCoreApplication::processEvents();
    }
  }

  // Lines and counter repaints are gathered and shown once per frame and at the
  // end; the result is the same as logging and drawing after every event.
  const bool paused = RxPaused();
  TLogBatch batch(*this);
  const auto show = [&] {
    batch.Flush();
    GUI_Refresh();
  };
  try {
    while (port->MessageCount() > 0) {
      std::unique_ptr<TMyMidiEvent> event = port->GetMidiEvent();
      if (!event) break;
      if (LoopTestRunning) {
        LoopRxStatus = event->MidiMessage;
        LoopRxData1 = event->Data1;
        LoopRxData2 = event->Data2;
      }
      if (OnMidiInEvent) OnMidiInEvent(*event);
      if (OnConnectionTestEvent) OnConnectionTestEvent(*event);
      Display->Observe(*event);
      if (!paused) Log_Add_MidiInEvent(*event);
      SaturatingIncrement(MidiInCount);
      if (!FSinceCounterPaint.isValid() || FSinceCounterPaint.elapsed() >= kFrameMs) show();
    }
  } catch (...) {
    show();
    throw;
  }
  show();
}

// Once per lost message: the lamp, and in the status bar how many were lost
// since the start or the last Reset ("au moins" when the driver did not say
// how many it dropped).
void TfmMain::MidiInOverflow(QObject*) {
  LedMidiErr->SetLedOn(true);
  ++FInputLost;
  const bool uncounted = MidiInPort && MidiInPort->LossUncounted();
  sbMain->SetPanelText(1, (uncounted ? QStringLiteral("Messages MIDI In perdus : au moins %1")
                                     : QStringLiteral("Messages MIDI In perdus : %1"))
                              .arg(FInputLost));
}

void TfmMain::MidiOutMidiOutput(QObject*) {}

void TfmMain::Log_Add_MidiInEvent(const TMyMidiEvent& Event) {
  const LogDisplay::Shown shown = Display->ShowIncoming(Event.MidiMessage, Event.Data1, Event.Data2);
  if (shown.Hidden) return;
  const QString text = MidiInEventText(Event) + shown.Details;
  const QString stamp = cbDTflag->isChecked() ? LogTimeStampOf(Event) : QString();
  AddLogLine(stamp.isEmpty() ? text : stamp + text);
  if (!shown.PairLine.isEmpty()) AddLogLine(stamp + shown.PairLine);
}

void TfmMain::Log_Add_MidiOutEvent(const QString& Text) {
  const QString line = Log_Record_MidiOutEvent(Text);
  const LogDisplay::Shown shown = Display->ShowOutgoing(Text);
  if (shown.Hidden) return;
  Log_AddLine(line + shown.Details);
  if (!shown.PairLine.isEmpty()) Log_AddLine(shown.PairLine);
}

QString TfmMain::Log_Record_MidiOutEvent(const QString& Text) {
  QString line = QStringLiteral("[Midi-Out] - ") + Text;
  if (OnMidiOutLine) OnMidiOutLine(line);
  return line;
}

void TfmMain::Log_AddLine(const QString& Text) {
  AddLogLine(cbDTflag->isChecked() ? LogTimeStamp() + Text : Text);
}

void TfmMain::AddLogLine(const QString& line) {
  if (FLogBatchDepth > 0) {
    FLogPending << line;
  } else {
    AppendLogLines({line});
  }
}

TfmMain::TLogBatch::TLogBatch(TfmMain& window) : FWindow(window) { ++FWindow.FLogBatchDepth; }

TfmMain::TLogBatch::~TLogBatch() {
  --FWindow.FLogBatchDepth;
  try {
    Flush();
  } catch (...) {
    // A destructor must not raise: lines that could not be appended are lost.
  }
}

void TfmMain::TLogBatch::Flush() {
  if (FWindow.FLogPending.isEmpty()) return;
  QStringList lines;
  lines.swap(FWindow.FLogPending);
  FWindow.AppendLogLines(lines);
}

void TfmMain::AppendLogLines(const QStringList& Lines) { MemoLog->Model()->AppendLines(Lines, LogMaxEvents); }

void TfmMain::Log_AddNotice(const QString& Text) { MemoLog->Model()->AppendLine(Text); }

void TfmMain::btnLogClearClick(QObject*) { MemoLog->Clear(); }

void TfmMain::btnRxPauseClick(QObject*) {
  const int tag = RxPaused() ? 0 : 1;
  btnRxPause->setProperty("Tag", tag);
  lblMidiInPaused->setVisible(tag == 1);
}

void TfmMain::cbMidiInFilterTimeCodeClick(QObject*) {
  if (!MidiInPort) return;
  TMidiMsgFilter filter = MidiInPort->FilteredMessages();
  if (cbMidiInFilterTimeCode->isChecked()) {
    filter.Include(msgMidiTimeCode);
  } else {
    filter.Exclude(msgMidiTimeCode);
  }
  MidiInPort->SetFilteredMessages(filter);
}

void TfmMain::seLogMaxEventsChange(QObject*) { LogMaxEvents = seLogMaxEvents->value(); }
