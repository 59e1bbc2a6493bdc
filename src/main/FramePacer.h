#pragma once
// Paints a window at most once per screen frame.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Installed on a top-level window, it holds the window's update requests that
// come less than a frame after its last painting and lets one through at the
// end of that frame: every change of every control still shows, within a
// frame, but a window that changes hundreds of times a second (counters, log,
// scroll bar under heavy traffic) is painted and sent to the display at most
// once per frame. Immediate repaints (QWidget::repaint) are held the same way.
// While the window paints without pause (one painting every frame for a
// while, as under a flood of MIDI input), it paints every other frame: the
// display still moves at half the screen's rate, for half the cost; the first
// pause brings back the full rate.
// User-interface thread only; owned by the window (Qt parent).
class TFramePacer : public QObject {
  Q_OBJECT

 public:
  explicit TFramePacer(QWidget* window);

  bool eventFilter(QObject* watched, QEvent* event) override;

  // The time between two paintings now, in milliseconds.
  int IntervalMs() const;

 private:
  void ReleaseHeldRequest();
  int FrameMs() const;

  QWidget* FWindow;
  QElapsedTimer FSincePaint;
  int FBusyPaintings = 0;  // paintings in a row that came as soon as allowed, give or take a frame
  QTimer FHeld;            // runs while an update request is held
};
