// Controllers in two halves shown as one value: 14-bit controllers, RPN and
// NRPN with data entry and increments.
#include <gtest/gtest.h>

#include <QStringList>

#include <vector>

#include "ControllerPairs.h"

namespace {

struct Cc {
  uint8_t channel;  // 0..15
  uint8_t controller, value;
};

// The texts that each control change completes ("-" when none).
QStringList Feed(ControllerPairs& pairs, const std::vector<Cc>& messages) {
  QStringList texts;
  for (const Cc& m : messages) {
    const QString text = pairs.Observe(static_cast<uint8_t>(0xB0 | m.channel), m.controller, m.value);
    texts << (text.isEmpty() ? QStringLiteral("-") : text);
  }
  return texts;
}

TEST(ControllerPairsTest, AFourteenBitControllerShowsItsValueWhenItsLsbFollows) {
  ControllerPairs pairs;
  EXPECT_EQ(Feed(pairs, {{0, 7, 0x7F}, {0, 39, 0x7F}, {0, 39, 0x00}, {0, 7, 0x40}, {0, 39, 0x01}}),
            (QStringList{"-", "CC 7/39 = 16383, canal 1", "CC 7/39 = 16256, canal 1", "-",
                         "CC 7/39 = 8193, canal 1"}));
}

TEST(ControllerPairsTest, AnLsbWithoutItsMsbOrOnAnotherChannelShowsNothing) {
  ControllerPairs pairs;
  EXPECT_EQ(Feed(pairs, {{0, 39, 5}, {0, 1, 10}, {1, 33, 5}, {0, 34, 5}, {0, 64, 127}}),
            (QStringList{"-", "-", "-", "-", "-"}));
  EXPECT_EQ(Feed(pairs, {{0, 33, 5}}), QStringList{"CC 1/33 = 1285, canal 1"});
}

TEST(ControllerPairsTest, RpnAndNrpnShowTheParameterAndItsWholeValueAfterEachDataEntry) {
  ControllerPairs pairs;
  // Pitch bend sensitivity: 2 semitones and 50 cents.
  EXPECT_EQ(Feed(pairs, {{0, 101, 0}, {0, 100, 0}, {0, 6, 2}, {0, 38, 50}}),
            (QStringList{"-", "-", "RPN 0x0000 = 256, canal 1", "RPN 0x0000 = 306, canal 1"}));
  EXPECT_EQ(Feed(pairs, {{2, 99, 0x01}, {2, 98, 0x23}, {2, 6, 0x40}, {2, 38, 0}}),
            (QStringList{"-", "-", "NRPN 0x0123 = 8192, canal 3", "NRPN 0x0123 = 8192, canal 3"}));
  // A new MSB sets the LSB to 0.
  EXPECT_EQ(Feed(pairs, {{0, 6, 3}}), QStringList{"RPN 0x0000 = 384, canal 1"});
}

TEST(ControllerPairsTest, IncrementAndDecrementStepTheValueKnownOrNot) {
  ControllerPairs pairs;
  EXPECT_EQ(Feed(pairs, {{0, 101, 0}, {0, 100, 1}, {0, 96, 0}, {0, 6, 64}, {0, 96, 0}, {0, 97, 0}, {0, 97, 0}}),
            (QStringList{"-", "-", "RPN 0x0001 +1, canal 1", "RPN 0x0001 = 8192, canal 1",
                         "RPN 0x0001 = 8193, canal 1", "RPN 0x0001 = 8192, canal 1", "RPN 0x0001 = 8191, canal 1"}));
}

TEST(ControllerPairsTest, TheNullParameterAndResetAllControllersEndTheChoice) {
  ControllerPairs pairs;
  EXPECT_EQ(Feed(pairs, {{0, 101, 0}, {0, 100, 0}, {0, 101, 127}, {0, 100, 127}, {0, 6, 5}, {0, 38, 1}}),
            (QStringList{"-", "-", "-", "-", "-", "CC 6/38 = 641, canal 1"}))
      << "without a parameter, 6 and 38 are a 14-bit controller like the others";
  EXPECT_EQ(Feed(pairs, {{0, 99, 1}, {0, 98, 2}, {0, 7, 1}, {0, 121, 0}, {0, 6, 5}, {0, 39, 1}}),
            (QStringList{"-", "-", "-", "-", "-", "-"}));
}

TEST(ControllerPairsTest, OnlyControlChangesCount) {
  ControllerPairs pairs;
  EXPECT_TRUE(pairs.Observe(0x90, 7, 100).isEmpty());
  EXPECT_TRUE(pairs.Observe(0xF8, 0, 0).isEmpty());
  pairs.Observe(0xB0, 7, 100);
  pairs.Reset();
  EXPECT_TRUE(pairs.Observe(0xB0, 39, 1).isEmpty()) << "Reset forgets the MSB";
}

}  // namespace
