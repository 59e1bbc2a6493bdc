#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>

// A text box whose lines enter from the bottom edge and move up one pixel per
// tick of its timer (every 100 ms), over and over: once the last line has left
// at the top, the text enters from the bottom again. Lines are left-aligned and
// never wrapped. Lives on the user-interface thread; owned by its Qt parent,
// it owns its timer.
class TScrollText : public QWidget {
  Q_OBJECT

public:
  static constexpr int TickMs = 100;

  explicit TScrollText(QWidget* parent = nullptr);

  void SetLines(const QStringList& lines);
  const QStringList& Lines() const { return FLines; }

  void Start();
  void Stop();
  bool Active() const { return FTimer.isActive(); }
  const QTimer& Timer() const { return FTimer; }

  // Top of the first line, in the box's coordinates: the box's height when
  // the text is about to enter, negative once it has moved past the top.
  int TextTop() const { return height() - FOffset; }

public slots:
  // Moves the text up one pixel, or back below the bottom edge once it has
  // scrolled out entirely.
  void Tick();

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  int TextHeight() const;

  QStringList FLines;
  QTimer FTimer;
  int FOffset = 0;
};
