#pragma once
// Runs a scope with the rights of another user: root may create files in any
// folder, so a test that needs a folder refusing new files acts, as root, as
// an ordinary user. One thread at a time; seteuid applies to the whole process.

#include <sys/types.h>
#include <unistd.h>

// The user id that such tests act as ("nobody" on Debian).
constexpr uid_t kOrdinaryUserId = 65534;

// Takes the effective user id `uid` for its lifetime when the process runs as
// root, then gives root's back; otherwise does nothing.
class TEffectiveUser {
 public:
  explicit TEffectiveUser(uid_t uid) : FSwitched(geteuid() == 0 && uid != 0 && seteuid(uid) == 0) {}
  ~TEffectiveUser() {
    if (FSwitched) (void)seteuid(0);
  }
  TEffectiveUser(const TEffectiveUser&) = delete;
  TEffectiveUser& operator=(const TEffectiveUser&) = delete;
  bool Switched() const { return FSwitched; }

 private:
  const bool FSwitched;
};
