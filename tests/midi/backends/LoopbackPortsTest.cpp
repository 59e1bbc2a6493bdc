// End to end through the program's ports on the built-in loopback device: the
// output port sends, the loopback's thread delivers, the input port's ring
// buffer and system-exclusive buffers carry the messages to this thread. What
// every back end does through the ports is in MidiServicesContractPortsTest.cpp;
// here, a message larger than the JACK server takes.

#include <gtest/gtest.h>

#include "BackendPortsTestSupport.h"
#include "BackendTestSupport.h"
#include "backends/common/BackendMidiServices.h"
#include "backends/loopback/LoopbackSource.h"

namespace {

// The loopback alone, so that JACK ports of other test programs do not move its id.
std::unique_ptr<MidiServices> LoopbackOnlyServices() {
  std::vector<std::unique_ptr<DeviceSource>> sources;
  sources.push_back(std::make_unique<LoopbackSource>());
  return std::make_unique<BackendMidiServices>(std::move(sources));
}

class LoopbackPorts : public ::testing::Test {
 protected:
  ScopedMidiServices installed{LoopbackOnlyServices()};
  PortPair ports{LoopbackSource::kName, LoopbackSource::kName};
};

TEST_F(LoopbackPorts, A60000ByteSysexArrivesSplitOverTheInputsBuffers) {
  ASSERT_EQ(ports.in.SysexBufferSize(), 4096);
  const std::vector<uint8_t> message = Sysex(60000);
  ports.out.PutLong(message.data(), static_cast<uint16_t>(message.size()));
  ASSERT_TRUE(ports.PumpUntil([&] { return ports.events.size() == 15 && ports.outputsDone == 1; }));

  std::vector<uint8_t> joined;
  for (size_t i = 0; i < ports.events.size(); ++i) {
    SCOPED_TRACE(i);
    const TMyMidiEvent& event = *ports.events[i];
    EXPECT_EQ(event.MidiMessage, 0xF0);
    EXPECT_EQ(event.SysexLength, i < 14 ? 4096 : 60000 - 14 * 4096);
    if (i > 0) {
      EXPECT_GE(event.Time, ports.events[i - 1]->Time);
    }
    const auto bytes = SysexOf(event);
    joined.insert(joined.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(joined, message);

  // The buffers went back to the driver: the next message arrives too.
  const std::vector<uint8_t> next = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
  ports.out.PutLong(next.data(), static_cast<uint16_t>(next.size()));
  ASSERT_TRUE(ports.PumpUntil([&] { return ports.events.size() == 16; }));
  EXPECT_EQ(SysexOf(*ports.events[15]), next);
}

}  // namespace
