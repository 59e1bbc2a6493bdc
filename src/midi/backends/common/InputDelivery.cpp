#include "InputDelivery.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "DriverTime.h"
#include "HeaderFlags.h"

InputDelivery::InputDelivery(HMIDI handle, MidiCallbackProc callback, uintptr_t instance,
                             MidiClock clock)
    : handle_(handle), callback_(callback), instance_(instance), clock_(std::move(clock)) {}

MMRESULT InputDelivery::AddBuffer(MIDIHDR* hdr) {
  hdr->dwBytesRecorded = 0;
  ChangeHeaderFlags(*hdr, MHDR_INQUEUE, MHDR_DONE);
  if (queue_.Push(hdr)) return MMSYSERR_NOERROR;
  ChangeHeaderFlags(*hdr, 0, MHDR_INQUEUE);
  return MMSYSERR_NOMEM;
}

void InputDelivery::Start() {
  if (started_) return;
  started_ = true;
  parser_.Reset();
  dropping_ = false;
  if (filling_ != nullptr) filling_->dwBytesRecorded = 0;
  startTime_ = clock_();
  running_.store(true);
}

void InputDelivery::Stop() {
  started_ = false;
  running_.store(false);
  // Both sides use sequentially consistent order: either Receive sees the
  // lowered flag, or this loop sees its count and waits for it to finish.
  while (receiving_.load() != 0) std::this_thread::yield();
}

void InputDelivery::TakeBackBuffers() {
  Stop();
  if (filling_ != nullptr) {
    filling_->dwBytesRecorded = 0;
    MarkHeaderDone(*filling_);
    filling_ = nullptr;
  }
  while (MIDIHDR* hdr = queue_.Pop()) MarkHeaderDone(*hdr);
}

void InputDelivery::Receive(const uint8_t* bytes, size_t count) noexcept {
  receiving_.fetch_add(1);
  if (running_.load()) Feed(bytes, count, clock_());
  receiving_.fetch_sub(1);
}

void InputDelivery::Receive(const uint8_t* bytes, size_t count,
                            std::chrono::steady_clock::time_point arrived) noexcept {
  receiving_.fetch_add(1);
  if (running_.load()) {
    const DriverTimeScope driverTime(static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(arrived.time_since_epoch()).count()));
    Feed(bytes, count, arrived);
  }
  receiving_.fetch_sub(1);
}

void InputDelivery::Feed(const uint8_t* bytes, size_t count,
                         std::chrono::steady_clock::time_point arrived) noexcept {
  // A driver's time may lie a little before the start that the clock read.
  const auto elapsed = std::max(arrived - startTime_, std::chrono::steady_clock::duration::zero());
  now_ = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  for (size_t i = 0; i < count; ++i) parser_.Feed(bytes[i], *this);
}

void InputDelivery::Lost(uint32_t count) noexcept {
  receiving_.fetch_add(1);
  if (running_.load()) {
    if (parser_.InSysex()) OnSysexEnd(false);
    parser_.Reset();
    Notify(MIM_OVERFLOW, count, now_);
  }
  receiving_.fetch_sub(1);
}

void InputDelivery::OnShortMessage(uint32_t packed) { Notify(MIM_DATA, packed, now_); }

void InputDelivery::OnSysexByte(uint8_t byte) {
  if (dropping_) return;
  if (filling_ == nullptr) {
    filling_ = queue_.Pop();
    if (filling_ == nullptr) {
      dropping_ = true;
      return;
    }
    filling_->dwBytesRecorded = 0;
  }
  filling_->lpData[filling_->dwBytesRecorded++] = byte;
  if (filling_->dwBytesRecorded == filling_->dwBufferLength) {
    GiveBack(filling_, MIM_LONGDATA);
    filling_ = nullptr;
  }
}

void InputDelivery::OnSysexEnd(bool complete) {
  if (filling_ != nullptr) {
    GiveBack(filling_, complete ? MIM_LONGDATA : MIM_LONGERROR);
    filling_ = nullptr;
  }
  dropping_ = false;
}

void InputDelivery::GiveBack(MIDIHDR* hdr, uint32_t msg) {
  MarkHeaderDone(*hdr);
  Notify(msg, reinterpret_cast<uintptr_t>(hdr), now_);
}

void InputDelivery::Notify(uint32_t msg, uintptr_t param1, uintptr_t param2) noexcept {
  if (callback_ == nullptr) return;
  try {
    callback_(handle_, msg, instance_, param1, param2);
  } catch (...) {
    // A callback must not throw; whatever it did, the driver thread goes on.
  }
}
