#include "rmLed.h"
#include "WidgetTestUtil.h"

#include <QApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using Picture = std::vector<std::string>;

// One letter per colour, so that a picture reads like the lamp itself.
char Letter(QRgb rgb) {
  static const std::map<QRgb, char> legend = {
      {qRgb(0xFF, 0xFF, 0xFF), 'W'}, {qRgb(0x80, 0x80, 0x80), 'G'}, {qRgb(0xC0, 0xC0, 0xC0), 'S'},
      {qRgb(0x00, 0x00, 0x00), 'K'}, {qRgb(0x00, 0xFF, 0x00), 'L'}, {qRgb(0x00, 0x80, 0x00), 'g'}};
  const auto it = legend.find(rgb | 0xFF000000u);
  return it == legend.end() ? '?' : it->second;
}

Picture Read(const QImage& image) {
  Picture rows;
  for (int y = 0; y < image.height(); ++y) {
    std::string row;
    for (int x = 0; x < image.width(); ++x) row += Letter(image.pixel(x, y));
    rows.push_back(row);
  }
  return rows;
}

Picture Drawn(TrmLed& led) {
  led.DrawToBuffer();
  return Read(led.Buffer());
}

const Picture kRaisedOff = {
    "WWWWWWWWWWWWG", "WSSSSSSSSSSSG", "WSSSSSSSSSSSG", "WSSgggggggSSG", "WSSgggggggSSG",
    "WSSgggggggSSG", "WSSgggggggSSG", "WSSgggggggSSG", "WSSgggggggSSG", "WSSgggggggSSG",
    "WSSSSSSSSSSSG", "WSSSSSSSSSSSG", "WGGGGGGGGGGGG"};

TEST(TrmLed, NewLampIsThirteenSquareRaisedSilverWithDarkGreenLamp) {
  TrmLed led;
  EXPECT_EQ(led.size(), QSize(13, 13));
  EXPECT_EQ(led.Border(), btRaised);
  EXPECT_EQ(led.BorderMargin(), 3);
  EXPECT_FALSE(led.LedOn());
  EXPECT_EQ(led.BGColor(), QColor(0xC0, 0xC0, 0xC0));
  EXPECT_EQ(led.BorderColor(), QColor(Qt::black));
  EXPECT_EQ(led.LedOnColor(), QColor(0x00, 0xFF, 0x00));
  EXPECT_EQ(led.LedOffColor(), QColor(0x00, 0x80, 0x00));
  EXPECT_EQ(Drawn(led), kRaisedOff);
}

struct PictureCase {
  const char* name;
  TBorderType border;
  int margin;
  bool on;
  Picture expected;
};

class TrmLedPicture : public ::testing::TestWithParam<PictureCase> {};

