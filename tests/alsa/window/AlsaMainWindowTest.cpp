// The main window on real ALSA devices: the lists, the loop test and MMC Play
// through "Midi Through", every kind of message the log names going out and
// coming back, bytes from a "hardware" device (a raw MIDI device behind a
// "Virtual Raw MIDI" port) logged exactly, what the program sends arriving
// byte for byte on one, and a flood from one counted exactly.
#include <fcntl.h>

#include <QCheckBox>
#include <QRadioButton>
#include <QTextBlock>

#include <atomic>
#include <thread>

#include "AlsaWindowFixture.h"
#include "BulkSpinBox.h"
#include "CounterDisplay.h"
#include "HexSpinBox.h"
#include "StatusBar.h"
#include "rmLed.h"

namespace {

using namespace std::chrono_literals;

const QString kMidiThroughName = QString::fromStdString(kMidiThrough);
const QString kRaw0 = QString::fromStdString(kVirtualRawMidi0);
const QString kRaw1 = QString::fromStdString(kVirtualRawMidi1);

QStringList Entries(const QComboBox* list) {
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
  return entries;
}

std::vector<uint8_t> Sysex(size_t length) {
  std::vector<uint8_t> bytes(length);
  bytes.front() = 0xF0;
  for (size_t i = 1; i + 1 < length; ++i) bytes[i] = static_cast<uint8_t>(i % 0x80);
  bytes.back() = 0xF7;
  return bytes;
}

QString Hex(const std::vector<uint8_t>& bytes) {
  QStringList parts;
  for (uint8_t byte : bytes) parts << QString::asprintf("%02X", byte);
  return parts.join(' ');
}

using AlsaMainWindow = AlsaWindowFixture;

TEST_F(AlsaMainWindow, ListsShowTheSequencersDevicesThenTheLoopbackAndNotTheProgramsOwnPorts) {
  const QStringList expected = {kMidiThroughName, kRaw0, kRaw1,
                                QString::fromStdString(kVirtualRawMidi2),
                                QString::fromStdString(kVirtualRawMidi3), "Orvalis Loopback"};
  EXPECT_EQ(Entries(window->cbMIDIIn), expected);
  EXPECT_EQ(Entries(window->cbMIDIOut), expected);
  EXPECT_EQ(Entries(bulk->cbMIDIOut), expected);
  ChooseDevices(kMidiThroughName, kMidiThroughName);
  // The program's ports are on the sequencer now; a notice about them changes nothing.
  PumpFor(300);
  EXPECT_EQ(Entries(window->cbMIDIIn), expected);
  EXPECT_EQ(Entries(window->cbMIDIOut), expected);
}

TEST_F(AlsaMainWindow, TheLoopTestThroughMidiThroughAnswers) {
  ChooseDevices(kMidiThroughName, kMidiThroughName);
  window->ActToolsLoopTestExecute(window->ActToolsLoopTest);
  EXPECT_EQ(LogLines(), (QStringList{"Test boucle...", "[Midi-Out] - 90 3C 40", "[MIDI-In] - 90 3C 40 (Note On)",
                                     "[Midi-Out] - 80 3C 40", "[MIDI-In] - 80 3C 40 (Note Off)",
                                     "Test boucle : OK."}));
}

TEST_F(AlsaMainWindow, MmcPlayThroughMidiThroughComesBack) {
  ChooseDevices(kMidiThroughName, kMidiThroughName);
  ASSERT_TRUE(window->cbMidiSendMMC->isChecked());
  window->btnSendRTStart->click();
  ASSERT_TRUE(WaitForLogLines(2)) << Log();
  EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - F0 7F 00 06 02 F7",
                                     "[MIDI-In] - F0 7F 00 06 02 F7  (Sysex - 6)"}));
  EXPECT_EQ(MidiInCount, 1);
  EXPECT_EQ(MidiOutCount, 1);
}

