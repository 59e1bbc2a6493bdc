#pragma once
// Carries "the devices may have changed" from any thread to the
// user-interface thread, for back ends whose notices come on threads of their
// own (JACK's).
//
// Threads: made, watched (Watch) and destroyed on the user-interface thread,
// whose event loop runs the watcher. Post may be called from any thread; it
// never waits for the user-interface thread and takes no lock of this
// object's: while a notice is waiting it costs one atomic exchange, otherwise
// it posts one Qt event. Posts that come before the watcher runs are folded
// into one call. Events still queued when the object is destroyed are dropped
// with it; a thread that may still post must have stopped before.

#include <QObject>

#include <atomic>
#include <functional>

class ChangeNotice final : public QObject {
 public:
  ChangeNotice() = default;

  // From now on the watcher runs for the notices; an empty one ignores them.
  void Watch(std::function<void()> watcher) { watcher_ = std::move(watcher); }
  void Post() noexcept;

 protected:
  bool event(QEvent* e) override;

 private:
  std::function<void()> watcher_;
  std::atomic<bool> waiting_{false};
};
