#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class TAccessibleAnnouncer;

// A small filled rectangle with a black outline that shows a port's state by its
// colour; its hint (tool tip) appears when the mouse rests on it. The port
// manager paints it lime when the port is open, grey while it is being
// opened, red when it is closed. Assistive technology reads that state and the
// hint, and hears them change (TAccessibleAnnouncer, from the painting).
// Lives on the user-interface thread; owned by its Qt parent.
class TShape : public QWidget {
  Q_OBJECT

 public:
  static const QColor OpenColor;
  static const QColor OpeningColor;
  static const QColor ClosedColor;

  explicit TShape(QWidget* parent = nullptr);

  QColor BrushColor() const { return FBrushColor; }
  // Repaints at once when the colour changes.
  void SetBrushColor(QColor color);
  QString Hint() const { return toolTip(); }
  void SetHint(const QString& hint);
  // The state that the colour shows, in words: "ouvert", "ouverture en
  // cours", "fermé"; empty for any other colour.
  QString StateText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor FBrushColor{ClosedColor};
  TAccessibleAnnouncer* FAnnouncer;
};
