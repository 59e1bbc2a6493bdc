#pragma once
// The messages of one output port on their way from the user-interface thread
// to the process callback of the program's JACK client, each with the frame
// at which it is to leave: a single-producer, single-consumer ring of
// records, so that neither side ever waits for the other.
//
// Threads: Push on the user-interface thread only; Drain on JACK's process
// thread only. Neither locks nor allocates after construction.

#include <boost/lockfree/spsc_queue.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>

class JackOutputQueue {
 public:
  // Room for `capacityBytes` of messages (each also takes a few bytes of
  // bookkeeping); none longer than `mostMessageBytes`.
  JackOutputQueue(size_t capacityBytes, size_t mostMessageBytes)
      : ring_(capacityBytes + kRecordHeader),
        most_(mostMessageBytes),
        record_(std::make_unique<uint8_t[]>(kRecordHeader + mostMessageBytes)),
        pending_(std::make_unique<uint8_t[]>(mostMessageBytes)) {}

  size_t MostMessageBytes() const { return most_; }

  // Queues the message to leave at the frame, or in the next cycle when it
  // has none; false when there is no room for it now (the process callback
  // makes room each cycle).
  bool Push(std::optional<uint32_t> frame, std::span<const uint8_t> bytes);

  // Writes what is due in one cycle, which begins at frame `first` and lasts
  // `frames`: write(offset, bytes) for each message in order, at the offset
  // of its frame, or at the earliest offset still allowed when it is late
  // (its frame has passed: it then counts in Late). Stops at the first
  // message due after the cycle, and at one that `write` refuses (no room
  // left in the cycle's buffer): it waits for the next cycle.
  template <typename Write>
  void Drain(uint32_t first, uint32_t frames, Write write) noexcept;

  // Messages that left later than their frame.
  uint64_t Late() const { return late_.load(std::memory_order_relaxed); }

 private:
  static constexpr size_t kRecordHeader = 2 * sizeof(uint32_t);  // frame, length
  static constexpr uint32_t kNoFrame = 0x8000'0000;  // a flag of the length

  bool TakeNext() noexcept;

  boost::lockfree::spsc_queue<uint8_t> ring_;
  const size_t most_;
  std::unique_ptr<uint8_t[]> record_;  // the user-interface thread's: one record being made
  // The process thread's: the message taken from the ring and not yet written.
  std::unique_ptr<uint8_t[]> pending_;
  uint32_t pendingFrame_ = 0;
  uint32_t pendingLength_ = 0;
  bool pendingHasFrame_ = false;
  bool hasPending_ = false;
  std::atomic<uint64_t> late_{0};
};

inline bool JackOutputQueue::Push(std::optional<uint32_t> at, std::span<const uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > most_) return false;
  if (ring_.write_available() < kRecordHeader + bytes.size()) return false;
  const uint32_t frame = at.value_or(0);
  const auto length = static_cast<uint32_t>(bytes.size()) | (at ? 0 : kNoFrame);
  std::memcpy(record_.get(), &frame, sizeof frame);
  std::memcpy(record_.get() + sizeof frame, &length, sizeof length);
  std::memcpy(record_.get() + kRecordHeader, bytes.data(), bytes.size());
  // One push publishes the whole record at once: the reader never sees a
  // header without its bytes.
  ring_.push(record_.get(), kRecordHeader + bytes.size());
  return true;
}

inline bool JackOutputQueue::TakeNext() noexcept {
  if (ring_.read_available() < kRecordHeader) return false;
  uint8_t header[kRecordHeader];
  ring_.pop(header, kRecordHeader);
  std::memcpy(&pendingFrame_, header, sizeof pendingFrame_);
  std::memcpy(&pendingLength_, header + sizeof pendingFrame_, sizeof pendingLength_);
  pendingHasFrame_ = (pendingLength_ & kNoFrame) == 0;
  pendingLength_ &= ~kNoFrame;
  ring_.pop(pending_.get(), pendingLength_);
  hasPending_ = true;
  return true;
}

template <typename Write>
void JackOutputQueue::Drain(uint32_t first, uint32_t frames, Write write) noexcept {
  uint32_t earliest = 0;  // events of one cycle go out in order of their offsets
  for (;;) {
    if (!hasPending_ && !TakeNext()) return;
    // Frames count on and wrap around: the difference tells before or after.
    const auto due = pendingHasFrame_ ? static_cast<int32_t>(pendingFrame_ - first)
                                      : static_cast<int32_t>(earliest);
    if (due >= static_cast<int32_t>(frames)) return;
    const bool late = due < static_cast<int32_t>(earliest);
    const uint32_t offset = late ? earliest : static_cast<uint32_t>(due);
    if (!write(offset, std::span<const uint8_t>(pending_.get(), pendingLength_))) return;
    if (late) late_.fetch_add(1, std::memory_order_relaxed);
    hasPending_ = false;
    earliest = offset;
  }
}
