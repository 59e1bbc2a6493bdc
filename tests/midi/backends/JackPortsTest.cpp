// End to end through the program's ports on a running JACK server, against a
// test client (skipped when no server runs). JACK drops whole periods when a
// client falls behind, so each step is repeated until its effect shows (see
// JackTestClient::Retry); what arrives is then checked byte for byte.

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "BackendPortsTestSupport.h"
#include "BackendTestSupport.h"
#include "JackTestClient.h"
#include "backends/SystemMidiServices.h"

namespace {

using namespace std::chrono_literals;
using Message = JackTestClient::Message;

class JackPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    jack = JackTestClient::Open("OrvalisPortsTest-" + std::to_string(getpid()));
    if (!jack) GTEST_SKIP() << JackTestClient::kNoServer;
    installed.emplace(CreateSystemMidiServices());
    ports.emplace(jack->OutputPort() + " (JACK)", jack->InputPort() + " (JACK)");
  }

  // Sends until the test client got something; returns the first message it got.
  Message SendOut(const std::function<void()>& send) {
    jack->ClearReceived();
    EXPECT_TRUE(JackTestClient::Retry(send, [&] { return !jack->Received().empty(); }))
        << jack->Graph();
    const auto got = jack->Received();
    return got.empty() ? Message{} : got.front();
  }

  // Has the test client send until the input port delivered an event; returns it.
  const TMyMidiEvent* ReceiveIn(const Message& message) {
    ports->events.clear();
    const bool arrived = JackTestClient::Retry([&] { jack->Send(message); }, [&] {
      QCoreApplication::processEvents();
      return !ports->events.empty();
    });
    EXPECT_TRUE(arrived);
    return arrived ? ports->events.front().get() : nullptr;
  }

  std::unique_ptr<JackTestClient> jack;
  std::optional<ScopedMidiServices> installed;
  std::optional<PortPair> ports;  // after the services, which it uses
};

TEST_F(JackPorts, ShortMessagesGoOutThroughTheOutputPort) {
  EXPECT_EQ(SendOut([&] { ports->out.NoteOn(1, 0x3C, 0x40); }), (Message{0x91, 0x3C, 0x40}));
  EXPECT_EQ(SendOut([&] { ports->out.ProgramChange(15, 0x7F); }), (Message{0xCF, 0x7F}));
  EXPECT_EQ(SendOut([&] { ports->out.PutShort(0xFA, 0, 0); }), (Message{0xFA}));
}

TEST_F(JackPorts, ShortMessagesComeInThroughTheInputPortWithRisingTimeStamps) {
  struct Case {
    Message bytes;
    uint8_t status, data1, data2;
  };
  const Case cases[] = {{{0x90, 0x3C, 0x40}, 0x90, 0x3C, 0x40},
                        {{0xB1, 0x07, 0x64}, 0xB1, 0x07, 0x64},
                        {{0xC2, 0x05}, 0xC2, 0x05, 0},
                        {{0xFA}, 0xFA, 0, 0}};
  std::vector<uint32_t> times;
  for (const Case& c : cases) {
    const TMyMidiEvent* event = ReceiveIn(c.bytes);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->MidiMessage, c.status);
    EXPECT_EQ(event->Data1, c.data1);
    EXPECT_EQ(event->Data2, c.data2);
    times.push_back(event->Time);
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  EXPECT_GE(times.back() - times.front(), 60u);
}

TEST_F(JackPorts, A200ByteSysexGoesOutWholeAndTheOutputHearsItWasSent) {
  const Message message = Sysex(200);
  int attempts = 0;
  EXPECT_EQ(SendOut([&] {
              ++attempts;
              ports->out.PutLong(message.data(), static_cast<uint16_t>(message.size()));
            }),
            message);
  EXPECT_TRUE(PortPair::PumpUntil([&] { return ports->outputsDone == attempts; }));
  EXPECT_EQ(ports->out.PendingLongMessages(), 0u);
}

TEST_F(JackPorts, A200ByteSysexComesInWhole) {
  const Message message = Sysex(200);
  const TMyMidiEvent* event = ReceiveIn(message);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->MidiMessage, 0xF0);
  EXPECT_EQ(SysexOf(*event), message);
}

TEST_F(JackPorts, ALoopThroughAnEchoingClientBringsBackTheTransformedMessage) {
  jack->Echo([](const Message& m) {  // note off becomes note on with velocity 0
    if (m.size() == 3 && (m[0] & 0xF0) == 0x80) {
      return Message{static_cast<uint8_t>(0x90 | (m[0] & 0x0F)), m[1], 0};
    }
    return m;
  });
  ASSERT_TRUE(JackTestClient::Retry([&] { ports->out.NoteOff(0, 0x3C, 0x40); }, [&] {
    QCoreApplication::processEvents();
    return !ports->events.empty();
  }));
  const TMyMidiEvent& event = *ports->events.front();
  EXPECT_EQ(event.MidiMessage, 0x90);
  EXPECT_EQ(event.Data1, 0x3C);
  EXPECT_EQ(event.Data2, 0x00);
}

}  // namespace
