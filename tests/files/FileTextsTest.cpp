// Sizes and durations as the file commands show them.
#include <gtest/gtest.h>

#include "FileTexts.h"

namespace {

// Thousands are grouped by no-break spaces (U+00A0).
QString Nb(const char* text) { return QString::fromUtf8(text).replace(QLatin1Char('_'), QChar(0x00A0)); }

struct TextCase {
  const char* name;
  qint64 value;
  const char* expected;  // '_' stands for a no-break space
};

class ByteCountTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ByteCountTextTest, GroupsThousandsAndAgreesInNumber) {
  EXPECT_EQ(ByteCountText(GetParam().value), Nb(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteCountTextTest,
                         ::testing::Values(TextCase{"Zero", 0, "0 octets"}, TextCase{"One", 1, "1 octet"},
                                           TextCase{"ThreeDigits", 999, "999 octets"},
                                           TextCase{"FourDigits", 1000, "1_000 octets"},
                                           TextCase{"LargestMessage", 65535, "65_535 octets"},
                                           TextCase{"FiveHundredMillion", 500000000, "500_000_000 octets"}),
                         [](const auto& info) { return std::string(info.param.name); });

class ByteSizeTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ByteSizeTextTest, RoundsToOneDecimalInTheFittingUnit) {
  EXPECT_EQ(ByteSizeText(GetParam().value), Nb(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteSizeTextTest,
                         ::testing::Values(TextCase{"Bytes", 1023, "1_023 octets"}, TextCase{"OneKo", 1024, "1,0 Ko"},
                                           TextCase{"RoundsHalfUp", 12 * 1024 + 512, "12,5 Ko"},
                                           TextCase{"AlmostOneMo", 1024 * 1024 - 1, "1,0 Mo"},
                                           TextCase{"LargestKo", 1024 * 1024 - 52, "1_023,9 Ko"},
                                           TextCase{"SixtyFourMo", 64LL * 1024 * 1024, "64,0 Mo"},
                                           TextCase{"ThousandsOfMo", 2000LL * 1024 * 1024, "2_000,0 Mo"}),
                         [](const auto& info) { return std::string(info.param.name); });

class DurationTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(DurationTextTest, CountsWholeSecondsRoundedUp) { EXPECT_EQ(DurationText(GetParam().value), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Cases, DurationTextTest,
                         ::testing::Values(TextCase{"Nothing", 0, "0:00"}, TextCase{"Negative", -5, "0:00"},
                                           TextCase{"OneMillisecond", 1, "0:01"}, TextCase{"FiveSeconds", 5000, "0:05"},
                                           TextCase{"JustOverAMinute", 60001, "1:01"},
                                           TextCase{"FiveMinutesAndAHalf", 335500, "5:36"},
                                           TextCase{"Hours", 3723000, "1:02:03"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MessageCountTextTest, AgreesInNumber) {
  EXPECT_EQ(MessageCountText(0), "0 messages");
  EXPECT_EQ(MessageCountText(1), "1 message");
  EXPECT_EQ(MessageCountText(2), "2 messages");
  EXPECT_EQ(MessageCountText(1234), Nb("1_234 messages"));
}

}  // namespace
