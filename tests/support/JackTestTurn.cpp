#include "JackTestTurn.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace {

// An open file description locked exclusively; closing it releases the lock.
class TLockedFile {
 public:
  TLockedFile() {
    fd_ = open("/tmp/orvalis-jack-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~TLockedFile() {
    if (fd_ >= 0) close(fd_);
  }
  TLockedFile(const TLockedFile&) = delete;
  TLockedFile& operator=(const TLockedFile&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

// Threads of one test (a device flapping on a thread of its own) take the
// turn too: one at a time, or two would lock the file twice and the second
// wait for the first for good.
std::shared_ptr<const void> JackTestTurn() {
  static std::mutex taking;
  static std::weak_ptr<const void> held;
  const std::lock_guard<std::mutex> lock(taking);
  if (auto turn = held.lock()) return turn;
  auto turn = std::static_pointer_cast<const void>(std::make_shared<const TLockedFile>());
  held = turn;
  return turn;
}
