#include "CircBuf.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

struct BufferDeleter {
  void operator()(TCircularBuffer* buffer) const { FreeCircularBuffer(buffer); }
};
using BufferPtr = std::unique_ptr<TCircularBuffer, BufferDeleter>;

BufferPtr MakeBuffer(uint16_t capacity) { return BufferPtr(CreateCircularBuffer(capacity)); }

// Receive times beyond 32 bits, so that a time cut short would show.
uint64_t TimeOf(uint32_t n) { return 0x1'0000'0000ull * (n + 1) + n; }

TMidiBufferItem Item(uint32_t n) { return TMidiBufferItem{n, n * 3, nullptr, TimeOf(n)}; }

}  // namespace

TEST(SharedBlock, IsZeroFilledAlignedAndFoundAgainByItsHandle) {
  const size_t before = SharedBlockCount();
  uint32_t handle = 0;
  auto* block = static_cast<uint8_t*>(AllocSharedBlock(65535, handle));
  ASSERT_NE(block, nullptr);
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % kCacheLine, 0u);
  for (size_t i = 0; i < 65535; ++i) ASSERT_EQ(block[i], 0) << i;
  EXPECT_EQ(SharedBlockCount(), before + 1);
  FreeSharedBlock(handle);
  EXPECT_EQ(SharedBlockCount(), before);
}

TEST(SharedBlock, SizeZeroGivesNoneAndHandleZeroFreesNothing) {
  uint32_t handle = 99;
  EXPECT_EQ(AllocSharedBlock(0, handle), nullptr);
  EXPECT_EQ(handle, 0u);
  const size_t before = SharedBlockCount();
  FreeSharedBlock(0);
  FreeSharedBlock(0xDEADBEEF);
  EXPECT_EQ(SharedBlockCount(), before);
}

TEST(SharedBlock, TestHookFailsAllocationsAfterTheGivenNumber) {
  ScopedSharedBlockFailure failing(1);
  uint32_t first = 0;
  uint32_t second = 7;
  void* a = AllocSharedBlock(16, first);
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(AllocSharedBlock(16, second), nullptr);
  EXPECT_EQ(second, 0u);
  FreeSharedBlock(first);
}

TEST(CircularBuffer, HoldsUpTo4095ItemsInSixteenByteSlots) {
  EXPECT_EQ(sizeof(TMidiBufferSlot), 16u);
  EXPECT_EQ(kMaxCircularBufferCapacity, 4095);
}

TEST(CircularBuffer, RefusesCapacitiesThatDoNotFitOneBlock) {
  EXPECT_EQ(CreateCircularBuffer(0), nullptr);
  EXPECT_EQ(CreateCircularBuffer(kMaxCircularBufferCapacity + 1), nullptr);
  BufferPtr largest = MakeBuffer(kMaxCircularBufferCapacity);
  ASSERT_NE(largest, nullptr);
  EXPECT_EQ(largest->Capacity, kMaxCircularBufferCapacity);
}

TEST(CircularBuffer, AllocationFailureGivesNoneAndLeavesNoBlock) {
  const size_t before = SharedBlockCount();
  for (int successes : {0, 1}) {
    ScopedSharedBlockFailure failing(successes);
    EXPECT_EQ(CreateCircularBuffer(8), nullptr) << successes;
    EXPECT_EQ(SharedBlockCount(), before) << successes;
  }
}

TEST(CircularBuffer, NewBufferIsEmpty) {
  BufferPtr buffer = MakeBuffer(3);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->EventCount(), 0);
  EXPECT_EQ(buffer->Error, 0);
  EXPECT_EQ(buffer->pNextGet, buffer->pStart);
  EXPECT_EQ(buffer->pNextPut, buffer->pStart);
  EXPECT_EQ(buffer->pEnd, buffer->pStart + 3);
  TMidiBufferItem item = Item(42);
  EXPECT_FALSE(PeekBufferItem(buffer.get(), item));
  EXPECT_FALSE(RemoveBufferItem(buffer.get()));
  EXPECT_EQ(item.timestamp, 42u);  // untouched
  EXPECT_EQ(buffer->EventCount(), 0);
  EXPECT_EQ(buffer->pNextGet, buffer->pStart);
}

