#include "StatusShape.h"

#include <QAccessible>
#include <QPainter>

#include "AccessibleAnnouncer.h"

const QColor TShape::OpenColor(0x00, 0xFF, 0x00);
const QColor TShape::OpeningColor(0x80, 0x80, 0x80);
const QColor TShape::ClosedColor(0xFF, 0x00, 0x00);

TShape::TShape(QWidget* parent) : QWidget(parent) {
  FAnnouncer = new TAccessibleAnnouncer(
      this, [this] { return StateText() + QLatin1Char('\n') + Hint(); },
      [this] {
        QAccessibleEvent description(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&description);
      });
}

void TShape::SetBrushColor(QColor color) {
  if (color == FBrushColor) return;
  FBrushColor = color;
  repaint();
}

void TShape::SetHint(const QString& hint) {
  if (hint == toolTip()) return;
  setToolTip(hint);
  update();  // announced with the next painting
}

QString TShape::StateText() const {
  if (FBrushColor == OpenColor) return QStringLiteral("ouvert");
  if (FBrushColor == OpeningColor) return QStringLiteral("ouverture en cours");
  if (FBrushColor == ClosedColor) return QStringLiteral("fermé");
  return QString();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::black);
  painter.setBrush(FBrushColor);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  FAnnouncer->Painted();
}
