// End to end through the program's ports on a running JACK server, against a
// test client (skipped when no server runs). JACK drops whole periods when a
// client falls behind, so each step is repeated until its effect shows (see
// JackTestClient::Retry). What every back end does through the ports is in
// MidiServicesContractPortsTest.cpp; here, a loop through a client that
// changes what it sends back.

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "BackendPortsTestSupport.h"
#include "BackendTestSupport.h"
#include "JackTestClient.h"
#include "backends/SystemMidiServices.h"

namespace {

using Message = JackTestClient::Message;

class JackPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    jack = JackTestClient::Open("OrvalisPortsTest-" + std::to_string(getpid()));
    if (!jack) GTEST_SKIP() << JackTestClient::kNoServer;
    installed.emplace(CreateSystemMidiServices());
    ports.emplace(jack->OutputPort() + " (JACK)", jack->InputPort() + " (JACK)");
  }

  std::unique_ptr<JackTestClient> jack;
  std::optional<ScopedMidiServices> installed;
  std::optional<PortPair> ports;  // after the services, which it uses
};

TEST_F(JackPorts, ALoopThroughAnEchoingClientBringsBackTheTransformedMessage) {
  // Note off becomes polyphonic aftertouch (not a note on with velocity 0,
  // which PipeWire hands on as a note off).
  jack->Echo([](const Message& m) {
    if (m.size() == 3 && (m[0] & 0xF0) == 0x80) {
      return Message{static_cast<uint8_t>(0xA0 | (m[0] & 0x0F)), m[1], 0x11};
    }
    return m;
  });
  ASSERT_TRUE(JackTestClient::Retry([&] { ports->out.NoteOff(0, 0x3C, 0x40); }, [&] {
    QCoreApplication::processEvents();
    return !ports->events.empty();
  }));
  const TMyMidiEvent& event = *ports->events.front();
  EXPECT_EQ(event.MidiMessage, 0xA0);
  EXPECT_EQ(event.Data1, 0x3C);
  EXPECT_EQ(event.Data2, 0x11);
}

}  // namespace