TEST(CircularBuffer, CapacityThreeFillsRefusesAFourthAndWrapsAfterARemove) {
  BufferPtr buffer = MakeBuffer(3);
  for (uint32_t n = 1; n <= 3; ++n) EXPECT_TRUE(PutBufferItem(buffer.get(), Item(n)));
  EXPECT_FALSE(PutBufferItem(buffer.get(), Item(4)));
  EXPECT_EQ(buffer->EventCount(), 3);
  EXPECT_EQ(buffer->pNextPut, buffer->pStart);
  EXPECT_EQ(buffer->pStart[0].timestamp, 1u);

  EXPECT_TRUE(RemoveBufferItem(buffer.get()));
  EXPECT_TRUE(PutBufferItem(buffer.get(), Item(5)));
  EXPECT_EQ(buffer->pStart[0].timestamp, 5u);  // landed in the first slot again
  EXPECT_FALSE(PutBufferItem(buffer.get(), Item(6)));

  for (uint32_t expected : {2u, 3u, 5u}) {
    TMidiBufferItem item;
    ASSERT_TRUE(PeekBufferItem(buffer.get(), item));
    EXPECT_EQ(item.timestamp, expected);
    EXPECT_EQ(item.data, expected * 3);
    EXPECT_EQ(item.timeUs, TimeOf(expected));
    EXPECT_TRUE(RemoveBufferItem(buffer.get()));
  }
  EXPECT_FALSE(RemoveBufferItem(buffer.get()));
}

TEST(CircularBuffer, PeekTwiceYieldsTheSameItem) {
  BufferPtr buffer = MakeBuffer(3);
  ASSERT_TRUE(PutBufferItem(buffer.get(), Item(7)));
  ASSERT_TRUE(PutBufferItem(buffer.get(), Item(8)));
  TMidiBufferItem first;
  TMidiBufferItem second;
  ASSERT_TRUE(PeekBufferItem(buffer.get(), first));
  ASSERT_TRUE(PeekBufferItem(buffer.get(), second));
  EXPECT_EQ(first.timestamp, 7u);
  EXPECT_EQ(second.timestamp, 7u);
  EXPECT_EQ(buffer->EventCount(), 2);
}

TEST(CircularBuffer, KeepsOrderOverManyWraps) {
  BufferPtr buffer = MakeBuffer(3);
  uint32_t next = 0;
  uint32_t expected = 0;
  for (int round = 0; round < 50; ++round) {
    const int puts = 1 + round % 3;
    for (int i = 0; i < puts; ++i) ASSERT_TRUE(PutBufferItem(buffer.get(), Item(next++)));
    for (int i = 0; i < puts; ++i) {
      TMidiBufferItem item;
      ASSERT_TRUE(PeekBufferItem(buffer.get(), item));
      ASSERT_EQ(item.timestamp, expected);
      ASSERT_EQ(item.timeUs, TimeOf(expected));
      ++expected;
      ASSERT_TRUE(RemoveBufferItem(buffer.get()));
    }
  }
}

// One writer thread and one reader thread, as between the driver and the
// user-interface thread: every item arrives once, in order.
TEST(CircularBuffer, TwoThreadsPassAMillionItemsInOrderWithNoneLostOrRepeated) {
  constexpr uint32_t kItems = 1'000'000;
  BufferPtr buffer = MakeBuffer(1024);
  ASSERT_NE(buffer, nullptr);
  std::thread writer([&] {
    for (uint32_t n = 0; n < kItems; ++n) {
      const TMidiBufferItem item{n, ~n, nullptr, TimeOf(n)};
      while (!PutBufferItem(buffer.get(), item)) std::this_thread::yield();
    }
  });
  uint32_t expected = 0;
  uint32_t mismatches = 0;
  while (expected < kItems) {
    TMidiBufferItem item;
    if (!PeekBufferItem(buffer.get(), item)) {
      std::this_thread::yield();
      continue;
    }
    if (item.timestamp != expected || item.data != ~expected || item.timeUs != TimeOf(expected)) ++mismatches;
    ASSERT_TRUE(RemoveBufferItem(buffer.get()));
    ++expected;
  }
  writer.join();
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(buffer->EventCount(), 0);
  TMidiBufferItem item;
  EXPECT_FALSE(PeekBufferItem(buffer.get(), item));
}
