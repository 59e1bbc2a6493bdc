#pragma once
// The hidden message window of a port: a receiver on the user-interface thread
// to which the driver callback posts numbered notices.

#include <QObject>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>

// The window procedure: (message, wParam, lParam) -> answer.
using TMidiWindowProc = std::function<intptr_t(uint32_t msg, uintptr_t wParam, uintptr_t lParam)>;

// Lives on the thread that creates it (the user-interface thread), which runs
// its procedure for each posted notice, one at a time and in posting order,
// from the event loop. Notices still queued when the window is destroyed are
// dropped; call DeliverPending first when they hold resources.
//
// Posting from another thread: Post queues one notice per call, which costs a
// Qt event (allocated) and Qt's event-queue mutex (held for a list append,
// never across a handler). PostOnce is for notices that mean "look again"
// (new input, lost input): a notice of that number is posted only when none
// is waiting, so a driver thread that calls it for every message allocates
// and locks only for the first message after the window has looked; for every
// other message it costs one atomic exchange. Neither ever waits for the
// user-interface thread.
class TMidiWindow : public QObject {
  Q_OBJECT

 public:
  // The owner (QObject parent) destroys the window with itself. `postedOnce`:
  // the notice numbers (at most four) that PostOnce may be called with.
  TMidiWindow(TMidiWindowProc procedure, QObject* owner,
              std::initializer_list<uint32_t> postedOnce = {});
  ~TMidiWindow() override;

  // Any thread: queues the notice for the window's thread.
  void Post(uint32_t msg, uintptr_t wParam, uintptr_t lParam);
  // Any thread: makes sure that a notice `msg` (parameters 0) is waiting. The
  // window clears the notice's mark just before it runs the procedure for it,
  // so whatever a thread published before calling PostOnce is seen by that
  // run or by the run of a notice posted afterwards: none is missed.
  void PostOnce(uint32_t msg);
  // Window's thread: runs the procedure at once and returns its answer.
  intptr_t Send(uint32_t msg, uintptr_t wParam, uintptr_t lParam);
  // Window's thread: runs the procedure for every notice still queued.
  void DeliverPending();

 protected:
  bool event(QEvent* e) override;

 private:
  static constexpr size_t kMaxPostedOnce = 4;
  // The mark of a number given to the constructor, or none.
  std::atomic<bool>* WaitingMark(uint32_t msg);

  TMidiWindowProc procedure_;
  std::array<uint32_t, kMaxPostedOnce> onceNumbers_{};
  size_t onceCount_ = 0;
  // Set while a notice of the number is queued (PostOnce), cleared when it runs.
  std::array<std::atomic<bool>, kMaxPostedOnce> waiting_{};
  // Released after each notice is made, acquired before one is read: Qt's own
  // queue is invisible to ThreadSanitizer, this hand-over is not.
  std::atomic<uint64_t> posted_{0};
};
