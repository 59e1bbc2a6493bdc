// The numbered messages of a connection test: their bytes, and which answers
// carry a number of the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LinkMessageCodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct EncodeCase {
  const char* name;
  LinkMessageKind kind;
  int sysexLength;
  uint64_t index;
  Bytes bytes;
};

class LinkMessageEncoding : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(LinkMessageEncoding, GivesTheBytesOfTheMessageAndReadsItsNumberBack) {
  const EncodeCase& c = GetParam();
  const LinkMessageCodec codec(c.kind, c.sysexLength);
  EXPECT_EQ(codec.Encode(c.index), c.bytes);
  const auto residue = codec.Residue(c.bytes);
  ASSERT_TRUE(residue.has_value());
  EXPECT_EQ(*residue, c.index % codec.Window());
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LinkMessageEncoding,
    ::testing::Values(
        EncodeCase{"FirstNoteOn", LinkMessageKind::NoteOnOff, 0, 0, {0x90, 0x00, 0x0C}},
        EncodeCase{"ItsNoteOffWithTheSameNoteAndVelocity", LinkMessageKind::NoteOnOff, 0, 1, {0x80, 0x00, 0x0C}},
        EncodeCase{"SecondPairOnTheNextChannel", LinkMessageKind::NoteOnOff, 0, 2, {0x91, 0x00, 0x31}},
        EncodeCase{"SeventeenthPairOnTheNextNote", LinkMessageKind::NoteOnOff, 0, 33, {0x80, 0x01, 0x60}},
        EncodeCase{"NotesComeRoundAfterTheirWindow", LinkMessageKind::NoteOnOff, 0, 4096, {0x90, 0x00, 0x0C}},
        EncodeCase{"FirstControlChange", LinkMessageKind::ControlChange, 0, 0, {0xB0, 0x14, 0x00}},
        EncodeCase{"ControlChangeOnAnUndefinedController", LinkMessageKind::ControlChange, 0, 17, {0xB1, 0x16, 0x01}},
        EncodeCase{"ShortestSysex", LinkMessageKind::Sysex, 6, 0, {0xF0, 0x7D, 0x00, 0x00, 0x00, 0xF7}},
        EncodeCase{"SysexOfTheMillionthMessage", LinkMessageKind::Sysex, 8, 1000000,
                   {0xF0, 0x7D, 0x40, 0x04, 0x3D, 0x05, 0x12, 0xF7}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LinkMessageCodec, EveryMessageOfAWindowCarriesItsOwnNumber) {
  for (LinkMessageKind kind : {LinkMessageKind::NoteOnOff, LinkMessageKind::ControlChange}) {
    const LinkMessageCodec codec(kind, 0);
    std::vector<bool> seen(codec.Window(), false);
    for (uint32_t i = 0; i < codec.Window(); ++i) {
      const Bytes bytes = codec.Encode(i);
      for (size_t b = 1; b < bytes.size(); ++b) ASSERT_LT(bytes[b], 0x80) << i;
      const auto residue = codec.Residue(bytes);
      ASSERT_TRUE(residue.has_value()) << i;
      ASSERT_EQ(*residue, i);
      ASSERT_FALSE(seen[*residue]);
      seen[*residue] = true;
    }
  }
}

TEST(LinkMessageCodec, TheLongestSysexIsWholeAndItsPatternHoldsOnlyDataBytes) {
  const LinkMessageCodec codec(LinkMessageKind::Sysex, 65000);
  const Bytes bytes = codec.Encode(999999);
  ASSERT_EQ(bytes.size(), 65000u);
  EXPECT_EQ(bytes.front(), 0xF0);
  EXPECT_EQ(bytes.back(), 0xF7);
  for (size_t i = 1; i + 1 < bytes.size(); ++i) ASSERT_LT(bytes[i], 0x80) << i;
  EXPECT_EQ(codec.Residue(bytes), 999999u);
  EXPECT_NE(codec.Encode(999998), bytes);
}

struct RefusedCase {
  const char* name;
  LinkMessageKind kind;
  Bytes bytes;
};

class LinkMessageRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(LinkMessageRefused, CarriesNoNumberOfTheRun) {
  const LinkMessageCodec codec(GetParam().kind, 6);
  EXPECT_FALSE(codec.Residue(GetParam().bytes).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LinkMessageRefused,
    ::testing::Values(RefusedCase{"NoteOffTurnedIntoNoteOnOfVelocityZero", LinkMessageKind::NoteOnOff, {0x90, 0x00, 0x00}},
                      RefusedCase{"NoteWithAnotherVelocity", LinkMessageKind::NoteOnOff, {0x90, 0x00, 0x0D}},
                      RefusedCase{"NoteMovedToAnotherChannel", LinkMessageKind::NoteOnOff, {0x91, 0x00, 0x0C}},
                      RefusedCase{"PolyphonicAftertouch", LinkMessageKind::NoteOnOff, {0xA0, 0x00, 0x0C}},
                      RefusedCase{"NoteCutShort", LinkMessageKind::NoteOnOff, {0x90, 0x00}},
                      RefusedCase{"VolumeController", LinkMessageKind::ControlChange, {0xB0, 0x07, 0x00}},
                      RefusedCase{"ControlChangeWithAnotherValue", LinkMessageKind::ControlChange, {0xB0, 0x14, 0x01}},
                      RefusedCase{"NoteForAControlChangeRun", LinkMessageKind::ControlChange, {0x90, 0x00, 0x0C}},
                      RefusedCase{"SysexOfAnotherManufacturer", LinkMessageKind::Sysex, {0xF0, 0x7E, 0x00, 0x00, 0x00, 0xF7}},
                      RefusedCase{"SysexTooShortForANumber", LinkMessageKind::Sysex, {0xF0, 0x7D, 0x00, 0xF7}},
                      RefusedCase{"ShortMessageForASysexRun", LinkMessageKind::Sysex, {0x90, 0x00, 0x0C}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
