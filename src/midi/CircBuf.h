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

// One received message.
struct TMidiBufferItem {
  uint32_t timestamp = 0;    // milliseconds since the input was started
  uint32_t data = 0;         // status + 256 * data1 + 65536 * data2; 0 for sysex
  MIDIHDR* sysex = nullptr;  // the returned header of a system-exclusive item
};

constexpr size_t kCacheLine = 64;

// Ring of received messages, living in a shareable block, its slots in another.
// One writer (the driver thread: PutBufferItem) and one reader (the
// user-interface thread: PeekBufferItem, RemoveBufferItem); nothing is locked.
// EventCount is the one value both sides change: the writer publishes a fully
// written item by increasing it (release), the reader sees items through it
// (acquire) and hands a slot back by decreasing it. Each side keeps its own
// pointer, and a copy of the count as last seen, on a cache line of its own.
struct TCircularBuffer {
  uint32_t RecordHandle = 0;
  uint32_t BufferHandle = 0;
  TMidiBufferItem* pStart = nullptr;
  TMidiBufferItem* pEnd = nullptr;
  uint16_t Error = 0;
  uint16_t Capacity = 0;

  // Writer side.
  alignas(kCacheLine) TMidiBufferItem* pNextPut = nullptr;
  uint16_t writerCount = 0;  // at least the number of held items

  // Reader side.
  alignas(kCacheLine) TMidiBufferItem* pNextGet = nullptr;
  uint16_t readerCount = 0;  // at most the number of held items

  alignas(kCacheLine) std::atomic<uint16_t> EventCount{0};
  char padding[kCacheLine - sizeof(std::atomic<uint16_t>)] = {};
};

// The largest capacity whose slots fit in one shareable block.
constexpr uint16_t kMaxCircularBufferCapacity = 65535 / sizeof(TMidiBufferItem);

// A new empty buffer, or none for a capacity of 0, above
// kMaxCircularBufferCapacity, or when memory cannot be had.
TCircularBuffer* CreateCircularBuffer(uint16_t capacity);
// Releases a buffer; none is allowed. Only while no writer can run.
void FreeCircularBuffer(TCircularBuffer* buffer);
// Driver thread: stores a copy of the item; false when the buffer is full.
[[nodiscard]] bool PutBufferItem(TCircularBuffer* buffer, const TMidiBufferItem& item);
// User-interface thread: copies the oldest item; false when empty.
[[nodiscard]] bool PeekBufferItem(TCircularBuffer* buffer, TMidiBufferItem& item);
// User-interface thread: drops the oldest item; false when empty.
bool RemoveBufferItem(TCircularBuffer* buffer);