TEST_F(AlsaMainWindow, EveryKindOfMessageTheLogNamesGoesOutAndComesBack) {
  // The sequencer has no event for the undefined status bytes (F4, F5, F9,
  // FD) nor for an F7 alone, so they cannot travel through it; active sensing
  // goes out but is never delivered (the input filters it).
  struct Case {
    std::vector<uint8_t> bytes;
    const char* in;  // the incoming line; none for a message that does not come back
  };
  const Case cases[] = {
      {{0x80, 0x3C, 0x40}, "[MIDI-In] - 80 3C 40 (Note Off)"},
      {{0x91, 0x3C, 0x40}, "[MIDI-In] - 91 3C 40 (Note On)"},
      {{0x92, 0x3C, 0x00}, "[MIDI-In] - 92 3C 00 (Note On)"},
      {{0xA3, 0x3C, 0x22}, "[MIDI-In] - A3 3C 22 (Key Aftertouch)"},
      {{0xB4, 0x07, 0x64}, "[MIDI-In] - B4 07 64 (Control Change)"},
      {{0xC5, 0x05}, "[MIDI-In] - C5 05 (Program Change)"},
      {{0xD6, 0x40}, "[MIDI-In] - D6 40 (Channel Aftertouch)"},
      {{0xEF, 0x00, 0x40}, "[MIDI-In] - EF 00 40 (Pitch Bend)"},
      {{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, "[MIDI-In] - F0 7E 7F 06 01 F7  (Sysex - 6)"},
      {{0xF1, 0x23}, "[MIDI-In] - F1 23 (MTC Quarter Frame)"},
      {{0xF2, 0x01, 0x02}, "[MIDI-In] - F2 01 02 (Song Position Pointer)"},
      {{0xF3, 0x05}, "[MIDI-In] - F3 05 (Song Select)"},
      {{0xF6}, "[MIDI-In] - F6 (Tune Request)"},
      {{0xF8}, "[MIDI-In] - F8 (Timing Clock)"},
      {{0xFA}, "[MIDI-In] - FA (Start)"},
      {{0xFB}, "[MIDI-In] - FB (Continue)"},
      {{0xFC}, "[MIDI-In] - FC (Stop)"},
      {{0xFE}, nullptr},
      {{0xFF}, "[MIDI-In] - FF (System Reset)"},
  };
  ChooseDevices(kMidiThroughName, kMidiThroughName);
  QStringList expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.bytes).toStdString());
    MidiOut_SendBytes(c.bytes, c.bytes.size(), true);
    expected << "[Midi-Out] - " + Hex(c.bytes);
    if (c.in == nullptr) {
      PumpFor(200);
    } else {
      expected << c.in;
      ASSERT_TRUE(WaitForLogLines(static_cast<int>(expected.size()))) << Log();
    }
    EXPECT_EQ(LogLines(), expected);
  }
  EXPECT_EQ(MidiOutCount, static_cast<int32_t>(std::size(cases)));
  EXPECT_EQ(MidiInCount, static_cast<int32_t>(std::size(cases)) - 1);
}

TEST_F(AlsaMainWindow, GarbageFromARawDeviceIsLoggedExactly) {
  ChooseDevices(kRaw0, kRaw0);
  RawMidiDevice raw(kRawMidi0, O_WRONLY);
  ASSERT_TRUE(raw.IsOpen());
  // Data bytes with no status before them, an end of exclusive alone, data
  // bytes again after it, then a note with running status and a stray end
  // of exclusive in it, then a note.
  ASSERT_TRUE(raw.Write({0x3C, 0x40, 0x7F, 0xF7, 0x12, 0x90, 0x3C, 0x40, 0x3E, 0xF7, 0x40, 0x91, 0x30, 0x31}));
  ASSERT_TRUE(WaitForLogLines(2)) << Log();
  PumpFor(300);
  EXPECT_EQ(LogLines(), (QStringList{"[MIDI-In] - 90 3C 40 (Note On)", "[MIDI-In] - 91 30 31 (Note On)"}));
  EXPECT_EQ(MidiInCount, 2);
  EXPECT_FALSE(window->LedMidiErr->LedOn());
}

TEST_F(AlsaMainWindow, AResent255ByteSysexArrivesByteForByteOnARawDevice) {
  RawMidiDevice raw(kRawMidi1, O_RDONLY);
  ASSERT_TRUE(raw.IsOpen());
  ChooseDevices(kRaw1, kRaw1);
  const std::vector<uint8_t> message = Sysex(255);
  MidiOut_SendBytes(message, message.size(), true);
  EXPECT_EQ(raw.Read(message.size()), message);
  ASSERT_EQ(LogLines(), QStringList{"[Midi-Out] - " + Hex(message)});

  // A double click on the line sends it again.
  window->MemoLog->SetCurrentLine(0);
  window->MemoLogDblClick(window->MemoLog);
  EXPECT_EQ(window->sbMain->PanelText(0), "Tx-OK");
  EXPECT_EQ(raw.Read(message.size()), message);
  EXPECT_EQ(raw.Read(1, 200ms), std::vector<uint8_t>{}) << "nothing more";
  EXPECT_EQ(MidiOutCount, 2);
}

