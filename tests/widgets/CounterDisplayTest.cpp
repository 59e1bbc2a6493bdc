#include "CounterDisplay.h"
#include "WidgetTestUtil.h"

#include <QImage>
#include <gtest/gtest.h>

#include <string>

namespace {

// One probe pixel per segment a..g inside a digit cell.
constexpr QPoint kProbes[7] = {{3, 0}, {6, 3}, {6, 9}, {3, 12}, {0, 9}, {0, 3}, {3, 6}};
constexpr unsigned kPatterns[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

// Reads the digits back from the picture, assuming they are centred; '?' for a
// cell that is not a digit, '!' for a pixel that is neither lit nor unlit.
std::string ReadDigits(const QImage& image, int count) {
  const int pitch = TCounterDisplay::DigitWidth + TCounterDisplay::DigitGap;
  const int total = count * pitch - TCounterDisplay::DigitGap;
  const int left = (image.width() - total) / 2;
  const int top = (image.height() - TCounterDisplay::DigitHeight) / 2;
  std::string text;
  for (int i = 0; i < count; ++i) {
    unsigned lit = 0;
    for (int s = 0; s < 7; ++s) {
      const QColor c = image.pixelColor(left + i * pitch + kProbes[s].x(), top + kProbes[s].y());
      if (c == TCounterDisplay::LitColor) lit |= 1u << s;
      else if (c != TCounterDisplay::UnlitColor) return text + '!';
    }
    char digit = '?';
    for (int d = 0; d < 10; ++d)
      if (kPatterns[d] == lit) digit = static_cast<char>('0' + d);
    text += digit;
  }
  return text;
}

struct ValueCase {
  std::int64_t value;
  std::string shown;
};

class CounterDisplayShows : public ::testing::TestWithParam<ValueCase> {};

TEST_P(CounterDisplayShows, DigitsCentredWithoutLeadingZeros) {
  TCounterDisplay display;
  display.resize(97, 22);
  display.SetValue(GetParam().value);
  const QImage image = display.grab().toImage();
  const int count = static_cast<int>(GetParam().shown.size());
  EXPECT_EQ(ReadDigits(image, count), GetParam().shown);
  // Outside the digits only black background.
  const int pitch = TCounterDisplay::DigitWidth + TCounterDisplay::DigitGap;
  const int left = (97 - (count * pitch - TCounterDisplay::DigitGap)) / 2;
  EXPECT_EQ(image.pixelColor(left - 1, 11), TCounterDisplay::BackgroundColor);
  EXPECT_EQ(image.pixelColor(97 - left, 11), TCounterDisplay::BackgroundColor);
  EXPECT_EQ(image.pixelColor(48, 0), TCounterDisplay::BackgroundColor);
  EXPECT_EQ(image.pixelColor(48, 21), TCounterDisplay::BackgroundColor);
}

INSTANTIATE_TEST_SUITE_P(Values, CounterDisplayShows,
                         ::testing::Values(ValueCase{0, "0"}, ValueCase{7, "7"}, ValueCase{42, "42"},
                                           ValueCase{1234567890, "1234567890"}, ValueCase{-5, "0"}));

TEST(CounterDisplay, AllTenDigitsReadBack) {
  TCounterDisplay display;
  display.resize(120, 22);
  display.SetValue(9876543210);
  EXPECT_EQ(display.Value(), 9876543210);
  EXPECT_EQ(ReadDigits(display.grab().toImage(), 10), "9876543210");
}

TEST(CounterDisplay, SettingValueRepaintsAtOnce) {
  QWidget window;
  window.resize(120, 40);
  auto* display = new TCounterDisplay(&window);
  ShowExposed(window);
  PaintCounter counter;
  display->installEventFilter(&counter);
  display->SetValue(12);
  EXPECT_EQ(counter.count, 1);
  display->SetValue(12);
  EXPECT_EQ(counter.count, 1);
}

}  // namespace
