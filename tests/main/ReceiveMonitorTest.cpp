// The receive monitor and the event log: line formats, time stamps, pause,
// time-code filter, line limit, counters and LEDs.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>

#include <functional>

#include "CounterDisplay.h"
#include "LogView.h"
#include "MainWindowFixture.h"
#include "StatusBar.h"
#include "rmLed.h"

namespace {

class ReceiveMonitorTest : public MainWindowFixture {
 protected:
  void SetUp() override { Start(); }
};

struct ShortCase {
  uint32_t packed;
  const char* line;
};

TEST_F(ReceiveMonitorTest, EachShortMessageIsLoggedWithItsBytesAndName) {
  const ShortCase cases[] = {
      {0x403C93, "[MIDI-In] - 93 3C 40 (Note On)"},
      {0x407F8F, "[MIDI-In] - 8F 7F 40 (Note Off)"},
      {0x103CA2, "[MIDI-In] - A2 3C 10 (Key Aftertouch)"},
      {0x7F07B0, "[MIDI-In] - B0 07 7F (Control Change)"},
      {0x0007C5, "[MIDI-In] - C5 07 (Program Change)"},
      {0x0022D1, "[MIDI-In] - D1 22 (Channel Aftertouch)"},
      {0x4000EF, "[MIDI-In] - EF 00 40 (Pitch Bend)"},
      {0x0005F1, "[MIDI-In] - F1 05 (MTC Quarter Frame)"},
      {0x2010F2, "[MIDI-In] - F2 10 20 (Song Position Pointer)"},
      {0x0007F3, "[MIDI-In] - F3 07 (Song Select)"},
      {0xF4, "[MIDI-In] - F4 (Undefined)"},
      {0xF5, "[MIDI-In] - F5 (Undefined)"},
      {0xF6, "[MIDI-In] - F6 (Tune Request)"},
      {0xF7, "[MIDI-In] - F7 (System Exclusive End)"},
      {0xF8, "[MIDI-In] - F8 (Timing Clock)"},
      {0xF9, "[MIDI-In] - F9 (Undefined)"},
      {0xFA, "[MIDI-In] - FA (Start)"},
      {0xFB, "[MIDI-In] - FB (Continue)"},
      {0xFC, "[MIDI-In] - FC (Stop)"},
      {0xFD, "[MIDI-In] - FD (Undefined)"},
      {0xFF, "[MIDI-In] - FF (System Reset)"},
  };
  for (const ShortCase& c : cases) {
    SCOPED_TRACE(c.line);
    window->btnLogClearClick(window->btnLogClear);
    Receive({c.packed});
    EXPECT_EQ(LogLines(), QStringList{c.line});
  }
  EXPECT_EQ(MidiInCount, static_cast<int32_t>(std::size(cases)));
}

TEST_F(ReceiveMonitorTest, ActiveSensingNeverReachesTheMonitor) {
  Receive({0xFE});
  EXPECT_TRUE(LogLines().isEmpty());
  EXPECT_EQ(MidiInCount, 0);
}

TEST_F(ReceiveMonitorTest, SystemExclusiveShowsEveryByteUpToFiveHundredAndTheFullLength) {
  std::vector<uint8_t> long600(600, 0x11);
  long600.front() = 0xF0;
  long600.back() = 0xF7;
  std::vector<uint8_t> long501(501, 0x22);
  long501.front() = 0xF0;
  long501.back() = 0xF7;
  auto first500 = [](const char* fill) {
    QString text = "F0 ";
    for (int i = 1; i < 500; ++i) text += QString::fromLatin1(fill) + ' ';
    return text;
  };

  struct Case {
    std::vector<uint8_t> bytes;
    QString line;
  };
  const Case cases[] = {
      {{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}, "[MIDI-In] - F0 7E 00 06 01 F7  (Sysex - 6)"},
      {{0xF0, 0x7E, 0x00, 0x06, 0x01, 0x02, 0xF7}, "[MIDI-In] - F0 7E 00 06 01 02 F7  (Sysex - 7)"},
      {{0xF0, 0x01, 0xF7}, "[MIDI-In] - F0 01 F7  (Sysex - 3)"},
      {{0xF0}, "[MIDI-In] - F0  (Sysex - 1)"},
      {long600, "[MIDI-In] - " + first500("11") + " (Sysex - 600)"},
      {long501, "[MIDI-In] - " + first500("22") + " (Sysex - 501)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.left(60).toStdString());
    window->btnLogClearClick(window->btnLogClear);
    ASSERT_TRUE(midi->DeliverSysex(c.bytes));
    Pump();
    EXPECT_EQ(LogLines(), QStringList{c.line});
  }
}

TEST_F(ReceiveMonitorTest, EventTextNeverReadsBeyondTheEventOrTheNameTables) {
  TMyMidiEvent oneByte;
  oneByte.MidiMessage = 0xF0;
  oneByte.SetSysex(std::array<uint8_t, 1>{0xF0}.data(), 1);
  EXPECT_EQ(MidiInEventText(oneByte), "[MIDI-In] - F0  (Sysex - 1)");

  TMyMidiEvent noBlock;  // a length without bytes shows no bytes
  noBlock.MidiMessage = 0xF0;
  noBlock.SysexLength = 8;
  EXPECT_EQ(MidiInEventText(noBlock), "[MIDI-In] -  (Sysex - 8)");

  TMyMidiEvent dataByte;  // not a status byte
  dataByte.MidiMessage = 0x3C;
  dataByte.Data1 = 0x40;
  EXPECT_EQ(MidiInEventText(dataByte), "[MIDI-In] - 3C 40 00 (Undefined)");
}

TEST_F(ReceiveMonitorTest, TimeStampPrefixesEveryLaterLineInAndOut) {
  Receive({0xFA});
  window->LogTimeOfDay = [] { return QTime(14, 5, 9, 123); };
  window->LogEventAgeUs = [](uint64_t) { return uint64_t{0}; };
  window->cbDTflag->setChecked(true);
  Receive({0x403C90});
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFC}, 1, true);
  window->Log_AddLine("Test boucle...");
  EXPECT_EQ(LogLines(), (QStringList{"[MIDI-In] - FA (Start)",
                                     "[14:05:09:123] [MIDI-In] - 90 3C 40 (Note On)",
                                     "[14:05:09:123] [Midi-Out] - FC",
                                     "[14:05:09:123] Test boucle..."}));
}

