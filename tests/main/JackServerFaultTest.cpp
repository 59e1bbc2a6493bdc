// The JACK server dies under the main window while both its ports are open on
// JACK devices: the program goes on, closes both ports and waits for their
// devices, sends fail as on a closed port, and once a server of the same name
// is back with the same device both ports open again by themselves.
//
// Each case runs a JACK server of its own (never the suite's shared one) and
// kills it by its PID.
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>

#include <csignal>

#include "CounterDisplay.h"
#include "JackServerProcess.h"
#include "JackDeviceFixture.h"
#include "StatusBar.h"
#include "backends/SystemMidiServices.h"
#include "uDeviceWatch.h"

namespace {

struct KillCase {
  const char* name;
  int signal;
};

void PrintTo(const KillCase& c, std::ostream* os) { *os << c.name; }

class JackServerFaultTest : public JackDeviceFixture, public ::testing::WithParamInterface<KillCase> {
 protected:
  // Starts the private server and its device client, then the program on the
  // system's MIDI services with both ports on that client.
  void StartOnPrivateServer() {
    jackd = JackServerProcess::Start(JackServerProcess::UniqueName());
    if (!jackd) GTEST_SKIP() << "no private jackd here (none installed, or PipeWire's JACK library)";
    useServer = std::make_unique<ScopedEnvironment>("JACK_DEFAULT_SERVER", jackd->Name());
    OpenDevice();
    ASSERT_TRUE(device);
    Boot(CreateSystemMidiServices());
    ASSERT_TRUE(Choose(window->cbMIDIOut, OutputName()));
    ASSERT_TRUE(Choose(window->cbMIDIIn, InputName()));
    ExpectBothOpen();
  }

  void OpenDevice() { device = JackTestClient::Open(kDeviceClient); }
  static QString OutputName() { return OutputOf(kDeviceClient); }
  static QString InputName() { return InputOf(kDeviceClient); }

  // The device client goes with its server. It lives in this process, and
  // libjack frees every client of a process whose server went away at the
  // next client open: it must be closed before the program lists devices again.
  void KillServer() {
    ASSERT_TRUE(jackd->Stop(GetParam().signal));
    device.reset();
  }

