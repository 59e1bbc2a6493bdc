#pragma once
// Tells assistive technology that a widget's state or value changed, at a pace
// a listener can follow.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QWidget;

// A widget calls Painted() from its paint event, so a change is looked at
// no more often than the window is painted (at most once per frame, see
// TFramePacer). The announcer compares the widget's state text with the last
// one it announced and sends the widget's announcement when it differs, at
// most once per MinIntervalMs: a change that comes sooner is announced when
// the interval has passed, with the state the widget has by then. A flood of
// changes therefore makes a few announcements a second, the last one always
// with the final state. Nothing is sent while no assistive technology
// listens (QAccessible::isActive), but the state is still followed.
// User-interface thread only; owned by its widget (Qt parent).
class TAccessibleAnnouncer : public QObject {
  Q_OBJECT

 public:
  static constexpr int MinIntervalMs = 250;

  // `state` gives the text that identifies what the widget shows now;
  // `announce` sends the widget's accessibility events for it.
  TAccessibleAnnouncer(QWidget* widget, std::function<QString()> state, std::function<void()> announce);

  void Painted();
  // Whether a change waits for the interval to pass.
  bool Holding() const { return FLater->isActive(); }
  // Milliseconds since an arbitrary start; tests replace it.
  std::function<qint64()> NowMs;
  // Whether assistive technology listens (QAccessible::isActive); tests replace it.
  std::function<bool()> Listening;

 private:
  void Check();

  std::function<QString()> FState;
  std::function<void()> FAnnounce;
  QString FAnnounced;
  qint64 FLastAt = 0;
  bool FAnnouncedOnce = false;
  QTimer* FLater;  // child
};