// A received line says when its driver received the message, however long
// the window took to get to it; other lines say when they were made.
TEST_F(ReceiveMonitorTest, AReceivedLineIsStampedWithTheTimeItsDriverReceivedIt) {
  window->cbDTflag->setChecked(true);
  window->LogTimeOfDay = [] { return QTime(14, 5, 9, 123); };
  window->LogEventAgeUs = [](uint64_t) { return uint64_t{250'400}; };
  Receive({0x403C90});
  window->Log_AddLine("Test boucle...");
  EXPECT_EQ(LogLines(), (QStringList{"[14:05:08:873] [MIDI-In] - 90 3C 40 (Note On)",
                                     "[14:05:09:123] Test boucle..."}));
}

TEST_F(ReceiveMonitorTest, TimeStampUsesTheTimeOfDayOfEachLine) {
  window->cbDTflag->setChecked(true);
  window->LogTimeOfDay = [] { return QTime(0, 0, 0, 7); };
  window->Log_AddLine("a");
  window->LogTimeOfDay = [] { return QTime(23, 59, 59, 999); };
  window->Log_AddLine("b");
  EXPECT_EQ(LogLines(), (QStringList{"[00:00:00:007] a", "[23:59:59:999] b"}));

  window->LogTimeOfDay = [] { return QTime::currentTime(); };
  Receive({0xFA});
  static const QRegularExpression stamp(R"(^\[\d\d:\d\d:\d\d:\d\d\d\] \[MIDI-In\] - FA \(Start\)$)");
  EXPECT_TRUE(stamp.match(LogLines().last()).hasMatch()) << LogLines().last().toStdString();
}

TEST_F(ReceiveMonitorTest, PauseStopsLoggingButStillCountsLightsAndFeedsTheLoopTest) {
  window->btnRxPause->click();
  EXPECT_TRUE(window->RxPaused());
  EXPECT_TRUE(window->lblMidiInPaused->isVisibleTo(window.get()));
  EXPECT_EQ(window->btnRxPause->text(), "Pause (Rx)");

  LoopTestRunning = true;
  Receive({0x403C90, 0x403C80});
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFA}, 1, true);
  EXPECT_EQ(LogLines(), QStringList{"[Midi-Out] - FA"});
  EXPECT_EQ(MidiInCount, 2);
  EXPECT_EQ(window->cntMidiIn->Value(), 2);
  EXPECT_TRUE(window->LedMidiIn->LedOn());
  EXPECT_TRUE(window->TimerMidiIn->isActive());
  EXPECT_EQ(LoopRxStatus, 0x80);
  EXPECT_EQ(LoopRxData1, 0x3C);
  EXPECT_EQ(LoopRxData2, 0x40);

  window->btnRxPause->click();
  EXPECT_FALSE(window->RxPaused());
  EXPECT_FALSE(window->lblMidiInPaused->isVisibleTo(window.get()));
  Receive({0xFC});
  EXPECT_EQ(LogLines().last(), "[MIDI-In] - FC (Stop)");
}

