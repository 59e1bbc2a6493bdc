// The details a log line can get, each option alone and all together.
#include <gtest/gtest.h>

#include "MessageDetails.h"

namespace {

DetailOptions Only(bool DetailOptions::*option) {
  DetailOptions o;
  o.*option = true;
  return o;
}

DetailOptions All(int middleC = 4) {
  DetailOptions o;
  o.Decimal = o.Channel = o.NoteName = o.ControllerName = o.ProgramNumber = true;
  o.MiddleCOctave = middleC;
  return o;
}

TEST(MessageDetailsTest, EachMessageGetsTheDetailsThatApplyToIt) {
  struct Case {
    uint8_t status, d1, d2;
    DetailOptions options;
    const char* details;
  };
  const Case cases[] = {
      {0x90, 0x3C, 0x40, All(), "canal 1, note 60, C4, vel. 64"},
      {0x90, 0x3C, 0x40, All(3), "canal 1, note 60, C3, vel. 64"},
      {0x8F, 0x15, 0x00, All(), "canal 16, note 21, A0, vel. 0"},
      {0x9F, 0x3D, 0x7F, Only(&DetailOptions::NoteName), "C#4"},
      {0x91, 0x3C, 0x40, Only(&DetailOptions::Channel), "canal 2"},
      {0xA2, 0x3C, 0x10, All(), "canal 3, note 60, C4, pression 16"},
      {0xB0, 0x07, 0x7F, All(), "canal 1, ctrl 7, Volume, val. 127"},
      {0xB0, 0x40, 0x7F, Only(&DetailOptions::ControllerName), "Sustain Pedal"},
      {0xB0, 0x27, 0x00, Only(&DetailOptions::ControllerName), "Volume LSB"},
      {0xB0, 0x14, 0x00, Only(&DetailOptions::ControllerName), ""},  // undefined controller
      {0xB0, 0x14, 0x05, All(), "canal 1, ctrl 20, val. 5"},
      {0xC5, 0x00, 0x00, Only(&DetailOptions::ProgramNumber), "programme 1"},
      {0xC5, 0x7F, 0x00, All(), "canal 6, programme 128, valeur 127"},
      {0xD1, 0x22, 0x00, All(), "canal 2, pression 34"},
      {0xE0, 0x00, 0x40, Only(&DetailOptions::Decimal), "valeur 8192 (+0)"},
      {0xE0, 0x7F, 0x7F, Only(&DetailOptions::Decimal), "valeur 16383 (+8191)"},
      {0xE0, 0x00, 0x00, Only(&DetailOptions::Decimal), "valeur 0 (-8192)"},
      {0xF1, 0x35, 0x00, All(), "type 3, valeur 5"},
      {0xF2, 0x10, 0x20, All(), "position 4112"},
      {0xF3, 0x07, 0x00, All(), "morceau 7"},
      {0xF8, 0x00, 0x00, All(), ""},
      {0xFA, 0x00, 0x00, All(), ""},
      {0xF0, 0x7E, 0x00, All(), ""},
      {0x90, 0x3C, 0x40, DetailOptions{}, ""},
      {0xC0, 0x05, 0x00, Only(&DetailOptions::NoteName), ""},  // no note in a program change
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MessageDetails(c.status, c.d1, c.d2, c.options), QString::fromUtf8(c.details))
        << std::hex << int(c.status) << " " << int(c.d1) << " " << int(c.d2);
  }
}

TEST(MessageDetailsTest, NotesAreNamedInTheOctaveOfTheChosenMiddleC) {
  struct Case {
    uint8_t note;
    const char* c4;
    const char* c3;
  };
  const Case cases[] = {{0, "C-1", "C-2"},  {11, "B-1", "B-2"}, {12, "C0", "C-1"}, {59, "B3", "B2"},
                        {60, "C4", "C3"},   {61, "C#4", "C#3"}, {69, "A4", "A3"},  {127, "G9", "G8"}};
  for (const Case& c : cases) {
    EXPECT_EQ(NoteName(c.note, 4), c.c4) << int(c.note);
    EXPECT_EQ(NoteName(c.note, 3), c.c3) << int(c.note);
  }
}

TEST(MessageDetailsTest, DefinedControllersHaveNamesAndTheOthersNone) {
  EXPECT_STREQ(ControllerName(0), "Bank Select");
  EXPECT_STREQ(ControllerName(32), "Bank Select LSB");
  EXPECT_STREQ(ControllerName(101), "RPN MSB");
  EXPECT_STREQ(ControllerName(123), "All Notes Off");
  for (uint8_t undefined : {3, 9, 14, 20, 31, 35, 63, 85, 102, 119}) {
    EXPECT_EQ(ControllerName(undefined), nullptr) << int(undefined);
  }
}

}  // namespace
