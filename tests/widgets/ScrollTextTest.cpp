#include "ScrollText.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

// First row, from the top, that holds anything but the blue background.
int FirstTextRow(TScrollText& box) {
  const QImage image = box.grab().toImage();
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) != QColor(0x00, 0x00, 0xFF)) return y;
  return -1;
}

class ScrollTextTest : public ::testing::Test {
protected:
  void SetUp() override {
    box.resize(200, 25);
    box.SetLines({"- one", "- two", "- three"});
  }
  TScrollText box;
};

TEST_F(ScrollTextTest, TextEntersFromTheBottomAndRisesOnePixelPerTick) {
  EXPECT_EQ(box.TextTop(), 25);
  EXPECT_EQ(FirstTextRow(box), -1) << "nothing visible before the first tick";
  for (int i = 0; i < 12; ++i) box.Tick();
  EXPECT_EQ(box.TextTop(), 13);
  const int row = FirstTextRow(box);
  ASSERT_GE(row, 13);
  box.Tick();
  EXPECT_EQ(box.TextTop(), 12);
  EXPECT_EQ(FirstTextRow(box), row - 1);
}

TEST_F(ScrollTextTest, StartsOverOnceTheTextHasLeftAtTheTop) {
  const int lineHeight = box.fontMetrics().height();
  const int cycle = 25 + 3 * lineHeight;  // ticks until the last line has gone
  for (int i = 0; i < cycle; ++i) box.Tick();
  EXPECT_EQ(box.TextTop(), -3 * lineHeight);
  box.Tick();
  EXPECT_EQ(box.TextTop(), 25) << "enters from the bottom again";
}

TEST_F(ScrollTextTest, TimerTicksEveryHundredMillisecondsOnlyWhenStarted) {
  EXPECT_FALSE(box.Active());
  box.Start();
  EXPECT_TRUE(box.Active());
  EXPECT_EQ(box.Timer().interval(), 100);
  box.Stop();
  EXPECT_FALSE(box.Active());
}

TEST_F(ScrollTextTest, BlueBackgroundAquaText) {
  EXPECT_EQ(box.palette().color(QPalette::Window), QColor(0x00, 0x00, 0xFF));
  EXPECT_EQ(box.palette().color(QPalette::WindowText), QColor(0x00, 0xFF, 0xFF));
}

}  // namespace
