// The JACK server dies while the system's services have an input and an
// output open on it: sends are refused, listing the devices and closing the
// ports neither crashes nor hangs, and a server of the same name started again
// is used as before. Each case runs a JACK server of its own (never the
// suite's shared one) and kills it by its PID.

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "BackendTestSupport.h"
#include "JackServerProcess.h"
#include "JackTestClient.h"
#include "backends/SystemMidiServices.h"
#include "backends/loopback/LoopbackSource.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kDevice = "OrvalisDeathDevice";
const std::string kDeviceIn = std::string(kDevice) + ":in (JACK)";    // our output's device
const std::string kDeviceOut = std::string(kDevice) + ":out (JACK)";  // our input's device

struct KillCase {
  const char* name;
  int signal;
};

void PrintTo(const KillCase& c, std::ostream* os) { *os << c.name; }

class JackServerDeath : public ::testing::TestWithParam<KillCase> {
 protected:
  void SetUp() override {
    jackd = JackServerProcess::Start(JackServerProcess::UniqueName());
    if (!jackd) GTEST_SKIP() << "no private jackd here (none installed, or PipeWire's JACK library)";
    useServer = std::make_unique<ScopedEnvironment>("JACK_DEFAULT_SERVER", jackd->Name());
    device = JackTestClient::Open(kDevice);
    ASSERT_TRUE(device);
    midi = CreateSystemMidiServices();
  }

  void TearDown() override {
    if (in != 0) midi->midiInClose(in);
    if (out != 0) midi->midiOutClose(out);
    midi.reset();
    device.reset();
  }

  HMIDI OpenOut() { return OpenOutputNamed(*midi, kDeviceIn, sent); }

  HMIDI OpenIn() { return OpenInputNamed(*midi, kDeviceOut, received); }

  void ExpectTrafficBothWays() {
    device->ClearReceived();
    EXPECT_TRUE(JackTestClient::Retry([&] { midi->midiOutShortMsg(out, 0x403C90); },
                                      [&] { return !device->Received().empty(); }))
        << device->Graph();
    received.Clear();
    EXPECT_TRUE(JackTestClient::Retry([&] { device->Send({0x91, 0x3C, 0x40}); },
                                      [&] { return received.Count() > 0; }))
        << device->Graph();
  }

  // The server's end reaches the services through libjack's own thread.
  bool WaitUntilSendsAreRefused() {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
      if (midi->midiOutShortMsg(out, 0xF8) != MMSYSERR_NOERROR) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

  // Declared in the order of their creation; destroyed in reverse.
  std::unique_ptr<JackServerProcess> jackd;
  std::unique_ptr<ScopedEnvironment> useServer;
  std::unique_ptr<JackTestClient> device;
  std::unique_ptr<MidiServices> midi;
  NoticeRecorder sent;
  NoticeRecorder received;
  HMIDI in = 0;
  HMIDI out = 0;
};

TEST_P(JackServerDeath, PortsOfTheDeadServerCloseAndTheServerIsUsedAgainOnceBack) {
  out = OpenOut();
  in = OpenIn();
  ASSERT_FALSE(HasFailure());
  ExpectTrafficBothWays();

  ASSERT_TRUE(jackd->Stop(GetParam().signal));
  device.reset();  // libjack would free it at this process's next client open
  ASSERT_TRUE(WaitUntilSendsAreRefused());
  EXPECT_EQ(midi->midiOutShortMsg(out, 0x403C90), static_cast<MMRESULT>(MIDIERR_NODEVICE));

  // Listing the devices while the input of the dead server is still open, then
  // closing everything: the dead server's devices are gone, the loopback stays.
  EXPECT_EQ(midi->midiOutClose(out), MMSYSERR_NOERROR);
  out = 0;
  EXPECT_EQ(OutputNames(*midi), std::vector<std::string>{LoopbackSource::kName});
  EXPECT_EQ(midi->midiInStop(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->midiInClose(in), MMSYSERR_NOERROR);
  in = 0;
  EXPECT_EQ(InputNames(*midi), std::vector<std::string>{LoopbackSource::kName});

  ASSERT_TRUE(jackd->Restart());
  device = JackTestClient::Open(kDevice);
  ASSERT_TRUE(device);
  out = OpenOut();
  in = OpenIn();
  ASSERT_FALSE(HasFailure());
  ExpectTrafficBothWays();
}

INSTANTIATE_TEST_SUITE_P(Signals, JackServerDeath,
                         ::testing::Values(KillCase{"Killed", SIGKILL}, KillCase{"Terminated", SIGTERM}),
                         [](const ::testing::TestParamInfo<KillCase>& info) { return info.param.name; });

}  // namespace
