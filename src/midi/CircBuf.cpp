#include "CircBuf.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

constexpr std::align_val_t kBlockAlignment{kCacheLine};

struct BlockTable {
  std::mutex mutex;
  std::unordered_map<uint32_t, void*> blocks;
  uint32_t lastHandle = 0;
  int failAfter = -1;  // allocations left before failing; negative: never fail
};

BlockTable& Table() {
  static BlockTable table;
  return table;
}

}  // namespace

void* AllocSharedBlock(uint16_t size, uint32_t& handle) {
  handle = 0;
  if (size == 0) return nullptr;
  BlockTable& table = Table();
  std::lock_guard lock(table.mutex);
  if (table.failAfter == 0) return nullptr;
  void* block = ::operator new(size, kBlockAlignment, std::nothrow);
  if (block == nullptr) return nullptr;
  std::memset(block, 0, size);
  do {
    ++table.lastHandle;
  } while (table.lastHandle == 0 || table.blocks.count(table.lastHandle) != 0);
  table.blocks.emplace(table.lastHandle, block);
  if (table.failAfter > 0) --table.failAfter;
  handle = table.lastHandle;
  return block;
}

void FreeSharedBlock(uint32_t handle) {
  if (handle == 0) return;
  BlockTable& table = Table();
  void* block = nullptr;
  {
    std::lock_guard lock(table.mutex);
    auto it = table.blocks.find(handle);
    if (it == table.blocks.end()) return;
    block = it->second;
    table.blocks.erase(it);
  }
  ::operator delete(block, kBlockAlignment);
}

size_t SharedBlockCount() {
  BlockTable& table = Table();
  std::lock_guard lock(table.mutex);
  return table.blocks.size();
}

void SetSharedBlockFailAfter(int successes) {
  BlockTable& table = Table();
  std::lock_guard lock(table.mutex);
  table.failAfter = successes;
}

static_assert(kMaxCircularBufferCapacity * sizeof(TMidiBufferSlot) <= 65535);
// The record's block: the record, then the receive times of the slots.
static_assert(sizeof(TCircularBuffer) % alignof(uint64_t) == 0);
static_assert(sizeof(TCircularBuffer) + kMaxCircularBufferCapacity * sizeof(uint64_t) <= 65535);

TCircularBuffer* CreateCircularBuffer(uint16_t capacity) {
  if (capacity == 0 || capacity > kMaxCircularBufferCapacity) return nullptr;
  uint32_t recordHandle = 0;
  auto* record = static_cast<uint8_t*>(AllocSharedBlock(
      static_cast<uint16_t>(sizeof(TCircularBuffer) + capacity * sizeof(uint64_t)), recordHandle));
  if (record == nullptr) return nullptr;
  uint32_t slotsHandle = 0;
  void* slots = AllocSharedBlock(static_cast<uint16_t>(capacity * sizeof(TMidiBufferSlot)),
                                 slotsHandle);
  if (slots == nullptr) {
    FreeSharedBlock(recordHandle);
    return nullptr;
  }
  auto* buffer = new (record) TCircularBuffer;
  auto* first = static_cast<TMidiBufferSlot*>(slots);
  std::uninitialized_default_construct_n(first, capacity);
  auto* times = reinterpret_cast<uint64_t*>(record + sizeof(TCircularBuffer));
  std::uninitialized_value_construct_n(times, capacity);
  buffer->RecordHandle = recordHandle;
  buffer->BufferHandle = slotsHandle;
  buffer->pStart = first;
  buffer->pEnd = first + capacity;
  buffer->pTimes = times;
  buffer->pNextPut = first;
  buffer->pNextGet = first;
  buffer->Capacity = capacity;
  return buffer;
}

void FreeCircularBuffer(TCircularBuffer* buffer) {
  if (buffer == nullptr) return;
  const uint32_t recordHandle = buffer->RecordHandle;
  FreeSharedBlock(buffer->BufferHandle);
  buffer->~TCircularBuffer();
  FreeSharedBlock(recordHandle);
}
