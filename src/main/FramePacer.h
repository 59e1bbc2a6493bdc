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
// User-interface thread only; owned by the window (Qt parent).
class TFramePacer : public QObject {
  Q_OBJECT

 public:
  explicit TFramePacer(QWidget* window);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ReleaseHeldRequest();
  int FrameMs() const;

  QWidget* FWindow;
  QElapsedTimer FSincePaint;
  QTimer FHeld;  // runs while an update request is held
};