// "Autre" with an F0 and no F7 goes out as a system-exclusive string; the
// message after it still arrives whole.
TEST_F(AlsaMainWindow, AutreModeF0WithoutF7GoesOutAndTheNextMessageArrivesWhole) {
  RawMidiDevice raw(kRawMidi1, O_RDONLY);
  ASSERT_TRUE(raw.IsOpen());
  ChooseDevices(kRaw1, kRaw1);
  window->rbSendOther->click();
  window->edData11->setValue(0xF0);
  window->btnSendData1Click(window->btnSendData1);
  ASSERT_TRUE(window->cbMidiSendMMC->isChecked());
  window->btnSendRTStartClick(window->btnSendRTStart);
  EXPECT_EQ(raw.Read(9), (std::vector<uint8_t>{0xF0, 0x3C, 0x40, 0xF0, 0x7F, 0x00, 0x06, 0x02, 0xF7}));
  EXPECT_EQ(raw.Read(1, 200ms), std::vector<uint8_t>{}) << "nothing more";
  EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - F0 3C 40", "[Midi-Out] - F0 7F 00 06 02 F7"}));
}

TEST_F(AlsaMainWindow, ABulkSweepArrivesByteForByteOnARawDevice) {
  RawMidiDevice raw(kRawMidi1, O_RDONLY);
  ASSERT_TRUE(raw.IsOpen());
  ChooseDevices(kRaw1, kRaw1);
  ASSERT_EQ(bulk->cbMIDIOut->currentText(), kRaw1);
  bulk->rbControlChange->setChecked(true);
  bulk->cbData0Loop->setChecked(false);
  bulk->edData0Min->SetValue(3);
  bulk->cbData1Loop->setChecked(true);
  bulk->edData1Min->SetValue(0x10);
  bulk->edData1Max->SetValue(0x11);
  bulk->cbData2Loop->setChecked(true);
  bulk->edData2Min->SetValue(0);
  bulk->edData2Max->SetValue(127);
  bulk->edLoopDelay->SetValue(1);
  bulk->btnSendBulkStart->click();

  // The kernel's driver writes them with running status, as MIDI allows: one
  // status byte, then the data bytes of every message.
  std::vector<uint8_t> expected = {0xB2};
  for (uint8_t d1 = 0x10; d1 <= 0x11; ++d1) {
    for (uint8_t d2 = 0; d2 <= 127; ++d2) expected.insert(expected.end(), {d1, d2});
  }
  EXPECT_EQ(raw.Read(expected.size()), expected);
  EXPECT_EQ(raw.Read(1, 200ms), std::vector<uint8_t>{}) << "nothing more";
  EXPECT_EQ(MidiOutCount, 256);
}

TEST_F(AlsaMainWindow, AFloodOf10000MessagesASecondFor5SecondsIsCountedExactly) {
  ChooseDevices(kRaw0, kRaw0);
  // The log paused, as a user pauses it to count a flood: the monitor still
  // takes and counts every message. (How fast the log draws lines is the
  // log's own affair, measured by bench/monitor_flood and bench/alsa_flood.)
  window->btnRxPause->click();
  ASSERT_TRUE(window->RxPaused());
  RawMidiDevice raw(kRawMidi0, O_WRONLY);
  ASSERT_TRUE(raw.IsOpen());
  // 100 messages every 10 ms, each with a status byte of its own.
  constexpr int kBatches = 500;
  constexpr int kPerBatch = 100;
  std::vector<uint8_t> batch;
  for (int i = 0; i < kPerBatch; ++i) {
    batch.insert(batch.end(), {0x90, static_cast<uint8_t>(i), 0x40});
  }
  std::atomic<bool> written{false};
  std::atomic<bool> writeFailed{false};
  std::thread writer([&] {
    auto next = std::chrono::steady_clock::now();
    for (int b = 0; b < kBatches; ++b) {
      if (!raw.Write(batch)) {
        writeFailed = true;
        break;
      }
      next += 10ms;
      std::this_thread::sleep_until(next);
    }
    written = true;
  });
  const bool counted = PumpUntil([&] { return written && MidiInCount >= kBatches * kPerBatch; }, 60000);
  writer.join();
  ASSERT_FALSE(writeFailed);
  EXPECT_TRUE(counted);
  PumpFor(300);
  EXPECT_EQ(MidiInCount, kBatches * kPerBatch);
  EXPECT_EQ(window->cntMidiIn->Value(), kBatches * kPerBatch);
  EXPECT_FALSE(window->LedMidiErr->LedOn()) << "nothing was lost";
  EXPECT_EQ(LogLines(), QStringList{});
}

}  // namespace
