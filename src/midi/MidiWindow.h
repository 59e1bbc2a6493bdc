#pragma once
// The hidden message window of a port: a receiver on the user-interface thread
// to which the driver callback posts numbered notices.

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>

// The window procedure: (message, wParam, lParam) -> answer.
using TMidiWindowProc = std::function<intptr_t(uint32_t msg, uintptr_t wParam, uintptr_t lParam)>;

// Lives on the thread that creates it (the user-interface thread), which runs
// its procedure for each posted notice, one at a time and in posting order,
// from the event loop. Post may be called from any thread and never waits for
// the user-interface thread. Notices still queued when the window is destroyed
// are dropped; call DeliverPending first when they hold resources.
class TMidiWindow : public QObject {
  Q_OBJECT

 public:
  // The owner (QObject parent) destroys the window with itself.
  TMidiWindow(TMidiWindowProc procedure, QObject* owner);
  ~TMidiWindow() override;

  // Any thread: queues the notice for the window's thread.
  void Post(uint32_t msg, uintptr_t wParam, uintptr_t lParam);
  // Window's thread: runs the procedure at once and returns its answer.
  intptr_t Send(uint32_t msg, uintptr_t wParam, uintptr_t lParam);
  // Window's thread: runs the procedure for every notice still queued.
  void DeliverPending();

 protected:
  bool event(QEvent* e) override;

 private:
  TMidiWindowProc procedure_;
  // Released after each notice is made, acquired before one is read: Qt's own
  // queue is invisible to ThreadSanitizer, this hand-over is not.
  std::atomic<uint64_t> posted_{0};
};
