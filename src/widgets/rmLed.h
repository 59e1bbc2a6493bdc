#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

class TAccessibleAnnouncer;

// Frame style of a TrmLed.
enum TBorderType { btNone, btRaised, btLowered, btSingle };

// A small lamp: a coloured square inside a bevelled frame, switched by LedOn.
// The whole picture is drawn into an off-screen image of the widget's own size
// and copied to the screen in one operation. The image is recreated only when
// the size changes. Every setter redraws at once (repaint) when the value
// changes and does nothing otherwise. Drawing never throws.
// A lamp that acts on a click (one given a focus policy) takes the keyboard
// focus, shows it with a focus frame over the picture, and takes Space and
// Enter as a click. Assistive technology hears its on/off state, and what a
// lit lamp means (LitMeaning), at most a few times a second
// (TAccessibleAnnouncer, from the painting).
// Lives on the user-interface thread; owned by its Qt parent.
class TrmLed : public QWidget {
  Q_OBJECT

public:
  static constexpr int DefaultSize = 13;

  explicit TrmLed(QWidget* parent = nullptr);

  QColor BGColor() const { return FBGColor; }
  QColor BorderColor() const { return FBorderColor; }
  QColor LedOnColor() const { return FLedOnColor; }
  QColor LedOffColor() const { return FLedOffColor; }
  TBorderType Border() const { return FBorder; }
  int BorderMargin() const { return FBorderMargin; }
  bool LedOn() const { return FLedOn; }

  void SetBGColor(QColor value);
  void SetBorderColor(QColor value);
  void SetLedOnColor(QColor value);
  void SetLedOffColor(QColor value);
  void SetBorder(TBorderType value);
  void SetBorderMargin(int value);
  void SetLedOn(bool value);

  // What a lit lamp tells the user, for assistive technology ("des messages
  // MIDI arrivent").
  QString LitMeaning() const { return FLitMeaning; }
  void SetLitMeaning(const QString& text) { FLitMeaning = text; }

  // Moves and resizes the lamp; the buffer takes the new size at once.
  void SetBounds(int left, int top, int width, int height);

  // Draws the whole picture into the off-screen buffer.
  void DrawToBuffer();
  // The off-screen picture as last drawn.
  const QImage& Buffer() const { return FBmpBuffer; }

signals:
  void clicked();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  // Draws into the buffer, then copies it to the screen; never throws.
  void Paint();
  void ResizeBuffer();
  template <typename T> void Change(T& field, const T& value);

  QImage FBmpBuffer;
  QColor FBGColor{0xC0, 0xC0, 0xC0};
  QColor FBorderColor{0x00, 0x00, 0x00};
  QColor FLedOnColor{0x00, 0xFF, 0x00};
  QColor FLedOffColor{0x00, 0x80, 0x00};
  TBorderType FBorder = btRaised;
  int FBorderMargin = 3;
  bool FLedOn = false;
  bool FPressed = false;
  QString FLitMeaning;
  TAccessibleAnnouncer* FAnnouncer;
};
