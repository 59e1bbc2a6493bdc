#include "StatusShape.h"

#include <QPainter>

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::SetBrushColor(QColor color) {
  if (color == FBrushColor) return;
  FBrushColor = color;
  repaint();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::black);
  painter.setBrush(FBrushColor);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
