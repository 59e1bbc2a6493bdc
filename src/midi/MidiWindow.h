#pragma once
// The hidden message window of a port: a receiver on the user-interface thread
// to which the driver callback posts numbered notices.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

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
// (new input, lost input), and is what a real-time thread may call: it
// neither allocates nor locks. A notice of that number is raised only when
// none is waiting: the first message after the window has looked costs an
// atomic exchange and one write to the window's eventfd, which a
// QSocketNotifier reads on the window's thread; every other message costs the
// exchange alone. Neither ever waits for the user-interface thread. Notices
// posted once run when the window's thread next looks at its eventfd, in the
// order of their numbers given to the constructor, not necessarily in
// posting order with the other notices. A notice posted once may also be held (SetHold):
// after a run of the procedure that found much to do, the mark stays set for
// a while, so that nobody posts, and the window runs the procedure again
// itself when the time is up; under heavy traffic the procedure then runs at
// that pace instead of once per burst of the poster.
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
  // Window's thread: holds the notice `msg` (one given to the constructor)
  // for `ms` milliseconds after every run of the procedure that answered it
  // with a non-zero value; 0 (the default) never holds it.
  void SetHold(uint32_t msg, int ms);
  // Window's thread: runs the procedure at once and returns its answer.
  intptr_t Send(uint32_t msg, uintptr_t wParam, uintptr_t lParam);
  // Window's thread: runs the procedure for every notice still waiting, those
  // posted once first.
  void DeliverPending();

 protected:
  bool event(QEvent* e) override;

 private:
  static constexpr size_t kMaxPostedOnce = 4;
  // The slot of a number given to the constructor, or -1.
  int OnceSlot(uint32_t msg) const;
  // Clears the slot's mark and runs the procedure; holds the notice after it
  // when the procedure found much to do.
  void RunOnce(int slot);
  // Runs the notices that PostOnce raised since the last look.
  void RunFired();

  TMidiWindowProc procedure_;
  std::array<uint32_t, kMaxPostedOnce> onceNumbers_{};
  size_t onceCount_ = 0;
  // Set while a notice of the number is queued (PostOnce) or held, cleared
  // just before the procedure runs for it.
  std::array<std::atomic<bool>, kMaxPostedOnce> waiting_{};
  std::array<int, kMaxPostedOnce> holdMs_{};
  std::array<QTimer, kMaxPostedOnce> holds_;  // running while the notice is held
  // Raised by PostOnce with a write to wake_, lowered when the notice runs.
  std::array<std::atomic<bool>, kMaxPostedOnce> fired_{};
  int wake_ = -1;  // eventfd
  std::unique_ptr<QSocketNotifier> wakeNotifier_;
  // Released after each notice is made, acquired before one is read: Qt's own
  // queue is invisible to ThreadSanitizer, this hand-over is not.
  std::atomic<uint64_t> posted_{0};
};
