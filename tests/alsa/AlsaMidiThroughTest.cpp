// Out through the program's output port to "Midi Through", which sends
// everything back, and in again through its input port.

#include <gtest/gtest.h>

#include "AlsaTestSupport.h"
#include "BackendPortsTestSupport.h"
#include "BackendTestSupport.h"

namespace {

using namespace std::chrono_literals;

class AlsaMidiThrough : public AlsaTest {
 protected:
  void SetUp() override {
    AlsaTest::SetUp();
    if (IsSkipped()) return;
    ports.emplace(kMidiThrough, kMidiThrough);
  }

  std::optional<PortPair> ports;  // after the services, which it uses
};

TEST_F(AlsaMidiThrough, ShortMessagesComeBackInTheirOrder) {
  ports->out.NoteOn(2, 0x3C, 0x40);
  ports->out.ProgramChange(15, 0x7F);
  ports->out.PutShort(0xF2, 0x01, 0x02);
  ports->out.PutShort(0xFA, 0, 0);
  ports->out.NoteOff(2, 0x3C, 0x00);
  ASSERT_TRUE(ports->PumpUntilEvents(5));
  PortPair::PumpUntil([] { return false; }, 200ms);  // nothing more may come

  struct Expected {
    uint8_t status, data1, data2;
  };
  const Expected expected[] = {
      {0x92, 0x3C, 0x40}, {0xCF, 0x7F, 0x00}, {0xF2, 0x01, 0x02}, {0xFA, 0x00, 0x00}, {0x82, 0x3C, 0x00}};
  ASSERT_EQ(ports->events.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ports->events[i]->MidiMessage, expected[i].status);
    EXPECT_EQ(ports->events[i]->Data1, expected[i].data1);
    EXPECT_EQ(ports->events[i]->Data2, expected[i].data2);
    EXPECT_EQ(ports->events[i]->Sysex, nullptr);
  }
}

TEST_F(AlsaMidiThrough, A1000ByteSysexComesBackWholeAndTheOutputHearsItWasSent) {
  const std::vector<uint8_t> message = Sysex(1000);
  ports->out.PutLong(message.data(), static_cast<uint16_t>(message.size()));
  ASSERT_TRUE(ports->PumpUntil([&] { return !ports->events.empty() && ports->outputsDone == 1; }));
  PortPair::PumpUntil([] { return false; }, 200ms);

  ASSERT_EQ(ports->events.size(), 1u);
  EXPECT_EQ(ports->events[0]->MidiMessage, 0xF0);
  EXPECT_EQ(SysexOf(*ports->events[0]), message);
  EXPECT_EQ(ports->outputsDone, 1);
  EXPECT_EQ(ports->out.PendingLongMessages(), 0u);
}

}  // namespace