TEST_F(ReceiveMonitorTest, LoopCaptureHappensOnlyWhileTheLoopTestRuns) {
  Receive({0x403C90});
  EXPECT_EQ(LoopRxStatus, 0);
  LoopTestRunning = true;
  Receive({0x7F01B3});
  LoopTestRunning = false;
  Receive({0x403C90});
  EXPECT_EQ(LoopRxStatus, 0xB3);
  EXPECT_EQ(LoopRxData1, 0x01);
  EXPECT_EQ(LoopRxData2, 0x7F);
}

TEST_F(ReceiveMonitorTest, TimeCodeFilterDropsTimingClockOnly) {
  window->cbMidiInFilterTimeCode->setChecked(true);
  Receive({0xF8, 0x0005F1, 0xFA});
  EXPECT_EQ(LogLines(), (QStringList{"[MIDI-In] - F1 05 (MTC Quarter Frame)", "[MIDI-In] - FA (Start)"}));
  EXPECT_EQ(MidiInCount, 2);

  window->cbMidiInFilterTimeCode->setChecked(false);
  Receive({0xF8, 0xFE});
  EXPECT_EQ(LogLines().last(), "[MIDI-In] - F8 (Timing Clock)");
  EXPECT_EQ(MidiInCount, 3);
  EXPECT_TRUE(MidiInPort->FilteredMessages().Contains(msgActiveSensing));
}

TEST_F(ReceiveMonitorTest, LineLimitRemovesOneOldestLinePerAddedLine) {
  ASSERT_EQ(LogMaxEvents, 400);
  for (int i = 0; i < 400; ++i) window->Log_AddLine(QString("line %1").arg(i));
  window->Log_AddLine("line 400");
  QStringList lines = LogLines();
  ASSERT_EQ(lines.size(), 400);
  EXPECT_EQ(lines.first(), "line 1");
  EXPECT_EQ(lines.last(), "line 400");

  window->seLogMaxEvents->setValue(10);
  EXPECT_EQ(LogMaxEvents, 10);
  Receive({0xFA, 0xFB});
  lines = LogLines();
  ASSERT_EQ(lines.size(), 400);
  EXPECT_EQ(lines.first(), "line 3");
  EXPECT_EQ(lines.last(), "[MIDI-In] - FB (Continue)");
}

TEST_F(ReceiveMonitorTest, WrappedLongLineCountsAsOneLine) {
  LogMaxEvents = 3;
  window->Log_AddLine(QString("F0 7E ").repeated(200));
  QCoreApplication::processEvents();
  ASSERT_GT(window->MemoLog->DisplayRows(0), 1);  // it wraps
  window->Log_AddLine("b");
  window->Log_AddLine("c");
  EXPECT_EQ(LogLines().size(), 3);
  window->Log_AddLine("d");
  EXPECT_EQ(LogLines(), (QStringList{"b", "c", "d"}));
}