TEST_P(TrmLedPicture, DrawsExactPixels) {
  const PictureCase& c = GetParam();
  TrmLed led;
  led.SetBorder(c.border);
  led.SetBorderMargin(c.margin);
  led.SetLedOn(c.on);
  EXPECT_EQ(Drawn(led), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Styles, TrmLedPicture,
    ::testing::Values(
        PictureCase{"RaisedOn", btRaised, 3, true,
                    {"WWWWWWWWWWWWG", "WSSSSSSSSSSSG", "WSSSSSSSSSSSG", "WSSLLLLLLLSSG", "WSSLLLLLLLSSG",
                     "WSSLLLLLLLSSG", "WSSLLLLLLLSSG", "WSSLLLLLLLSSG", "WSSLLLLLLLSSG", "WSSLLLLLLLSSG",
                     "WSSSSSSSSSSSG", "WSSSSSSSSSSSG", "WGGGGGGGGGGGG"}},
        PictureCase{"LoweredIsDarkTopLeftLightBottomRight", btLowered, 3, false,
                    {"GGGGGGGGGGGGW", "GSSSSSSSSSSSW", "GSSSSSSSSSSSW", "GSSgggggggSSW", "GSSgggggggSSW",
                     "GSSgggggggSSW", "GSSgggggggSSW", "GSSgggggggSSW", "GSSgggggggSSW", "GSSgggggggSSW",
                     "GSSSSSSSSSSSW", "GSSSSSSSSSSSW", "GWWWWWWWWWWWW"}},
        PictureCase{"MarginZeroLampCoversBackgroundUnderFrame", btRaised, 0, true,
                    {"WWWWWWWWWWWWG", "WLLLLLLLLLLLG", "WLLLLLLLLLLLG", "WLLLLLLLLLLLG", "WLLLLLLLLLLLG",
                     "WLLLLLLLLLLLG", "WLLLLLLLLLLLG", "WLLLLLLLLLLLG", "WLLLLLLLLLLLG", "WLLLLLLLLLLLG",
                     "WLLLLLLLLLLLG", "WLLLLLLLLLLLG", "WGGGGGGGGGGGG"}},
        PictureCase{"SingleIsOnePixelOutline", btSingle, 3, false,
                    {"KKKKKKKKKKKKK", "KSSSSSSSSSSSK", "KSSSSSSSSSSSK", "KSSgggggggSSK", "KSSgggggggSSK",
                     "KSSgggggggSSK", "KSSgggggggSSK", "KSSgggggggSSK", "KSSgggggggSSK", "KSSgggggggSSK",
                     "KSSSSSSSSSSSK", "KSSSSSSSSSSSK", "KKKKKKKKKKKKK"}},
        PictureCase{"NoneHasNoFrame", btNone, 3, false,
                    {"SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSgggggggSSS", "SSSgggggggSSS",
                     "SSSgggggggSSS", "SSSgggggggSSS", "SSSgggggggSSS", "SSSgggggggSSS", "SSSgggggggSSS",
                     "SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSSSSSSSSSSS"}},
        PictureCase{"MarginBeyondHalfDrawsNoLamp", btNone, 7, true,
                    {"SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSSSSSSSSSSS",
                     "SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSSSSSSSSSSS",
                     "SSSSSSSSSSSSS", "SSSSSSSSSSSSS", "SSSSSSSSSSSSS"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrmLed, ResizeGivesBufferOfNewSizeAndLampInsideMargin) {
  TrmLed led;
  led.SetBounds(0, 0, 20, 10);
  EXPECT_EQ(led.Buffer().size(), QSize(20, 10));
  const Picture expected = {
      "WWWWWWWWWWWWWWWWWWWG", "WSSSSSSSSSSSSSSSSSSG", "WSSSSSSSSSSSSSSSSSSG", "WSSggggggggggggggSSG",
      "WSSggggggggggggggSSG", "WSSggggggggggggggSSG", "WSSggggggggggggggSSG", "WSSSSSSSSSSSSSSSSSSG",
      "WSSSSSSSSSSSSSSSSSSG", "WGGGGGGGGGGGGGGGGGGG"};
  EXPECT_EQ(Drawn(led), expected);
}

TEST(TrmLed, ResizeThroughLayoutAlsoResizesBuffer) {
  TrmLed led;
  led.resize(20, 10);
  led.DrawToBuffer();
  EXPECT_EQ(led.Buffer().size(), QSize(20, 10));
}

TEST(TrmLed, ZeroSizeDrawsNothingAndDoesNotFail) {
  TrmLed led;
  led.SetBounds(0, 0, 0, 0);
  led.DrawToBuffer();
  EXPECT_TRUE(led.Buffer().isNull());
}

TEST(TrmLed, SetterRedrawsAtOnceOnlyWhenValueChanges) {
  QWidget window;
  window.resize(40, 40);
  TrmLed* led = new TrmLed(&window);
  ShowExposed(window);
  PaintCounter counter;
  led->installEventFilter(&counter);

  led->SetLedOn(true);
  EXPECT_EQ(counter.count, 1) << "a change repaints synchronously";
  EXPECT_EQ(Read(led->Buffer())[5][5], 'L');

  led->SetLedOn(true);
  led->SetBorder(btRaised);
  led->SetBorderMargin(3);
  led->SetBGColor(QColor(0xC0, 0xC0, 0xC0));
  led->SetBorderColor(Qt::black);
  led->SetLedOnColor(QColor(0x00, 0xFF, 0x00));
  led->SetLedOffColor(QColor(0x00, 0x80, 0x00));
  EXPECT_EQ(counter.count, 1) << "equal values do not redraw";

  led->SetLedOffColor(Qt::red);
  led->SetBorder(btLowered);
  EXPECT_EQ(counter.count, 3);
}

TEST(TrmLed, ClickIsPressAndReleaseInside) {
  TrmLed led;
  int clicks = 0;
  QObject::connect(&led, &TrmLed::clicked, [&] { ++clicks; });
  auto send = [&](QEvent::Type type, QPointF pos) {
    QMouseEvent event(type, pos, led.mapToGlobal(pos), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&led, &event);
  };
  send(QEvent::MouseButtonPress, {5, 5});
  send(QEvent::MouseButtonRelease, {6, 6});
  EXPECT_EQ(clicks, 1);
  send(QEvent::MouseButtonPress, {5, 5});
  send(QEvent::MouseButtonRelease, {50, 50});
  EXPECT_EQ(clicks, 1) << "released outside: no click";
}

}  // namespace
