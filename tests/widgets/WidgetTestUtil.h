#pragma once

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// Shows a top-level widget and waits until the platform exposes it, so that
// repaint() paints synchronously.
inline void ShowExposed(QWidget& w) {
  w.show();
  for (int i = 0; i < 100 && !(w.windowHandle() && w.windowHandle()->isExposed()); ++i)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  QApplication::processEvents();
}