TEST_F(ReceiveMonitorTest, DrainShowsWhatEventByEventLoggingWouldShow) {
  struct Case {
    int limit;
    int before;
    int received;
  };
  for (const Case c : {Case{10, 5, 50}, Case{10, 0, 3}, Case{3, 8, 2}, Case{0, 2, 4}, Case{400, 399, 5}}) {
    SCOPED_TRACE(testing::Message() << c.limit << "/" << c.before << "/" << c.received);
    window->btnLogClearClick(window->btnLogClear);
    LogMaxEvents = 1000;
    QStringList expected;
    for (int i = 0; i < c.before; ++i) {
      window->Log_AddLine(QString("old %1").arg(i));
      expected << QString("old %1").arg(i);
    }
    LogMaxEvents = c.limit;
    for (int i = 0; i < c.received; ++i) {
      ASSERT_TRUE(midi->DeliverShort(0x90 + 256 * static_cast<uint32_t>(i)));
      if (!expected.isEmpty() && expected.size() >= c.limit) expected.removeFirst();
      expected << QString("[MIDI-In] - 90 %1 00 (Note On)")
                      .arg(QString::number(i, 16).rightJustified(2, '0').toUpper());
    }
    Pump();
    EXPECT_EQ(LogLines(), expected);
  }
}

TEST_F(ReceiveMonitorTest, WhileTheUserReadsTrafficKeepsTheSelectionAndThePlaceShown) {
  window->seLogMaxEvents->setValue(10000);
  for (int i = 0; i < 60; ++i) window->Log_AddLine(QString("line %1").arg(i));
  QScrollBar* bar = window->MemoLog->verticalScrollBar();
  ASSERT_EQ(bar->value(), bar->maximum());
  window->MemoLog->SelectLines(10, 12);
  const int top = window->MemoLog->TopLine();
  Receive({0x403C90, 0x403C80});
  MidiOut_SendBytes(std::array<uint8_t, 1>{0xFC}, 1, true);
  EXPECT_EQ(window->MemoLog->SelectedText(), "line 10\nline 11\nline 12");
  EXPECT_EQ(window->MemoLog->TopLine(), top);
  EXPECT_LT(bar->value(), bar->maximum());
  EXPECT_EQ(LogLines().size(), 63);

  // Back at the end, the view follows the traffic again.
  bar->setValue(bar->maximum());
  Receive({0xFA});
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_TRUE(window->MemoLog->FollowsEnd());
  EXPECT_TRUE(window->MemoLog->viewport()->rect().contains(window->MemoLog->LineRect(63)));
}

TEST_F(ReceiveMonitorTest, WithoutReadingTheLogFollowsTheNewestLine) {
  window->Log_AddLine("first");
  for (int i = 0; i < 39; ++i) Receive({0x403C90});
  const QRect newest = window->MemoLog->LineRect(LogLines().size() - 1);
  EXPECT_TRUE(window->MemoLog->viewport()->rect().contains(newest)) << newest.y();
  EXPECT_FALSE(window->MemoLog->HasSelection());
  EXPECT_TRUE(window->MemoLog->FollowsEnd());
}

TEST_F(ReceiveMonitorTest, ClearEmptiesTheLogAndKeepsTheCounters) {
  Receive({0xFA, 0xFB});
  window->btnLogClear->click();
  EXPECT_TRUE(LogLines().isEmpty());
  EXPECT_EQ(MidiInCount, 2);
  Receive({0xFC});
  EXPECT_EQ(LogLines(), QStringList{"[MIDI-In] - FC (Stop)"});
}

