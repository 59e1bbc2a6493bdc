#include "FramePacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>

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

bool TFramePacer::eventFilter(QObject* watched, QEvent* event) {
  if (watched != FWindow || event->type() != QEvent::UpdateRequest) return false;
  if (FHeld.isActive()) return true;  // one is held already and goes at the frame's end
  const qint64 since = FSincePaint.isValid() ? FSincePaint.elapsed() : FrameMs();
  if (since < FrameMs()) {
    FHeld.start(static_cast<int>(FrameMs() - since));
    return true;
  }
  FSincePaint.start();
  return false;
}

void TFramePacer::ReleaseHeldRequest() {
  // The window's painting system still counts the held request as pending
  // and posts no other: this one paints everything marked since.
  QEvent request(QEvent::UpdateRequest);
  QCoreApplication::sendEvent(FWindow, &request);
}
