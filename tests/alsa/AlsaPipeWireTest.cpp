// The ALSA sequencer and PipeWire together, as on a PipeWire desktop: the
// sequencer's devices are reached directly (ALSA) and through PipeWire's
// bridge (JACK, "Midi-Bridge:..."). Runs in the VM of scripts/with-alsa-vm.sh
// under scripts/with-pipewire.sh, the program on PipeWire's JACK library;
// skipped elsewhere.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "AlsaTestSupport.h"
#include "BackendTestSupport.h"
#include "JackServerProcess.h"
#include "JackTestClient.h"
#include "backends/SystemMidiServices.h"

namespace {

using namespace std::chrono_literals;

const std::string kBridgeThroughIn = "Midi-Bridge:Midi Through:(capture_0) Midi Through Port-0 (JACK)";
const std::string kBridgeThroughOut = "Midi-Bridge:Midi Through:(playback_0) Midi Through Port-0 (JACK)";

bool Listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += "\n  " + name;
  return text;
}

class AlsaPipeWire : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access("/dev/snd/seq", R_OK | W_OK) != 0 || SequencerClientNumber("Midi Through") < 0) {
      GTEST_SKIP() << "needs the ALSA sequencer of scripts/with-alsa-vm.sh";
    }
    if (!JackServerProcess::LibraryIsPipeWires()) {
      GTEST_SKIP() << "needs PipeWire's JACK library (scripts/with-pipewire.sh)";
    }
    midi = CreateSystemMidiServices();
    // PipeWire shows its bridge's ports a moment after it starts.
    ASSERT_TRUE(WaitUntil([&] { return Listed(InputNames(*midi), kBridgeThroughIn); }, 20s))
        << Joined(InputNames(*midi));
  }

  // Sends a Note On out of `output` until it comes back on `input`.
  void ExpectALoop(const std::string& output, const std::string& input) {
    NoticeRecorder received;
    NoticeRecorder sent;
    const HMIDI in = OpenInputNamed(*midi, input, received);
    const HMIDI out = OpenOutputNamed(*midi, output, sent);
    ASSERT_NE(in, 0u) << input;
    ASSERT_NE(out, 0u) << output;
    ASSERT_EQ(midi->midiInStart(in), MMSYSERR_NOERROR);
    bool back = false;
    for (int attempt = 0; attempt < 20 && !back; ++attempt) {
      ASSERT_EQ(midi->midiOutShortMsg(out, 0x403C90), MMSYSERR_NOERROR);
      back = WaitUntil([&] { return !received.Of(MIM_DATA).empty(); }, 500ms);
    }
    EXPECT_TRUE(back) << output << " -> " << input;
    if (back) {
      EXPECT_EQ(received.Of(MIM_DATA).front().param1, 0x403C90u);
    }
    EXPECT_EQ(midi->midiInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midi->midiOutClose(out), MMSYSERR_NOERROR);
  }

  std::unique_ptr<MidiServices> midi;
};

TEST_F(AlsaPipeWire, EachDeviceIsListedOnceByEachRouteAndNeverTheProgramsOwnPorts) {
  // The program's own ALSA ports exist while devices are open; PipeWire's
  // bridge shows them to JACK programs too.
  NoticeRecorder received;
  NoticeRecorder sent;
  const HMIDI in = OpenInputNamed(*midi, kMidiThrough, received);
  const HMIDI out = OpenOutputNamed(*midi, kMidiThrough, sent);
  ASSERT_NE(in, 0u);
  ASSERT_NE(out, 0u);
  // The bridge shows them to JACK programs a moment later.
  const auto probe = JackTestClient::Open("OrvalisBridgeProbe");
  ASSERT_TRUE(probe);
  EXPECT_TRUE(WaitUntil([&] {
    for (bool sources : {true, false}) {
      for (const std::string& port : probe->MidiPorts(sources)) {
        if (port.starts_with("Midi-Bridge:Orvalis:(")) return true;
      }
    }
    return false;
  })) << "the bridge does not show the program's ALSA ports: nothing to leave out";
  const std::vector<std::string> inputs = InputNames(*midi);
  const std::vector<std::string> outputs = OutputNames(*midi);
  for (const auto& names : {inputs, outputs}) {
    for (const std::string& name : names) {
      if (name == "Orvalis Loopback" || name.starts_with("OrvalisBridgeProbe:")) continue;
      EXPECT_EQ(name.find("Orvalis"), std::string::npos) << "one of the program's own ports: " << name;
      EXPECT_EQ(name.find("PipeWire-"), std::string::npos) << "one of PipeWire's own clients: " << name;
    }
    EXPECT_EQ(std::count(names.begin(), names.end(), kMidiThrough), 1) << Joined(names);
  }
  EXPECT_TRUE(Listed(inputs, kBridgeThroughIn)) << Joined(inputs);
  EXPECT_TRUE(Listed(outputs, kBridgeThroughOut)) << Joined(outputs);
  EXPECT_EQ(midi->midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(AlsaPipeWire, MidiThroughAnswersDirectlyAndThroughPipeWiresBridge) {
  ExpectALoop(kMidiThrough, kMidiThrough);
  ExpectALoop(kBridgeThroughOut, kBridgeThroughIn);
}

}  // namespace