// 3000 messages, 0.3 s of a 10 000/s flood, arrive while the window's thread
// handles nothing (each delivery waits for the driver's callback, never for
// the window): all of them are counted and logged, in order.
TEST_F(ReceiveMonitorTest, AFloodBeyondTheOldQueueWhileTheWindowIsBusyArrivesWhole) {
  window->seLogMaxEvents->setValue(10000);
  constexpr uint32_t kFlood = 3000;
  QStringList expected;
  for (uint32_t n = 0; n < kFlood; ++n) {
    ASSERT_TRUE(midi->DeliverShort(0x90 + 256 * (n % 128) + 65536 * (n / 128)));
    expected << QString::asprintf("[MIDI-In] - 90 %02X %02X (Note On)", n % 128, n / 128);
  }
  EXPECT_EQ(MidiInPort->MessageCount(), kFlood);
  Pump();
  EXPECT_EQ(MidiInCount, 3000);
  EXPECT_EQ(window->cntMidiIn->Value(), 3000);
  EXPECT_FALSE(window->LedMidiErr->LedOn());
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(ReceiveMonitorTest, LedLightsWithTrafficAndItsTimerSwitchesItOff) {
  Receive({0xFA});
  EXPECT_TRUE(window->LedMidiIn->LedOn());
  ASSERT_TRUE(window->TimerMidiIn->isActive());
  EXPECT_EQ(window->TimerMidiIn->interval(), 100);
  window->TimerMidiInTimer(window->TimerMidiIn);
  EXPECT_FALSE(window->LedMidiIn->LedOn());
  EXPECT_FALSE(window->TimerMidiIn->isActive());
}

TEST_F(ReceiveMonitorTest, QueueOverflowLightsTheErrorLedAndLosesOnlyTheSurplus) {
  for (uint32_t i = 0; i < 4101; ++i) ASSERT_TRUE(midi->DeliverShort(0xF8));
  Pump();
  EXPECT_TRUE(window->LedMidiErr->LedOn());
  EXPECT_EQ(MidiInCount, 4095);
  EXPECT_EQ(LogLines().size(), 400);
  emit window->LedMidiErr->clicked();
  EXPECT_FALSE(window->LedMidiErr->LedOn());
}

// Every loss lights the lamp and counts, in the status bar, like the input
// queue's: a full ring, or the driver's own queue (the ALSA sequencer's) that
// says how many it dropped, or does not (one at least). Reset starts again.
TEST_F(ReceiveMonitorTest, EveryLossLightsTheErrorLedAndTheStatusBarSaysHowMany) {
  struct Case {
    const char* what;
    std::function<void()> lose;
    QString said;
  };
  const Case cases[] = {
      {"a full ring", [&] { for (uint32_t i = 0; i < 4101; ++i) midi->DeliverShort(0xF8); },
       "Messages MIDI In perdus : 6"},
      {"the driver's queue, 37 said", [&] { midi->DeliverRaw(MIM_OVERFLOW, 37, 0); },
       "Messages MIDI In perdus : 37"},
      {"the driver's queue, twice without a count", [&] {
         midi->DeliverRaw(MIM_OVERFLOW, 0, 0);
         midi->DeliverRaw(MIM_OVERFLOW, 0, 0);
       }, "Messages MIDI In perdus : au moins 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    window->btnMidiReset->click();
    ASSERT_FALSE(window->LedMidiErr->LedOn());
    c.lose();
    Pump();
    EXPECT_TRUE(window->LedMidiErr->LedOn());
    EXPECT_EQ(window->sbMain->PanelText(1), c.said);
    EXPECT_EQ(MidiInCount, std::string(c.what) == "a full ring" ? 4095 : 0);
  }
  midi->DeliverShort(0x403C90);
  Pump();
  EXPECT_EQ(LogLines().last(), "[MIDI-In] - 90 3C 40 (Note On)") << "what follows a loss is delivered";
}

}  // namespace

namespace {

TEST_F(ReceiveMonitorTest, LogScrollsToTheNewestLine) {
  for (int i = 0; i < 39; ++i) Receive({0x403C90});
  QScrollBar* bar = window->MemoLog->verticalScrollBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
}

}  // namespace