  // The server's end reaches the program through libjack's own thread: wait
  // until the output refuses a message, as it must from then on.
  bool WaitUntilTheOutputRefuses() {
    QElapsedTimer watch;
    watch.start();
    while (watch.elapsed() < 10000) {
      try {
        MidiOutPort->PutShort(0xF8, 0, 0);
      } catch (const EMidiOutputError&) {
        return true;
      }
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return false;
  }


  static constexpr const char* kDeviceClient = "OrvalisFaultDevice";

  // Destroyed after the fixture's TearDown (ports and services first), in
  // reverse order: the device client, then the environment, then the server.
  std::unique_ptr<JackServerProcess> jackd;
  std::unique_ptr<ScopedEnvironment> useServer;
  std::unique_ptr<JackTestClient> device;
};

TEST_P(JackServerFaultTest, PortsCloseWhenTheServerEndsAndOpenAgainOnceItAndTheDeviceAreBack) {
  StartOnPrivateServer();
  if (IsSkipped() || HasFatalFailure()) return;
  ExpectTrafficBothWays(*device);
  window->btnLogClearClick(window->btnLogClear);

  KillServer();
  ASSERT_TRUE(PumpUntil([] {
    return !MidiPort_AwaitedDevice(mpkIn).isEmpty() && !MidiPort_AwaitedDevice(mpkOut).isEmpty();
  }));
  ExpectBothAwaited();
  const QStringList lines = LogLines();
  EXPECT_TRUE(lines.contains("Périphérique MIDI In déconnecté : " + InputName())) << lines.join('\n').toStdString();
  EXPECT_TRUE(lines.contains("Périphérique MIDI Out déconnecté : " + OutputName())) << lines.join('\n').toStdString();
  // The lists keep the awaited devices, chosen; the server's other ports are gone.
  EXPECT_EQ(window->cbMIDIOut->currentText(), OutputName());
  EXPECT_EQ(window->cbMIDIIn->currentText(), InputName());
  EXPECT_EQ(window->cbMIDIOut->findText("system:playback_1 (JACK)"), -1);

  // A send fails as on a closed port: the log says why, nothing is counted.
  window->btnLogClearClick(window->btnLogClear);
  const int32_t sentBefore = MidiOutCount;
  EXPECT_THROW(window->btnSendData1Click(window->btnSendData1), EMidiOutputError);
  EXPECT_EQ(LogLines(), QStringList{"[Midi-Out] - 90 3C 40 (Non envoyé : MIDI Output device not open)"});
  EXPECT_EQ(MidiOutCount, sentBefore);
  EXPECT_EQ(window->cntMidiOut->Value(), sentBefore);
  // So does the re-send of that line.
  window->MemoLog->SetCurrentLine(0);
  window->MemoLogDblClick(window->MemoLog);
  EXPECT_EQ(window->sbMain->PanelText(0), "Err-Tx!");
  EXPECT_EQ(MidiOutCount, sentBefore);

  // A server of the same name with the same device: both ports open again by
  // themselves, and messages pass both ways.
  window->btnLogClearClick(window->btnLogClear);
  ASSERT_TRUE(jackd->Restart());
  OpenDevice();
  ASSERT_TRUE(device);
  ASSERT_TRUE(PumpUntil([] { return MidiPort_AwaitedDevice(mpkIn).isEmpty() && MidiPort_AwaitedDevice(mpkOut).isEmpty(); }))
      << LogLines().join('\n').toStdString();
  ExpectBothOpen();
  const QStringList back = LogLines();
  EXPECT_TRUE(back.contains("Périphérique MIDI In de retour, port rouvert : " + InputName())) << back.join('\n').toStdString();
  EXPECT_TRUE(back.contains("Périphérique MIDI Out de retour, port rouvert : " + OutputName())) << back.join('\n').toStdString();
  ExpectTrafficBothWays(*device);
}

TEST_P(JackServerFaultTest, ClosingThePortsOfADeadServerShowsThemClosed) {
  StartOnPrivateServer();
  if (IsSkipped() || HasFatalFailure()) return;

  KillServer();
  ASSERT_TRUE(WaitUntilTheOutputRefuses());

  MidiOut_Close();
  MidiIn_Close();
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  EXPECT_EQ(window->shMidiOut->BrushColor(), kRed);
  EXPECT_EQ(window->shMidiOut->Hint(), "Port MidiOut fermé");
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(window->shMidiIn->BrushColor(), kRed);
  EXPECT_EQ(window->shMidiIn->Hint(), "Port MidiIn fermé");

  // Another device still works.
  ASSERT_TRUE(Choose(window->cbMIDIOut, "Orvalis Loopback"));
  ASSERT_TRUE(Choose(window->cbMIDIIn, "Orvalis Loopback"));
  ExpectBothOpen();
  window->btnLogClearClick(window->btnLogClear);
  window->btnSendData1Click(window->btnSendData1);
  ASSERT_TRUE(WaitForLogLines(2));
  EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - 90 3C 40", "[MIDI-In] - 90 3C 40 (Note On)"}));
}

TEST_P(JackServerFaultTest, TheProgramEndsWithItsPortsOnADeadServer) {
  StartOnPrivateServer();
  if (IsSkipped() || HasFatalFailure()) return;

  KillServer();
  ASSERT_TRUE(WaitUntilTheOutputRefuses());
  window->close();  // the close sequence closes both ports
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  MidiPorts_End();
  EXPECT_FALSE(MidiInPort);
  EXPECT_FALSE(MidiOutPort);
}

INSTANTIATE_TEST_SUITE_P(Signals, JackServerFaultTest,
                         ::testing::Values(KillCase{"Killed", SIGKILL}, KillCase{"Terminated", SIGTERM}),
                         [](const ::testing::TestParamInfo<KillCase>& info) { return info.param.name; });

}  // namespace
