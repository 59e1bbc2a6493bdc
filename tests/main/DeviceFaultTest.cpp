// Devices that are not there any more and input that comes faster than the
// window takes it, on the scriptable back end: a remembered device missing at
// start, a chosen device that has left the platform's list, and a flood far
// beyond the input queue.
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>

#include "CounterDisplay.h"
#include "MainWindowFixture.h"
#include "StatusShape.h"
#include "rmLed.h"

namespace {

const QColor kLime(0x00, 0xFF, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);

class DeviceFaultTest : public MainWindowFixture {
 protected:
  void RememberDevices(const char* input, const char* output) {
    QFile file(prefsDir.filePath("orvalis.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[MidiDevice]\nMidiInDevName=%1\nMidiOutDevName=%2\n")
                   .arg(QString::fromUtf8(input), QString::fromUtf8(output))
                   .toUtf8());
  }
};

struct RememberedCase {
  const char* name;
  const char* input;   // remembered
  const char* output;
  const char* chosenInput;  // expected after start-up
  const char* chosenOutput;
};

TEST_F(DeviceFaultTest, ARememberedDeviceMissingAtStartLeavesTheFirstDeviceChosenAndOpen) {
  const RememberedCase cases[] = {
      {"input gone", "Drum Pads", "Synth B", "Keyboard", "Synth B"},
      {"output gone", "Pads", "Old Synth", "Pads", "Synth A"},
      {"both gone", "Drum Pads", "Old Synth", "Keyboard", "Synth A"},
  };
  for (const RememberedCase& c : cases) {
    SCOPED_TRACE(c.name);
    RememberDevices(c.input, c.output);
    Start({{"Keyboard", "Pads"}, {"Synth A", "Synth B"}});
    EXPECT_EQ(window->cbMIDIIn->currentText(), c.chosenInput);
    EXPECT_EQ(MidiInPort->ProductName(), c.chosenInput);
    EXPECT_EQ(MidiInPort->State(), misOpen);
    EXPECT_EQ(window->shMidiIn->BrushColor(), kLime);
    EXPECT_EQ(window->cbMIDIOut->currentText(), c.chosenOutput);
    EXPECT_EQ(MidiOutPort->ProductName(), c.chosenOutput);
    EXPECT_EQ(MidiOutPort->State(), mosOpen);
    EXPECT_EQ(window->shMidiOut->BrushColor(), kLime);
    // The next save remembers the devices in use.
    EXPECT_EQ(UserPrefs.MidiInDevName, c.chosenInput);
    EXPECT_EQ(UserPrefs.MidiOutDevName, c.chosenOutput);
    TearDown();
  }
}

// An output device that goes between the count of the devices and the reading
// of its name is left out of the list; the start goes on, and the close keeps
// the remembered devices, log length and presets.
TEST_F(DeviceFaultTest, AnOutputGoneWhileTheListIsFilledLosesNoSettings) {
  const QByteArray remembered =
      "[Log]\nLogItemMax=250\n[MidiDevice]\nMidiInDevName=Keyboard\nMidiOutDevName=Synth B\n"
      "[ToolsSendBulkPreset05]\nLoopDelay=777\nData1Min=16\n";
  {
    QFile file(prefsDir.filePath("orvalis.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(remembered);
  }
  EXPECT_NO_THROW(Start({{"Keyboard"}, {"Synth A", "Synth B", "Synth C"}},
                        [](TestMidiServices& m) { m.FailOutputCaps(2, MIDIERR_NODEVICE); }));
  ASSERT_TRUE(window);
  EXPECT_EQ(window->cbMIDIOut->count(), 2);
  EXPECT_EQ(window->cbMIDIOut->currentText(), "Synth B");
  EXPECT_EQ(MidiOutPort->State(), mosOpen);
  EXPECT_EQ(window->seLogMaxEvents->value(), 250);

  window->close();
  QFile file(PrefsFileName);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString saved = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(saved.contains("LogItemMax=250\n")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("MidiInDevName=Keyboard\n")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("MidiOutDevName=Synth B\n")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("[ToolsSendBulkPreset05]\nLoopDelay=777\nData1Min=16\n")) << saved.toStdString();
}

// The window's lists are filled once, at start: a device unplugged since still
// shows there, while the platform's list has closed up behind it.
TEST_F(DeviceFaultTest, ChoosingADeviceThatHasLeftFailsInsteadOfOpeningTheOneInItsPlace) {
  Start({{"Keyboard", "Pads"}, {"Synth A", "Synth B"}});
  midi->RemoveAllDevices();
  midi->AddInputDevice("Pads");
  midi->AddOutputDevice("Synth B");

  window->cbMIDIOutChange(window->cbMIDIOut);
  EXPECT_EQ(window->cbMIDIOut->currentText(), "Synth A");
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  EXPECT_EQ(window->shMidiOut->BrushColor(), kRed);
  EXPECT_EQ(window->shMidiOut->Hint(), "Port MidiOut fermé");
  window->cbMIDIInChange(window->cbMIDIIn);
  EXPECT_EQ(window->cbMIDIIn->currentText(), "Keyboard");
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(window->shMidiIn->BrushColor(), kRed);

  // The devices still there open under their own names.
  window->cbMIDIOut->setCurrentIndex(window->cbMIDIOut->findText("Synth B"));
  window->cbMIDIIn->setCurrentIndex(window->cbMIDIIn->findText("Pads"));
  EXPECT_EQ(MidiOutPort->State(), mosOpen);
  EXPECT_EQ(MidiOutPort->ProductName(), "Synth B");
  EXPECT_EQ(MidiInPort->State(), misOpen);
  EXPECT_EQ(MidiInPort->ProductName(), "Pads");
}

// Everything is delivered before the window handles a single notice: the
// queue (1024 events) keeps the first messages, whole and in order, and the
// rest is gone without a trace but the error LED.
TEST_F(DeviceFaultTest, AFloodFarBeyondTheQueueKeepsExactlyWhatFitAndLightsTheErrorLed) {
  Start();
  window->seLogMaxEvents->setValue(10000);
  constexpr int kQueue = 1024;
  constexpr int kFlood = 5 * kQueue;

  auto sysex = [](uint8_t tag) { return std::vector<uint8_t>{0xF0, 0x7D, tag, 0x01, 0x02, 0x03, 0x04, 0xF7}; };
  auto sysexLine = [](uint8_t tag) {
    return QString::asprintf("[MIDI-In] - F0 7D %02X 01 02 03 04 F7  (Sysex - 8)", tag);
  };
  // Note On with channel, note and velocity telling each message apart.
  auto note = [](int i) {
    return static_cast<uint32_t>(0x90 | (i % 16)) + 256u * static_cast<uint32_t>((i / 16) % 128) +
           65536u * static_cast<uint32_t>((i / 2048) % 128);
  };
  auto noteLine = [&](int i) {
    const uint32_t m = note(i);
    return QString::asprintf("[MIDI-In] - %02X %02X %02X (Note On)", m & 0xFF, (m >> 8) & 0xFF, m >> 16);
  };

  QStringList expected;
  for (uint8_t tag = 0; tag < 3; ++tag) {
    ASSERT_TRUE(midi->DeliverSysex(sysex(tag)));
    expected << sysexLine(tag);
  }
  for (int i = 0; i < kFlood; ++i) {
    ASSERT_TRUE(midi->DeliverShort(note(i)));
    if (expected.size() < kQueue) expected << noteLine(i);
  }
  ASSERT_TRUE(midi->DeliverSysex(sysex(0x10)));  // lost as well
  EXPECT_FALSE(window->LedMidiErr->LedOn());

  Pump();
  EXPECT_TRUE(window->LedMidiErr->LedOn());
  EXPECT_EQ(MidiInCount, kQueue);
  EXPECT_EQ(window->cntMidiIn->Value(), kQueue);
  EXPECT_EQ(LogLines(), expected);

  // The drained port goes on receiving, system-exclusive messages included.
  window->btnLogClearClick(window->btnLogClear);
  ASSERT_TRUE(midi->DeliverSysex(sysex(0x20)));
  Receive({0x7F3C80});
  EXPECT_EQ(LogLines(), (QStringList{sysexLine(0x20), "[MIDI-In] - 80 3C 7F (Note Off)"}));
  EXPECT_EQ(MidiInCount, kQueue + 2);
}

}  // namespace
