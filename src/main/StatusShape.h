#pragma once

#include <QColor>
#include <QWidget>

// A small filled rectangle with a black outline that shows a port's state by its
// colour; its hint (tool tip) appears when the mouse rests on it.
class TShape : public QWidget {
  Q_OBJECT

 public:
  explicit TShape(QWidget* parent = nullptr);

  QColor BrushColor() const { return FBrushColor; }
  // Repaints at once when the colour changes.
  void SetBrushColor(QColor color);
  QString Hint() const { return toolTip(); }
  void SetHint(const QString& hint) { setToolTip(hint); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor FBrushColor{0xFF, 0x00, 0x00};
};
