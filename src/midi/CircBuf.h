#pragma once
// Shareable memory blocks handed to the MIDI services, and the ring buffer of
// received messages between the driver's thread and the user-interface thread.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "MidiServices.h"

// Shareable blocks: zero-filled, aligned for any type (and to a cache line),
// found again by a handle. Size is 1 to 65535 bytes; none (handle 0) when the
// block cannot be had. Callable from any thread (not from the driver callback).
void* AllocSharedBlock(uint16_t size, uint32_t& handle);
// Releases a block by its handle; does nothing for handle 0 or an unknown handle.
void FreeSharedBlock(uint32_t handle);
// Number of blocks currently allocated.
size_t SharedBlockCount();

// Test hook: the next `successes` allocations succeed and every one after them
// fails, until the hook is reset with a negative value (the default).
void SetSharedBlockFailAfter(int successes);

// Sets the hook for its own lifetime.
class ScopedSharedBlockFailure {
 public:
  explicit ScopedSharedBlockFailure(int successes) { SetSharedBlockFailAfter(successes); }
  ~ScopedSharedBlockFailure() { SetSharedBlockFailAfter(-1); }
  ScopedSharedBlockFailure(const ScopedSharedBlockFailure&) = delete;
  ScopedSharedBlockFailure& operator=(const ScopedSharedBlockFailure&) = delete;
};

// One received message, as it goes into the ring and comes out of it.
struct TMidiBufferItem {
  uint32_t timestamp = 0;    // milliseconds since the input was started (the driver's)
  uint32_t data = 0;         // status + 256 * data1 + 65536 * data2; for sysex, kSysexAfterLoss or 0
  MIDIHDR* sysex = nullptr;  // the returned header of a system-exclusive item
  uint64_t timeUs = 0;       // when the callback received it: steady clock, microseconds
};

// The data of a sysex item that comes after items the full ring could not
// take: a long message it continues may have lost a piece.
constexpr uint32_t kSysexAfterLoss = 1;

// How the ring keeps an item: the first three fields in a slot of 16 bytes,
// the receive time in a parallel array of times. A slot block must fit in one
// shareable block (65535 bytes): with 16-byte slots it takes 4095 items,
// enough for 0.4 s of traffic at 10 000 messages per second, while one
// 24-byte slot per item would hold only 2730. The times live in the record's
// block, after the record itself.
struct TMidiBufferSlot {
  uint32_t timestamp = 0;
  uint32_t data = 0;
  MIDIHDR* sysex = nullptr;
};
static_assert(sizeof(TMidiBufferSlot) == 16);

constexpr size_t kCacheLine = 64;

// Ring of received messages, living in a shareable block, its slots in another.
// One writer (the driver thread: PutBufferItem) and one reader (the
// user-interface thread: PeekBufferItem, RemoveBufferItem); nothing is locked,
// nothing is allocated and neither side ever waits for the other, so the
// writer may be a real-time thread.
// Each side counts what it has done in a counter that only it changes: the
// writer publishes a fully written item by raising PutCount (release), the
// reader sees items through it (acquire) and hands a slot back by raising
// GetCount (release) once it has read the slot. The number of items held,
// EventCount(), is their difference. Each side keeps its counter, its pointer
// and a copy of the other side's counter as last seen on a cache line of its
// own (the record's size is a whole number of lines), so that neither touches
// the other's line while the ring is neither full nor empty. (One count
// changed by both sides with atomic increments and decrements cost about
// three times the throughput.)
struct TCircularBuffer {
  uint32_t RecordHandle = 0;
  uint32_t BufferHandle = 0;
  TMidiBufferSlot* pStart = nullptr;
  TMidiBufferSlot* pEnd = nullptr;
  uint64_t* pTimes = nullptr;  // receive time of the slot of the same index
  uint16_t Error = 0;
  uint16_t Capacity = 0;

  // Writer side.
  alignas(kCacheLine) std::atomic<uint32_t> PutCount{0};  // items stored, wrapping
  TMidiBufferSlot* pNextPut = nullptr;
  uint32_t writerSeenGets = 0;

