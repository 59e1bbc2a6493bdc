#pragma once

#include <QColor>
#include <QWidget>

#include <cstdint>

class TAccessibleAnnouncer;

// Seven-segment display of a non-negative count: aqua lit segments, dark grey
// unlit segments, black background, no frame, the digits centred, as many
// digits as the number needs. Setting the value repaints at once, so that the
// count stays current while a long sequence keeps the event loop busy.
// Assistive technology reads the number as the display's value and hears it
// change at most a few times a second (TAccessibleAnnouncer, from the painting).
// Lives on the user-interface thread; owned by its Qt parent.
class TCounterDisplay : public QWidget {
  Q_OBJECT

public:
  static constexpr int DigitWidth = 7;
  static constexpr int DigitHeight = 13;
  static constexpr int DigitGap = 2;
  static const QColor LitColor;
  static const QColor UnlitColor;
  static const QColor BackgroundColor;

  explicit TCounterDisplay(QWidget* parent = nullptr);

  std::int64_t Value() const { return FValue; }
  // Negative values show as 0.
  void SetValue(std::int64_t value);

  QSize sizeHint() const override { return {97, 22}; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  std::int64_t FValue = 0;
  TAccessibleAnnouncer* FAnnouncer;
};
