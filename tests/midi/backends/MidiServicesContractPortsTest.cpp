// The contract of MidiServices through the program's ports, on every
// implementation (MidiServicesContract.h): the output port sends round the
// loop, and the input port's ring buffer and system-exclusive buffers carry
// what arrives to this thread.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "BackendPortsTestSupport.h"
#include "MidiServicesContract.h"

namespace {

using namespace std::chrono_literals;

// Sends until the input port delivered an event; returns the first.
const TMyMidiEvent* RoundTrip(ServicesUnderTest& rig, PortPair& ports,
                              const std::function<void()>& send) {
  ports.events.clear();
  const bool arrived = rig.Until(send, [&] {
    QCoreApplication::processEvents();
    return !ports.events.empty();
  });
  EXPECT_TRUE(arrived);
  return arrived ? ports.events.front().get() : nullptr;
}

TEST_P(MidiServicesContract, ShortMessagesGoRoundThePortsWithTheirBytesAndTimeStamps) {
  PortPair ports(rig->LoopInput(), rig->LoopOutput());
  ManualClock* clock = rig->Clock();
  struct Case {
    std::function<void(TMidiOutput&)> send;
    uint8_t status, data1, data2;
    uint32_t time;  // by the services' own clock, 25 ms later each
  };
  const Case cases[] = {
      {[](TMidiOutput& out) { out.NoteOn(3, 0x3C, 0x40); }, 0x93, 0x3C, 0x40, 25},
      {[](TMidiOutput& out) { out.ProgramChange(2, 5); }, 0xC2, 0x05, 0, 50},
      {[](TMidiOutput& out) { out.ProgramChange(15, 0x7F); }, 0xCF, 0x7F, 0, 75},
      {[](TMidiOutput& out) { out.PutShort(0xF2, 0x01, 0x02); }, 0xF2, 0x01, 0x02, 100},
      {[](TMidiOutput& out) { out.PutShort(0xFA, 0, 0); }, 0xFA, 0, 0, 125},
      {[](TMidiOutput& out) { out.NoteOff(3, 0x3C, 0); }, 0x83, 0x3C, 0, 150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{c.status});
    if (clock != nullptr) clock->Advance(25ms);
    const TMyMidiEvent* event = RoundTrip(*rig, ports, [&] { c.send(ports.out); });
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->MidiMessage, c.status);
    EXPECT_EQ(event->Data1, c.data1);
    EXPECT_EQ(event->Data2, c.data2);
    EXPECT_EQ(event->Sysex, nullptr);
    if (clock != nullptr) {
      EXPECT_EQ(event->Time, c.time);
    }
  }
}

TEST_P(MidiServicesContract, ASysexGoesRoundThePortsWholeAndTheOutputHearsItWasSent) {
  PortPair ports(rig->LoopInput(), rig->LoopOutput());
  const std::vector<uint8_t> messages[] = {{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, Sysex(200)};
  for (const auto& message : messages) {
    SCOPED_TRACE(message.size());
    int attempts = 0;
    ports.outputsDone = 0;
    const TMyMidiEvent* event = RoundTrip(*rig, ports, [&] {
      ++attempts;
      ports.out.PutLong(message.data(), static_cast<uint16_t>(message.size()));
    });
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->MidiMessage, 0xF0);
    EXPECT_EQ(SysexOf(*event), message);
    EXPECT_TRUE(PortPair::PumpUntil([&] { return ports.outputsDone == attempts; }));
    EXPECT_EQ(ports.out.PendingLongMessages(), 0u);
  }
}

// A flood of numbered messages (Control Changes carrying their number), sent
// as fast as the output takes them while this thread drains the input now and
// then: each arrives once and in order. What the input port loses itself (a
// full ring, the driver's own queue) is told by OnOverflow, so that what came
// and what was told lost add up to what was sent; only a route that drops
// messages on its way (a JACK server missing a period) may lose some unseen.
// Never is a message delivered twice or out of its place.
TEST_P(MidiServicesContract, ANumberedFloodArrivesOnceEachInOrderOrItsLossIsTold) {
  constexpr uint32_t kFlood = 4000;
  PortPair ports(rig->LoopInput(), rig->LoopOutput());
  uint32_t told = 0;
  ports.in.SetOnOverflow([&](QObject*) { ++told; });
  uint32_t sent = 0;
  for (uint32_t n = 0; n < kFlood; ++n) {
    // An output whose queue is full refuses until it has sent some.
    bool accepted = false;
    for (int attempt = 0; attempt < 2000 && !accepted; ++attempt) {
      try {
        ports.out.PutShort(0xB0, static_cast<uint8_t>(n % 128), static_cast<uint8_t>(n / 128));
        accepted = true;
      } catch (const std::exception&) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(1ms);
      }
    }
    ASSERT_TRUE(accepted) << "message " << n << " never taken";
    ++sent;
    if (n % 64 == 63) QCoreApplication::processEvents();
  }
  const auto numbers = [&] {
    std::vector<uint32_t> found;
    for (const auto& event : ports.events) {
      if (event->MidiMessage == 0xB0) found.push_back(event->Data1 + 128u * event->Data2);
    }
    return found;
  };
  const bool all = PortPair::PumpUntil([&] { return numbers().size() + told >= sent; },
                                       rig->Loses() ? 5s : 20s);
  const std::vector<uint32_t> got = numbers();
  for (size_t i = 1; i < got.size(); ++i) {
    ASSERT_LT(got[i - 1], got[i]) << "once each and in order, at " << i << " of " << got.size();
  }
  PortPair::PumpUntil([] { return false; }, 100ms);  // nothing more comes
  EXPECT_EQ(numbers().size(), got.size()) << "nothing arrives after the flood is over";
  if (rig->Loses()) {
    EXPECT_LE(got.size() + told, sent);
  } else {
    EXPECT_TRUE(all);
    EXPECT_EQ(got.size() + told, sent) << "every message arrived or was told lost";
  }
}

}  // namespace
