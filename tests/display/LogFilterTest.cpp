// The log filter: which kind a status byte is, and what a filter hides.
#include <gtest/gtest.h>

#include "LogFilter.h"

namespace {

TEST(LogFilterTest, EveryStatusByteHasItsKind) {
  struct Case {
    uint8_t status;
    MessageKind kind;
  };
  const Case cases[] = {
      {0x80, MessageKind::Note},          {0x9F, MessageKind::Note},
      {0xA3, MessageKind::Aftertouch},    {0xD0, MessageKind::Aftertouch},
      {0xB5, MessageKind::ControlChange}, {0xC1, MessageKind::ProgramChange},
      {0xEF, MessageKind::PitchBend},     {0xF0, MessageKind::SysEx},
      {0xF7, MessageKind::SysEx},         {0xF1, MessageKind::TimeCode},
      {0xF2, MessageKind::SystemCommon},  {0xF3, MessageKind::SystemCommon},
      {0xF6, MessageKind::SystemCommon},  {0xF8, MessageKind::Clock},
      {0xFA, MessageKind::RealTime},      {0xFB, MessageKind::RealTime},
      {0xFC, MessageKind::RealTime},      {0xFF, MessageKind::RealTime},
      {0xFE, MessageKind::ActiveSensing}, {0x3C, MessageKind::SystemCommon},
  };
  for (const Case& c : cases) EXPECT_EQ(KindOf(c.status), c.kind) << std::hex << int(c.status);
}

TEST(LogFilterTest, NothingIsHiddenByDefault) {
  const LogFilter filter;
  EXPECT_FALSE(filter.Active());
  for (int status = 0; status < 256; ++status) {
    EXPECT_FALSE(filter.Hides(LogDirection::In, static_cast<uint8_t>(status)));
    EXPECT_FALSE(filter.Hides(LogDirection::Out, static_cast<uint8_t>(status)));
  }
}

TEST(LogFilterTest, AHiddenChannelHidesItsChannelMessagesOnlyInBothDirections) {
  LogFilter filter;
  filter.SetChannelHidden(10, true);
  EXPECT_TRUE(filter.Active());
  for (uint8_t status : {0x89, 0x99, 0xA9, 0xB9, 0xC9, 0xD9, 0xE9}) {
    EXPECT_TRUE(filter.Hides(LogDirection::In, status)) << std::hex << int(status);
    EXPECT_TRUE(filter.Hides(LogDirection::Out, status)) << std::hex << int(status);
  }
  for (uint8_t status : {0x98, 0x9A, 0xB0, 0xF8, 0xF9, 0xF0}) {
    EXPECT_FALSE(filter.Hides(LogDirection::In, status)) << "channel 10 is 9, not " << std::hex << int(status);
  }
  filter.SetChannelHidden(10, false);
  EXPECT_FALSE(filter.Active());
  filter.SetChannelHidden(0, true);  // out of 1..16: nothing
  filter.SetChannelHidden(17, true);
  EXPECT_FALSE(filter.Active());
}

TEST(LogFilterTest, KindsAndDirectionsHideWhatTheySay) {
  LogFilter filter;
  filter.SetKindHidden(MessageKind::Clock, true);
  filter.SetKindHidden(MessageKind::ControlChange, true);
  EXPECT_TRUE(filter.Hides(LogDirection::In, 0xF8));
  EXPECT_TRUE(filter.Hides(LogDirection::Out, 0xB3));
  EXPECT_FALSE(filter.Hides(LogDirection::In, 0xFA)) << "Start is other real-time, not clock";
  EXPECT_FALSE(filter.Hides(LogDirection::In, 0x90));

  LogFilter outOnly;
  outOnly.HideOut = true;
  EXPECT_TRUE(outOnly.Hides(LogDirection::Out, 0x90));
  EXPECT_FALSE(outOnly.Hides(LogDirection::In, 0x90));
}

}  // namespace
