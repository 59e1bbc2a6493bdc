#include "ScrollText.h"

#include <QPainter>

namespace {
constexpr int kLeftMargin = 2;
}

TScrollText::TScrollText(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(0x00, 0x00, 0xFF));
  colours.setColor(QPalette::WindowText, QColor(0x00, 0xFF, 0xFF));
  setPalette(colours);
  QFont face("MS Sans Serif");
  face.setStyleHint(QFont::SansSerif);
  face.setPixelSize(11);  // 8 points at 96 dpi, independent of the screen
  setFont(face);
  FTimer.setInterval(TickMs);
  connect(&FTimer, &QTimer::timeout, this, &TScrollText::Tick);
}

void TScrollText::SetLines(const QStringList& lines) {
  FLines = lines;
  FOffset = 0;
  update();
}

void TScrollText::Start() { FTimer.start(); }

void TScrollText::Stop() { FTimer.stop(); }

int TScrollText::TextHeight() const { return static_cast<int>(FLines.size()) * fontMetrics().height(); }

void TScrollText::Tick() {
  ++FOffset;
  if (FOffset > height() + TextHeight()) FOffset = 0;
  update();
}

void TScrollText::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  p.setPen(palette().color(QPalette::WindowText));
  const int lineHeight = fontMetrics().height();
  int top = TextTop();
  for (const QString& line : FLines) {
    if (top + lineHeight > 0 && top < height())
      p.drawText(QRect(kLeftMargin, top, width() - kLeftMargin, lineHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                 line);
    top += lineHeight;
  }
}
