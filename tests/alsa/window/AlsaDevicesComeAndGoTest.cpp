// ALSA devices that come and go under the main window: the "Virtual Raw MIDI"
// devices unplugged and plugged back (their kernel module removed and loaded
// again), and devices of the test's own (sequencer clients) that appear, go,
// flap, come in identical pairs or come back under another client number.
#include <fcntl.h>

#include <atomic>
#include <thread>

#include "AlsaWindowFixture.h"
#include "uDeviceWatch.h"

namespace {

using namespace std::chrono_literals;

const QColor kLime(0x00, 0xFF, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);

QString DeviceOf(const std::string& client, const std::string& port = "port") {
  return QString::fromStdString(client + ":" + port + " (ALSA)");
}

class AlsaDevicesComeAndGo : public AlsaWindowFixture {
 protected:
  void TearDown() override {
    AlsaWindowFixture::TearDown();
    if (unplugged) {
      EXPECT_TRUE(PlugVirtualRawMidi()) << "the next tests need the devices";
    }
  }

  static bool Waiting() {
    return !MidiPort_AwaitedDevice(mpkIn).isEmpty() && !MidiPort_AwaitedDevice(mpkOut).isEmpty();
  }
  static bool OpenAgain() {
    return MidiPort_AwaitedDevice(mpkIn).isEmpty() && MidiPort_AwaitedDevice(mpkOut).isEmpty() &&
           MidiInPort->State() == misOpen && MidiOutPort->State() == mosOpen;
  }

  void ExpectBothOpenOn(const QString& name) {
    EXPECT_EQ(MidiInPort->State(), misOpen);
    EXPECT_EQ(MidiOutPort->State(), mosOpen);
    EXPECT_EQ(QString::fromStdString(MidiInPort->ProductName()), name);
    EXPECT_EQ(QString::fromStdString(MidiOutPort->ProductName()), name);
    EXPECT_EQ(window->cbMIDIIn->currentText(), name);
    EXPECT_EQ(window->cbMIDIOut->currentText(), name);
    EXPECT_EQ(window->shMidiIn->BrushColor(), kLime);
    EXPECT_EQ(window->shMidiOut->BrushColor(), kLime);
  }

  // A note from the device shows in the log, and one from the program reaches it.
  void ExpectTrafficWith(SequencerTestClient& device) {
    window->btnLogClearClick(window->btnLogClear);
    ASSERT_TRUE(device.Send({0x95, 0x21, 0x22}));
    EXPECT_TRUE(WaitForLogLines(1)) << Log();
    EXPECT_EQ(LogLines(), QStringList{"[MIDI-In] - 95 21 22 (Note On)"});
    MidiOut_SendBytes(std::vector<uint8_t>{0xB1, 0x07, 0x33}, 3, true);
    EXPECT_EQ(device.Read(3), (std::vector<uint8_t>{0xB1, 0x07, 0x33}));
  }

  // Whether the program's "MIDI In" is connected from the client's port 0
  // and its "MIDI Out" to it: the ports are on that very device.
  static bool ProgramConnectedTo(int client) {
    return ConnectedToOrvalis(client, true) && ConnectedToOrvalis(client, false);
  }

