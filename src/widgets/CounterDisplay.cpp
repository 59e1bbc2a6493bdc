#include "CounterDisplay.h"

#include "AccessibleAnnouncer.h"

#include <QAccessible>
#include <QPainter>

#include <array>
#include <string>

namespace {

// Pixel runs of one segment inside a 7 x 13 cell: x, y, width, height.
struct Run {
  int x, y, w, h;
};
using Segment = std::array<Run, 3>;

// Segments a b c d e f g; a tapered two-pixel stroke, the middle one three rows.
constexpr std::array<Segment, 7> kSegments = {{
    {{{1, 0, 5, 1}, {2, 1, 3, 1}, {0, 0, 0, 0}}},   // a: top
    {{{6, 1, 1, 5}, {5, 2, 1, 3}, {0, 0, 0, 0}}},   // b: upper right
    {{{6, 7, 1, 5}, {5, 8, 1, 3}, {0, 0, 0, 0}}},   // c: lower right
    {{{1, 12, 5, 1}, {2, 11, 3, 1}, {0, 0, 0, 0}}}, // d: bottom
    {{{0, 7, 1, 5}, {1, 8, 1, 3}, {0, 0, 0, 0}}},   // e: lower left
    {{{0, 1, 1, 5}, {1, 2, 1, 3}, {0, 0, 0, 0}}},   // f: upper left
    {{{1, 6, 5, 1}, {2, 5, 3, 1}, {2, 7, 3, 1}}},   // g: middle
}};

// Lit segments of each digit, bit 0 = a ... bit 6 = g.
constexpr std::array<unsigned, 10> kDigitSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void DrawDigit(QPainter& p, int left, int top, int digit) {
  for (int s = 0; s < 7; ++s) {
    const QColor& colour =
        (kDigitSegments[digit] >> s) & 1u ? TCounterDisplay::LitColor : TCounterDisplay::UnlitColor;
    for (const Run& r : kSegments[s])
      if (r.w > 0) p.fillRect(left + r.x, top + r.y, r.w, r.h, colour);
  }
}

}  // namespace

const QColor TCounterDisplay::LitColor(0x00, 0xFF, 0xFF);
const QColor TCounterDisplay::UnlitColor(0x20, 0x20, 0x20);
const QColor TCounterDisplay::BackgroundColor(0x00, 0x00, 0x00);

TCounterDisplay::TCounterDisplay(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(sizeHint());
  FAnnouncer = new TAccessibleAnnouncer(
      this, [this] { return QString::number(FValue); },
      [this] {
        QAccessibleValueChangeEvent value(this, QVariant::fromValue<qlonglong>(FValue));
        QAccessible::updateAccessibility(&value);
        QAccessibleEvent description(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&description);
      });
}

void TCounterDisplay::SetValue(std::int64_t value) {
  if (value < 0) value = 0;
  if (value == FValue) return;
  FValue = value;
  repaint();
}

void TCounterDisplay::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), BackgroundColor);
  const std::string digits = std::to_string(FValue);
  const int count = static_cast<int>(digits.size());
  const int total = count * DigitWidth + (count - 1) * DigitGap;
  int left = (width() - total) / 2;
  const int top = (height() - DigitHeight) / 2;
  for (char c : digits) {
    DrawDigit(p, left, top, c - '0');
    left += DigitWidth + DigitGap;
  }
  FAnnouncer->Painted();
}
