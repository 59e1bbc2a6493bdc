#include "rmLed.h"

#include "AccessibleAnnouncer.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

namespace {

const QColor kFrameLight(0xFF, 0xFF, 0xFF);
const QColor kFrameDark(0x80, 0x80, 0x80);

// A rectangle from (x1, y1) up to but excluding (x2, y2), outlined one pixel
// wide with `pen` and filled with `brush`. Nothing is drawn when it is empty.
void DrawRectangle(QPainter& p, int x1, int y1, int x2, int y2, const QColor& pen, const QColor& brush) {
  if (x2 <= x1 || y2 <= y1) return;
  p.fillRect(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)), pen);
  if (x2 - x1 > 2 && y2 - y1 > 2) p.fillRect(QRect(QPoint(x1 + 1, y1 + 1), QPoint(x2 - 2, y2 - 2)), brush);
}

// A horizontal or vertical line from `from` up to but excluding `to`.
void DrawLine(QPainter& p, QPoint from, QPoint to, const QColor& pen) {
  if (from == to) return;
  QPoint last = to;
  if (from.x() == to.x()) last.ry() += from.y() < to.y() ? -1 : 1;
  else last.rx() += from.x() < to.x() ? -1 : 1;
  p.fillRect(QRect(QPoint(std::min(from.x(), last.x()), std::min(from.y(), last.y())),
                   QPoint(std::max(from.x(), last.x()), std::max(from.y(), last.y()))),
             pen);
}

}  // namespace

TrmLed::TrmLed(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(DefaultSize, DefaultSize);
  ResizeBuffer();
  FAnnouncer = new TAccessibleAnnouncer(
      this, [this] { return FLedOn ? QStringLiteral("1") : QStringLiteral("0"); },
      [this] {
        QAccessibleEvent description(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&description);
      });
}

template <typename T> void TrmLed::Change(T& field, const T& value) {
  if (field == value) return;
  field = value;
  repaint();
}

void TrmLed::SetBGColor(QColor value) { Change(FBGColor, value); }
void TrmLed::SetBorderColor(QColor value) { Change(FBorderColor, value); }
void TrmLed::SetLedOnColor(QColor value) { Change(FLedOnColor, value); }
void TrmLed::SetLedOffColor(QColor value) { Change(FLedOffColor, value); }
void TrmLed::SetBorder(TBorderType value) { Change(FBorder, value); }
void TrmLed::SetBorderMargin(int value) { Change(FBorderMargin, value); }
void TrmLed::SetLedOn(bool value) { Change(FLedOn, value); }

void TrmLed::SetBounds(int left, int top, int width, int height) {
  setGeometry(left, top, width, height);
  ResizeBuffer();
}

void TrmLed::ResizeBuffer() {
  if (FBmpBuffer.size() == size()) return;
  FBmpBuffer = QImage(size(), QImage::Format_RGB32);
}

void TrmLed::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ResizeBuffer();
}

void TrmLed::DrawToBuffer() {
  ResizeBuffer();  // covers a resize whose event is still pending
  if (FBmpBuffer.isNull()) return;
  const int w = FBmpBuffer.width();
  const int h = FBmpBuffer.height();
  const int m = FBorderMargin;
  QPainter p(&FBmpBuffer);

  DrawRectangle(p, 0, 0, w, h, FBorder == btSingle ? FBorderColor : FBGColor, FBGColor);
  const QColor& lamp = FLedOn ? FLedOnColor : FLedOffColor;
  DrawRectangle(p, m, m, w - m, h - m, lamp, lamp);

  if (FBorder == btRaised || FBorder == btLowered) {
    const bool raised = FBorder == btRaised;
    const QColor& first = raised ? kFrameLight : kFrameDark;
    const QColor& second = raised ? kFrameDark : kFrameLight;
    DrawLine(p, {0, h - 1}, {0, 0}, first);
    DrawLine(p, {0, 0}, {w - 1, 0}, first);
    DrawLine(p, {w - 1, 0}, {w - 1, h - 1}, second);
    DrawLine(p, {w - 1, h - 1}, {0, h - 1}, second);
  }
}

void TrmLed::paintEvent(QPaintEvent*) { Paint(); }

void TrmLed::Paint() {
  try {
    DrawToBuffer();
  } catch (...) {
  }
  try {
    if (!FBmpBuffer.isNull()) {
      QPainter p(this);
      p.drawImage(0, 0, FBmpBuffer);
      if (hasFocus()) {
        // The focus: a frame in the highlight colour over the bevel.
        p.setPen(palette().color(QPalette::Highlight));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
      }
    }
  } catch (...) {
  }
  FAnnouncer->Painted();
}

void TrmLed::mousePressEvent(QMouseEvent* event) {
  FPressed = event->button() == Qt::LeftButton;
  QWidget::mousePressEvent(event);
}

void TrmLed::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  FPressed = false;
  QWidget::mouseReleaseEvent(event);
  if (click) emit clicked();
}

void TrmLed::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (focusPolicy() != Qt::NoFocus && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
      (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
    emit clicked();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TrmLed::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void TrmLed::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}
