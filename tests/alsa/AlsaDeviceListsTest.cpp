// The device lists of the machine's MIDI services on a real ALSA sequencer.

#include <gtest/gtest.h>

#include "AlsaTestSupport.h"
#include "BackendPortsTestSupport.h"
#include "BackendTestSupport.h"
#include "backends/SystemMidiServices.h"

namespace {

using AlsaDeviceLists = AlsaTest;

TEST_F(AlsaDeviceLists, ShowTheSequencersPortsByNameThenTheLoopback) {
  // No JACK server runs beside this sequencer.
  const std::vector<std::string> expected = {kMidiThrough,     kVirtualRawMidi0, kVirtualRawMidi1,
                                             kVirtualRawMidi2, kVirtualRawMidi3, "Orvalis Loopback"};
  EXPECT_EQ(InputNames(CurrentMidiServices()), expected);
  EXPECT_EQ(OutputNames(CurrentMidiServices()), expected);
}

TEST_F(AlsaDeviceLists, LeaveOutTheProgramsOwnPortsAndStayTheSameForTheNextServices) {
  const std::vector<std::string> inputs = InputNames(CurrentMidiServices());
  const std::vector<std::string> outputs = OutputNames(CurrentMidiServices());

  PortPair ports(kMidiThrough, kMidiThrough);
  int ownPorts = 0;
  for (const SequencerClient& client : SequencerClients()) {
    if (client.name == "Orvalis") ownPorts += client.ports;
  }
  EXPECT_GE(ownPorts, 2) << "the open input and output have ports on the sequencer";

  const std::unique_ptr<MidiServices> next = CreateSystemMidiServices();
  EXPECT_EQ(InputNames(*next), inputs);
  EXPECT_EQ(OutputNames(*next), outputs);
}

}  // namespace
