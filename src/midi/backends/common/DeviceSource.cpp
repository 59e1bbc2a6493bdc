#include "DeviceSource.h"

#include "HeaderFlags.h"

void LongMessageDone::operator()(MIDIHDR* hdr) const noexcept {
  MarkHeaderDone(*hdr);
  if (callback == nullptr) return;
  try {
    callback(handle, MOM_DONE, instance, reinterpret_cast<uintptr_t>(hdr), 0);
  } catch (...) {
    // A callback must not throw; the sender's thread goes on regardless.
  }
}
