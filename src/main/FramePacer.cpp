#include "FramePacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

// Paintings in a row, each at most a frame later than the interval allowed,
// after which the window counts as painting without pause (about an eighth
// of a second).
constexpr int kBusyPaintings = 8;

}  // namespace

TFramePacer::TFramePacer(QWidget* window) : QObject(window), FWindow(window) {
  FHeld.setSingleShot(true);
  FHeld.setTimerType(Qt::PreciseTimer);
  connect(&FHeld, &QTimer::timeout, this, &TFramePacer::ReleaseHeldRequest);
  window->installEventFilter(this);
}

int TFramePacer::FrameMs() const {
  const QScreen* screen = FWindow->screen();
  const qreal rate = screen != nullptr && screen->refreshRate() > 0 ? screen->refreshRate() : 60;
  return std::clamp(static_cast<int>(1000 / rate), 4, 40);
}

int TFramePacer::IntervalMs() const { return FBusyPaintings >= kBusyPaintings ? 2 * FrameMs() : FrameMs(); }

bool TFramePacer::eventFilter(QObject* watched, QEvent* event) {
  if (watched != FWindow || event->type() != QEvent::UpdateRequest) return false;
  if (FHeld.isActive()) return true;  // one is held already and goes at the frame's end
  const qint64 since = FSincePaint.isValid() ? FSincePaint.elapsed() : 2 * FrameMs();
  if (since < IntervalMs()) {
    FHeld.start(static_cast<int>(IntervalMs() - since));
    return true;
  }
  FBusyPaintings = since <= IntervalMs() + FrameMs() ? FBusyPaintings + 1 : 0;
  FSincePaint.start();
  return false;
}

void TFramePacer::ReleaseHeldRequest() {
  // The window's painting system still counts the held request as pending
  // and posts no other: this one paints everything marked since.
  QEvent request(QEvent::UpdateRequest);
  QCoreApplication::sendEvent(FWindow, &request);
}
