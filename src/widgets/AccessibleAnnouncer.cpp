#include "AccessibleAnnouncer.h"

#include <QAccessible>
#include <QWidget>

#include <memory>

TAccessibleAnnouncer::TAccessibleAnnouncer(QWidget* widget, std::function<QString()> state,
                                           std::function<void()> announce)
    : QObject(widget),
      FState(std::move(state)),
      FAnnounce(std::move(announce)),
      FAnnounced(FState()),
      FLater(new QTimer(this)) {
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  NowMs = [clock] { return clock->elapsed(); };
  Listening = [] { return QAccessible::isActive(); };
  FLater->setSingleShot(true);
  connect(FLater, &QTimer::timeout, this, &TAccessibleAnnouncer::Check);
}

void TAccessibleAnnouncer::Painted() {
  if (!FLater->isActive()) Check();
}

void TAccessibleAnnouncer::Check() {
  const QString state = FState();
  if (state == FAnnounced) return;
  const qint64 now = NowMs();
  const qint64 since = now - FLastAt;
  if (FAnnouncedOnce && since < MinIntervalMs) {
    FLater->start(static_cast<int>(MinIntervalMs - since));
    return;
  }
  FAnnounced = state;
  FLastAt = now;
  FAnnouncedOnce = true;
  if (Listening()) FAnnounce();
}