  // Reader side.
  alignas(kCacheLine) std::atomic<uint32_t> GetCount{0};  // items removed, wrapping
  TMidiBufferSlot* pNextGet = nullptr;
  uint32_t readerSeenPuts = 0;

  // Number of items held, 0 to Capacity: a snapshot, as the other side may
  // change it at any moment.
  uint16_t EventCount() const {
    const uint32_t gets = GetCount.load(std::memory_order_acquire);
    const uint32_t puts = PutCount.load(std::memory_order_acquire);
    const uint32_t held = puts - gets;
    return static_cast<uint16_t>(held < Capacity ? held : Capacity);
  }
};

// The largest capacity whose slots fit in one shareable block.
constexpr uint16_t kMaxCircularBufferCapacity = 65535 / sizeof(TMidiBufferSlot);

// A new empty buffer, or none for a capacity of 0, above
// kMaxCircularBufferCapacity, or when memory cannot be had.
TCircularBuffer* CreateCircularBuffer(uint16_t capacity);
// Releases a buffer; none is allowed. Only while no writer can run.
void FreeCircularBuffer(TCircularBuffer* buffer);
// The three operations of the two sides are inline: they are the whole of the
// work per message, and a call with the item passed through memory costs
// several times the operation itself.

// Driver thread: stores a copy of the item; false when the buffer is full.
[[nodiscard]] inline bool PutBufferItem(TCircularBuffer* buffer, const TMidiBufferItem& item) {
  const uint32_t puts = buffer->PutCount.load(std::memory_order_relaxed);
  // The copy of GetCount only understates what the reader has freed, so it is
  // read again only when the buffer looks full.
  if (puts - buffer->writerSeenGets >= buffer->Capacity) {
    buffer->writerSeenGets = buffer->GetCount.load(std::memory_order_acquire);
    if (puts - buffer->writerSeenGets >= buffer->Capacity) return false;
  }
  TMidiBufferSlot* slot = buffer->pNextPut;
  *slot = TMidiBufferSlot{item.timestamp, item.data, item.sysex};
  buffer->pTimes[slot - buffer->pStart] = item.timeUs;
  ++slot;
  buffer->pNextPut = slot == buffer->pEnd ? buffer->pStart : slot;
  buffer->PutCount.store(puts + 1, std::memory_order_release);
  return true;
}

namespace circbuf_detail {

// Reader: true when an item is held. The copy of PutCount only understates
// what the writer has stored, so it is read again only when the buffer looks
// empty.
inline bool ReaderHoldsItem(TCircularBuffer* buffer, uint32_t gets) {
  if (buffer->readerSeenPuts != gets) return true;
  buffer->readerSeenPuts = buffer->PutCount.load(std::memory_order_acquire);
  return buffer->readerSeenPuts != gets;
}

}  // namespace circbuf_detail

// User-interface thread: copies the oldest item; false when empty.
[[nodiscard]] inline bool PeekBufferItem(TCircularBuffer* buffer, TMidiBufferItem& item) {
  const uint32_t gets = buffer->GetCount.load(std::memory_order_relaxed);
  if (!circbuf_detail::ReaderHoldsItem(buffer, gets)) return false;
  const TMidiBufferSlot& slot = *buffer->pNextGet;
  item = TMidiBufferItem{slot.timestamp, slot.data, slot.sysex,
                         buffer->pTimes[&slot - buffer->pStart]};
  return true;
}

// User-interface thread: drops the oldest item; false when empty.
inline bool RemoveBufferItem(TCircularBuffer* buffer) {
  const uint32_t gets = buffer->GetCount.load(std::memory_order_relaxed);
  if (!circbuf_detail::ReaderHoldsItem(buffer, gets)) return false;
  TMidiBufferSlot* slot = buffer->pNextGet + 1;
  buffer->pNextGet = slot == buffer->pEnd ? buffer->pStart : slot;
  buffer->GetCount.store(gets + 1, std::memory_order_release);
  return true;
}
