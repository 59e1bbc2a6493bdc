// JACK clients that come and go while the main window runs on the system's
// MIDI services, with the suite's JACK server: the lists follow without any
// action from the user, and the ports follow the devices they were opened on.
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>

#include <atomic>
#include <thread>

#include "JackDeviceFixture.h"
#include "backends/SystemMidiServices.h"
#include "uDeviceWatch.h"

namespace {

class JackDevicesComeAndGoTest : public JackDeviceFixture {
 protected:
  void ChooseDevice(const std::string& client) {
    ASSERT_TRUE(Choose(window->cbMIDIOut, OutputOf(client)));
    ASSERT_TRUE(Choose(window->cbMIDIIn, InputOf(client)));
    ExpectBothOpen();
  }

  static bool Waiting() {
    return !MidiPort_AwaitedDevice(mpkIn).isEmpty() && !MidiPort_AwaitedDevice(mpkOut).isEmpty();
  }
  static bool NotWaiting() {
    return MidiPort_AwaitedDevice(mpkIn).isEmpty() && MidiPort_AwaitedDevice(mpkOut).isEmpty();
  }

  // Destroyed after the fixture's TearDown. The flapping case hands it to a
  // thread of its own meanwhile.
  std::unique_ptr<JackTestClient> device;
};

TEST_F(JackDevicesComeAndGoTest, AClientStartedWhileTheProgramRunsIsListedWithoutAnyAction) {
  if (!JackTestClient::ServerRunning()) GTEST_SKIP() << JackTestClient::kNoServer;
  Boot(CreateSystemMidiServices());
  ASSERT_TRUE(Choose(window->cbMIDIOut, "Orvalis Loopback"));
  ASSERT_TRUE(Choose(window->cbMIDIIn, "Orvalis Loopback"));
  const HMIDI inHandle = MidiInPort->MIDIHandle();
  const HMIDI outHandle = MidiOutPort->MIDIHandle();

  device = JackTestClient::Open("OrvalisNewcomer");
  ASSERT_TRUE(device);
  const std::string client = device->ClientName();
  QElapsedTimer watch;
  watch.start();
  ASSERT_TRUE(PumpUntil([&] {
    return window->cbMIDIIn->findText(InputOf(client)) >= 0 && window->cbMIDIOut->findText(OutputOf(client)) >= 0;
  }));
  // JACK tells at once; the bound is generous for loaded machines.
  EXPECT_LT(watch.elapsed(), 5000);
  EXPECT_GE(bulk->cbMIDIOut->findText(OutputOf(client)), 0);
  for (QComboBox* list : {window->cbMIDIIn, window->cbMIDIOut, bulk->cbMIDIOut}) {
    EXPECT_EQ(list->itemText(list->count() - 1), "Orvalis Loopback");
  }
  EXPECT_EQ(window->cbMIDIIn->currentText(), "Orvalis Loopback");
  EXPECT_EQ(window->cbMIDIOut->currentText(), "Orvalis Loopback");
  EXPECT_EQ(bulk->cbMIDIOut->currentText(), "Orvalis Loopback");
  EXPECT_EQ(MidiInPort->MIDIHandle(), inHandle) << "the ports stay as they are";
  EXPECT_EQ(MidiOutPort->MIDIHandle(), outHandle);

  device.reset();
  ASSERT_TRUE(PumpUntil([&] {
    return window->cbMIDIIn->findText(InputOf(client)) < 0 && window->cbMIDIOut->findText(OutputOf(client)) < 0;
  }));
  EXPECT_LT(bulk->cbMIDIOut->findText(OutputOf(client)), 0);
  ExpectBothOpen();
}

TEST_F(JackDevicesComeAndGoTest, AnOpenDeviceThatGoesIsAwaitedAndOpenedAgainWhenBack) {
  device = JackTestClient::Open("OrvalisUnplugged");
  if (!device) GTEST_SKIP() << JackTestClient::kNoServer;
  const std::string client = device->ClientName();
  Boot(CreateSystemMidiServices());
  ChooseDevice(client);
  ExpectTrafficBothWays(*device);
  window->btnLogClearClick(window->btnLogClear);

  device.reset();
  ASSERT_TRUE(PumpUntil(Waiting));
  ExpectBothAwaited();
  EXPECT_EQ(window->cbMIDIIn->currentText(), InputOf(client));
  EXPECT_EQ(window->cbMIDIOut->currentText(), OutputOf(client));
  EXPECT_EQ(LogLines(), (QStringList{"Périphérique MIDI In déconnecté : " + InputOf(client),
                                     "Périphérique MIDI Out déconnecté : " + OutputOf(client)}));
  const int32_t sent = MidiOutCount;
  EXPECT_THROW(window->btnSendData1Click(window->btnSendData1), EMidiOutputError);
  EXPECT_EQ(MidiOutCount, sent);

  window->btnLogClearClick(window->btnLogClear);
  device = JackTestClient::Open(client);
  ASSERT_TRUE(device);
  ASSERT_EQ(device->ClientName(), client);
  ASSERT_TRUE(PumpUntil(NotWaiting)) << LogLines().join('\n').toStdString();
  ExpectBothOpen();
  EXPECT_EQ(LogLines(), (QStringList{"Périphérique MIDI In de retour, port rouvert : " + InputOf(client),
                                     "Périphérique MIDI Out de retour, port rouvert : " + OutputOf(client)}));
  ExpectTrafficBothWays(*device);
}

TEST_F(JackDevicesComeAndGoTest, ADeviceFlapping50TimesIn10SecondsEndsOpenAndWorking) {
  device = JackTestClient::Open("OrvalisFlapping");
  if (!device) GTEST_SKIP() << JackTestClient::kNoServer;
  const std::string client = device->ClientName();
  Boot(CreateSystemMidiServices());
  ChooseDevice(client);
  window->btnLogClearClick(window->btnLogClear);

  // The device goes and comes back every 200 ms, whatever the window is
  // doing meanwhile; it is there at the end.
  std::atomic<bool> flapping{true};
  bool reopened = true;
  std::thread flapper([&] {
    for (int i = 0; i < 50 && reopened; ++i) {
      device.reset();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      // PipeWire may take a moment to let the name go.
      for (int attempt = 0; attempt < 20 && !device; ++attempt) {
        device = JackTestClient::Open(client);
        if (!device) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      reopened = device != nullptr && device->ClientName() == client;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    flapping = false;
  });
  PumpUntil([&] { return !flapping; }, 60000);
  flapper.join();
  ASSERT_TRUE(reopened);
  // The notices of the last going and coming are still on their way.
  PumpFor(1000);
  ASSERT_TRUE(PumpUntil([] { return NotWaiting() && MidiInPort->State() == misOpen && MidiOutPort->State() == mosOpen; }))
      << LogLines().join('\n').toStdString();
  ExpectBothOpen();
  EXPECT_EQ(window->cbMIDIIn->currentText(), InputOf(client));
  EXPECT_EQ(window->cbMIDIOut->currentText(), OutputOf(client));
  // Every going that was seen was followed by a coming back.
  const QStringList lines = LogLines();
  EXPECT_GT(lines.filter("In déconnecté").size(), 0);
  EXPECT_EQ(lines.filter("In déconnecté").size(), lines.filter("In de retour").size());
  EXPECT_EQ(lines.filter("Out déconnecté").size(), lines.filter("Out de retour").size());
  ExpectTrafficBothWays(*device);
}

}  // namespace
