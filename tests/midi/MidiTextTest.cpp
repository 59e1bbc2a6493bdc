#include "MidiText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct TextCase {
  const char* name;
  std::vector<uint8_t> bytes;
  const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class HexBytesTextCase : public ::testing::TestWithParam<TextCase> {};

TEST_P(HexBytesTextCase, ShowsEachByteAsTwoUpperCaseDigitsSeparatedByBlanks) {
  const TextCase& c = GetParam();
  EXPECT_EQ(HexBytesText(c.bytes), QString::fromLatin1(c.text));
  std::string plain = "> ";
  AppendHexBytes(plain, c.bytes);
  EXPECT_EQ(plain, std::string("> ") + c.text) << "the same text in a std::string, appended";
}

INSTANTIATE_TEST_SUITE_P(MidiText, HexBytesTextCase,
                         ::testing::Values(TextCase{"None", {}, ""}, TextCase{"OneByte", {0x0A}, "0A"},
                                           TextCase{"NoteOn", {0x90, 0x3C, 0x40}, "90 3C 40"},
                                           TextCase{"Extremes", {0x00, 0xFF, 0x7F, 0x80}, "00 FF 7F 80"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MidiText, OneByteHasALeadingZero) {
  EXPECT_EQ(HexByteText(0x05), QStringLiteral("05"));
  EXPECT_EQ(HexByteText(0xF7), QStringLiteral("F7"));
}

}  // namespace
