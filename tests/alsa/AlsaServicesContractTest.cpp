// The contract of the services (MidiServicesContract.h) on the ALSA source,
// looped through "Midi Through", which sends back whatever it receives. Its
// messages are stamped by the kernel, not by a clock of the test's:
// AlsaDevicesTest.cpp checks those times.

#include <gtest/gtest.h>

#include <thread>

#include "AlsaTestSupport.h"
#include "MidiServicesContract.h"
#include "backends/alsa/AlsaSource.h"
#include "backends/common/BackendMidiServices.h"

namespace {

using namespace std::chrono_literals;

class AlsaLoop final : public ServicesUnderTest {
 public:
  static std::unique_ptr<ServicesUnderTest> Make(std::string* whyNot) {
    *whyNot = WhyNotTheVmSequencer();
    if (!whyNot->empty()) return nullptr;
    return std::make_unique<AlsaLoop>();
  }

  std::unique_ptr<MidiServices> TakeServices() override {
    std::vector<std::unique_ptr<DeviceSource>> sources;
    sources.push_back(std::make_unique<AlsaSource>());
    return std::make_unique<BackendMidiServices>(std::move(sources));
  }
  std::string LoopOutput() const override { return kMidiThrough; }
  std::string LoopInput() const override { return kMidiThrough; }
  // "Midi Through" sends back at once, in the kernel; the input's thread
  // reads it within a few milliseconds. This is many times that.
  void Settle(MidiServices&, HMIDI) override { std::this_thread::sleep_for(300ms); }
  // Short enough for the program's input queue on the sequencer, which
  // "Midi Through" fills as fast as the output sends.
  Split LargeSysex() const override { return {12000, 4096, 3, 12000 - 2 * 4096}; }
};

INSTANTIATE_TEST_SUITE_P(Alsa, MidiServicesContract,
                         ::testing::Values(BackEnd{"Alsa", &AlsaLoop::Make}));

}  // namespace