  bool unplugged = false;
};

TEST_F(AlsaDevicesComeAndGo, AnOpenDeviceUnpluggedIsAwaitedAndOpenedAgainWhenPluggedBack) {
  const QString device = QString::fromStdString(kVirtualRawMidi1);
  ChooseDevices(device, device);

  unplugged = UnplugVirtualRawMidi();
  ASSERT_TRUE(unplugged) << "rmmod snd-virmidi";
  ASSERT_TRUE(PumpUntil(Waiting)) << Log();
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  EXPECT_EQ(window->shMidiIn->BrushColor(), kRed);
  EXPECT_EQ(window->shMidiIn->Hint(), "Port MidiIn fermé : périphérique déconnecté, en attente de son retour");
  EXPECT_EQ(window->shMidiOut->BrushColor(), kRed);
  EXPECT_EQ(window->shMidiOut->Hint(), "Port MidiOut fermé : périphérique déconnecté, en attente de son retour");
  EXPECT_EQ(LogLines(), (QStringList{"Périphérique MIDI In déconnecté : " + device,
                                     "Périphérique MIDI Out déconnecté : " + device}));
  // The other unplugged devices leave the lists; the awaited one stays chosen.
  const QStringList left = {QString::fromStdString(kMidiThrough), device, "Orvalis Loopback"};
  QStringList inputs, outputs;
  for (int i = 0; i < window->cbMIDIIn->count(); ++i) inputs << window->cbMIDIIn->itemText(i);
  for (int i = 0; i < window->cbMIDIOut->count(); ++i) outputs << window->cbMIDIOut->itemText(i);
  EXPECT_EQ(inputs, left);
  EXPECT_EQ(outputs, left);
  EXPECT_EQ(window->cbMIDIIn->currentText(), device);
  EXPECT_EQ(bulk->cbMIDIOut->currentText(), device);
  const int32_t sent = MidiOutCount;
  EXPECT_THROW(window->btnSendData1Click(window->btnSendData1), EMidiOutputError);
  EXPECT_EQ(MidiOutCount, sent);

  window->btnLogClearClick(window->btnLogClear);
  ASSERT_TRUE(PlugVirtualRawMidi()) << "modprobe snd-virmidi";
  unplugged = false;
  ASSERT_TRUE(PumpUntil(OpenAgain)) << Log();
  ExpectBothOpenOn(device);
  EXPECT_EQ(window->shMidiIn->Hint(), "Port MidiIn ouvert");
  EXPECT_EQ(LogLines(), (QStringList{"Périphérique MIDI In de retour, port rouvert : " + device,
                                     "Périphérique MIDI Out de retour, port rouvert : " + device}));
  EXPECT_EQ(window->cbMIDIIn->count(), 6);

  // Both ways work again through the raw device behind it.
  window->btnLogClearClick(window->btnLogClear);
  RawMidiDevice in(kRawMidi1, O_WRONLY);
  ASSERT_TRUE(in.Write({0x90, 0x3C, 0x40}));
  ASSERT_TRUE(WaitForLogLines(1)) << Log();
  EXPECT_EQ(LogLines(), QStringList{"[MIDI-In] - 90 3C 40 (Note On)"});
  RawMidiDevice out(kRawMidi1, O_RDONLY);
  ASSERT_TRUE(out.IsOpen());
  MidiOut_SendBytes(std::vector<uint8_t>{0xC2, 0x11}, 2, true);
  EXPECT_EQ(out.Read(2), (std::vector<uint8_t>{0xC2, 0x11}));
}

TEST_F(AlsaDevicesComeAndGo, ADeviceThatAppearsIsListedWithoutAnyActionAndGoesAgain) {
  ChooseDevices(QString::fromStdString(kMidiThrough), QString::fromStdString(kMidiThrough));
  const HMIDI in = MidiInPort->MIDIHandle();
  auto keyboard = SequencerTestClient::Open("Test Keyboard");
  ASSERT_TRUE(keyboard);
  QElapsedTimer watch;
  watch.start();
  ASSERT_TRUE(PumpUntil([&] {
    return window->cbMIDIIn->findText(DeviceOf("Test Keyboard")) >= 0 &&
           window->cbMIDIOut->findText(DeviceOf("Test Keyboard")) >= 0;
  }));
  // The sequencer announces it at once; the bound is generous for an emulated machine.
  EXPECT_LT(watch.elapsed(), 5000);
  EXPECT_GE(bulk->cbMIDIOut->findText(DeviceOf("Test Keyboard")), 0);
  for (QComboBox* list : {window->cbMIDIIn, window->cbMIDIOut, bulk->cbMIDIOut}) {
    EXPECT_EQ(list->itemText(list->count() - 1), "Orvalis Loopback");
    EXPECT_EQ(list->currentText(), QString::fromStdString(kMidiThrough));
  }
  EXPECT_EQ(MidiInPort->MIDIHandle(), in) << "the open port stays as it is";
  EXPECT_EQ(LogLines(), QStringList{});

  keyboard.reset();
  ASSERT_TRUE(PumpUntil([&] { return window->cbMIDIIn->findText(DeviceOf("Test Keyboard")) < 0; }));
  EXPECT_LT(window->cbMIDIOut->findText(DeviceOf("Test Keyboard")), 0);
  EXPECT_EQ(MidiInPort->MIDIHandle(), in);
}

TEST_F(AlsaDevicesComeAndGo, ADeviceFlapping50TimesIn10SecondsEndsOpenAndWorking) {
  const QString device = QString::fromStdString(kVirtualRawMidi1);
  ChooseDevices(device, device);

  // Unplugged and plugged back every 200 ms, whatever the window is doing
  // meanwhile; plugged in at the end.
  std::atomic<bool> flapping{true};
  std::atomic<int> flaps{0};
  std::thread flapper([&] {
    for (int i = 0; i < 50; ++i) {
      if (!UnplugVirtualRawMidi()) break;
      std::this_thread::sleep_for(100ms);
      if (!PlugVirtualRawMidi()) break;
      ++flaps;
      std::this_thread::sleep_for(100ms);
    }
    flapping = false;
  });
  QElapsedTimer watch;
  watch.start();
  PumpUntil([&] { return !flapping; }, 120000);
  flapper.join();
  RecordProperty("flapping_ms", static_cast<int>(watch.elapsed()));
  ASSERT_EQ(flaps, 50);
  ASSERT_TRUE(PlugVirtualRawMidi());
  ASSERT_TRUE(PumpUntil([] { return OpenAgain() && ProgramConnectedTo(SequencerClientNumber("Virtual Raw MIDI 0-1")); })) << Log();
  ExpectBothOpenOn(device);
  const QStringList lines = LogLines();
  EXPECT_GT(lines.filter("In déconnecté").size(), 0);
  EXPECT_EQ(lines.filter("In déconnecté").size(), lines.filter("In de retour").size());
  EXPECT_EQ(lines.filter("Out déconnecté").size(), lines.filter("Out de retour").size());

  window->btnLogClearClick(window->btnLogClear);
  RawMidiDevice in(kRawMidi1, O_WRONLY);
  ASSERT_TRUE(in.Write({0x90, 0x3C, 0x40}));
  ASSERT_TRUE(WaitForLogLines(1)) << Log();
  EXPECT_EQ(LogLines(), QStringList{"[MIDI-In] - 90 3C 40 (Note On)"});
}

TEST_F(AlsaDevicesComeAndGo, TwoIdenticalDevicesKeepTheirNamesWhileTheOtherComesAndGoes) {
  auto first = SequencerTestClient::Open("Twin");
  ASSERT_TRUE(first);
  auto second = SequencerTestClient::Open("Twin");
  ASSERT_TRUE(second);
  const QString plain = DeviceOf("Twin");
  const QString numbered = QString::fromStdString("Twin:port #2 (ALSA)");
  ASSERT_TRUE(PumpUntil([&] { return window->cbMIDIIn->findText(numbered) >= 0; }));
  EXPECT_EQ(window->cbMIDIIn->findText(plain) + 1, window->cbMIDIIn->findText(numbered))
      << "numbered in the sequencer's order";
  ChooseDevices(numbered, numbered);
  ExpectTrafficWith(*second);

  // The first goes: the second keeps its name, and its ports stay open.
  window->btnLogClearClick(window->btnLogClear);
  const HMIDI in = MidiInPort->MIDIHandle();
  first.reset();
  ASSERT_TRUE(PumpUntil([&] { return window->cbMIDIIn->findText(plain) < 0; }));
  EXPECT_EQ(window->cbMIDIIn->currentText(), numbered);
  EXPECT_EQ(MidiInPort->MIDIHandle(), in);
  EXPECT_TRUE(MidiPort_AwaitedDevice(mpkIn).isEmpty());
  EXPECT_EQ(LogLines(), QStringList{});

  // One like it comes: it takes the free name.
  first = SequencerTestClient::Open("Twin");
  ASSERT_TRUE(first);
  ASSERT_TRUE(PumpUntil([&] { return window->cbMIDIIn->findText(plain) >= 0; }));
  EXPECT_GE(window->cbMIDIIn->findText(numbered), 0);
  EXPECT_EQ(window->cbMIDIIn->currentText(), numbered);
  EXPECT_EQ(MidiInPort->MIDIHandle(), in);
  ExpectTrafficWith(*second);
  EXPECT_EQ(first->Read(1, 200ms), std::vector<uint8_t>{}) << "the other one is not connected";
}

TEST_F(AlsaDevicesComeAndGo, ADeviceBackUnderAnotherSequencerNumberIsOpenedAgain) {
  auto device = SequencerTestClient::Open("Roaming Pads");
  ASSERT_TRUE(device);
  const int before = device->Client();
  ASSERT_TRUE(PumpUntil([&] { return window->cbMIDIIn->findText(DeviceOf("Roaming Pads")) >= 0; }));
  ChooseDevices(DeviceOf("Roaming Pads"), DeviceOf("Roaming Pads"));

  device.reset();
  ASSERT_TRUE(PumpUntil(Waiting)) << Log();
  auto other = SequencerTestClient::Open("Something Else");  // takes the number
  ASSERT_TRUE(other);
  window->btnLogClearClick(window->btnLogClear);
  device = SequencerTestClient::Open("Roaming Pads");
  ASSERT_TRUE(device);
  ASSERT_NE(device->Client(), before);
  ASSERT_TRUE(PumpUntil([&] { return OpenAgain() && ProgramConnectedTo(device->Client()); })) << Log();
  ExpectBothOpenOn(DeviceOf("Roaming Pads"));
  EXPECT_EQ(LogLines(), (QStringList{"Périphérique MIDI In de retour, port rouvert : " + DeviceOf("Roaming Pads"),
                                     "Périphérique MIDI Out de retour, port rouvert : " + DeviceOf("Roaming Pads")}));
  ExpectTrafficWith(*device);
}

}  // namespace
