// The main window's frame pacer: a window whose controls change far more
// often than the screen refreshes is painted about once per frame (every
// other frame while that goes on), and its last change always shows.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

#include "FramePacer.h"

namespace {

// Counts its paintings and remembers the value it last painted.
class TPaintCounter : public QWidget {
 public:
  using QWidget::QWidget;
  int value = 0;
  int paintedValue = -1;
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter(this).fillRect(rect(), Qt::white);
    paintedValue = value;
    ++paints;
  }
};

// Processes events until `done` holds or a generous time has passed.
template <typename Done>
bool ProcessUntil(Done done) {
  QElapsedTimer watch;
  watch.start();
  while (!done() && watch.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

TEST(FramePacer, RepaintsWithinAFrameBecomeOnePaintingAndTheLastValueShows) {
  QWidget window;
  window.resize(100, 100);
  auto* counter = new TPaintCounter(&window);
  counter->resize(50, 50);
  new TFramePacer(&window);
  window.show();
  ASSERT_TRUE(ProcessUntil([&] { return counter->paints > 0; }));

  for (bool immediate : {true, false}) {
    SCOPED_TRACE(immediate ? "repaint" : "update");
    const int before = counter->paints;
    QElapsedTimer watch;
    watch.start();
    for (int i = 1; i <= 200; ++i) {
      counter->value = i;
      if (immediate) {
        counter->repaint();
      } else {
        counter->update();
        QCoreApplication::processEvents();
      }
    }
    const qint64 elapsed = watch.elapsed();
    // At most one painting per frame of 4 ms or more, plus the one the loop
    // may start with.
    EXPECT_LE(counter->paints - before, 2 + elapsed / 4) << elapsed << " ms";
    EXPECT_TRUE(ProcessUntil([&] { return counter->paintedValue == 200; }));
    counter->value = 0;
    ASSERT_TRUE(ProcessUntil([&] { counter->update(); return counter->paintedValue == 0; }));
  }
}

TEST(FramePacer, PaintingWithoutPauseHalvesTheRateAndAPauseRestoresIt) {
  QWidget window;
  window.resize(100, 100);
  auto* counter = new TPaintCounter(&window);
  auto* pacer = new TFramePacer(&window);
  window.show();
  ASSERT_TRUE(ProcessUntil([&] { return counter->paints > 0; }));
  const int frame = pacer->IntervalMs();

  // A change every few milliseconds: after about an eighth of a second of
  // paintings in a row the rate halves. A busy machine may delay a painting
  // and start the count again, so the changes go on until it shows, for a
  // generous time.
  QElapsedTimer watch;
  watch.start();
  while (pacer->IntervalMs() != 2 * frame && watch.elapsed() < 5000) {
    ++counter->value;
    counter->update();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
  }
  EXPECT_EQ(pacer->IntervalMs(), 2 * frame);

  QElapsedTimer pause;
  pause.start();
  while (pause.elapsed() < 10 * frame) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  ++counter->value;
  counter->update();
  ASSERT_TRUE(ProcessUntil([&] { return counter->paintedValue == counter->value; }));
  EXPECT_EQ(pacer->IntervalMs(), frame);
}

}  // namespace
