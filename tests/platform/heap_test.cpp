// Private heaps: the same tests run against our layer and, under Wine, Win32's.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "heap_usage.h"

namespace {

bool all_zero(const void* block, SIZE_T bytes) {
  const auto* b = static_cast<const unsigned char*>(block);
  return std::all_of(b, b + bytes, [](unsigned char c) { return c == 0; });
}

TEST(Heap, ZeroFillsOnRequest) {
  HANDLE heap = HeapCreate(0, 4096, 0);
  ASSERT_NE(heap, nullptr);
  void* block = HeapAlloc(heap, HEAP_ZERO_MEMORY, 1000);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(all_zero(block, 1000));
  EXPECT_EQ(HeapSize(heap, 0, block), 1000u);
  EXPECT_TRUE(HeapFree(heap, 0, block));
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, ReAllocKeepsContentsAndZeroesTheGrownPart) {
  HANDLE heap = HeapCreate(0, 1024, 0);
  auto* block = static_cast<unsigned char*>(HeapAlloc(heap, 0, 16));
  ASSERT_NE(block, nullptr);
  std::memset(block, 0xAB, 16);
  auto* grown = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 100000));
  ASSERT_NE(grown, nullptr);
  EXPECT_TRUE(std::all_of(grown, grown + 16, [](unsigned char c) { return c == 0xAB; }));
  EXPECT_TRUE(all_zero(grown + 16, 100000 - 16));
  EXPECT_EQ(HeapSize(heap, 0, grown), 100000u);

  auto* shrunk = static_cast<unsigned char*>(HeapReAlloc(heap, 0, grown, 8));
  ASSERT_NE(shrunk, nullptr);
  EXPECT_EQ(shrunk[7], 0xAB);
  EXPECT_EQ(HeapSize(heap, 0, shrunk), 8u);
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, FreeingNullSucceeds) {
  HANDLE heap = HeapCreate(0, 0, 0);
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, ReAllocOfNullFails) {
  HANDLE heap = HeapCreate(0, 0, 0);
  EXPECT_EQ(HeapReAlloc(heap, 0, nullptr, 16), nullptr);
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, ZeroByteBlocksAreDistinct) {
  HANDLE heap = HeapCreate(0, 0, 0);
  void* a = HeapAlloc(heap, 0, 0);
  void* b = HeapAlloc(heap, 0, 0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, FixedSizeHeapRefusesWhatDoesNotFit) {
  HANDLE heap = HeapCreate(0, 4096, 64 * 1024);
  ASSERT_NE(heap, nullptr);
  EXPECT_EQ(HeapAlloc(heap, 0, 1024 * 1024), nullptr);
  void* small = HeapAlloc(heap, HEAP_ZERO_MEMORY, 256);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(HeapReAlloc(heap, HEAP_ZERO_MEMORY, small, 1024 * 1024), nullptr);
  EXPECT_EQ(HeapSize(heap, 0, small), 256u) << "a failed growth leaves the block";
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, DestroyReleasesEveryBlock) {
  // Run under the sanitizers: a block left behind by HeapDestroy is a leak report.
  HANDLE heap = HeapCreate(0, 1024, 0);
  for (int i = 0; i < 100; ++i) ASSERT_NE(HeapAlloc(heap, 0, static_cast<SIZE_T>(i * 37 + 1)), nullptr);
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, AWalkCountsEveryLiveBlockWithItsSizeAndEndsWithNoMoreItems) {
  using test_support::HeapUsage;
  HANDLE heap = HeapCreate(0, 4096, 0);
  EXPECT_EQ(test_support::heap_usage(heap), (HeapUsage{0, 0}));
  void* a = HeapAlloc(heap, 0, 10);
  void* b = HeapAlloc(heap, HEAP_ZERO_MEMORY, 0);
  void* c = HeapAlloc(heap, 0, 300);
  EXPECT_EQ(test_support::heap_usage(heap), (HeapUsage{3, 310}));
  a = HeapReAlloc(heap, 0, a, 1000);
  c = HeapReAlloc(heap, 0, c, 30);
  EXPECT_EQ(test_support::heap_usage(heap), (HeapUsage{3, 1030}));
  HeapFree(heap, 0, b);
  EXPECT_EQ(test_support::heap_usage(heap), (HeapUsage{2, 1030}));
  HeapFree(heap, 0, a);
  HeapFree(heap, 0, c);
  EXPECT_EQ(test_support::heap_usage(heap), (HeapUsage{0, 0}));

  PROCESS_HEAP_ENTRY entry{};
  SetLastError(0);
  while (HeapWalk(heap, &entry)) EXPECT_EQ(entry.wFlags & PROCESS_HEAP_ENTRY_BUSY, 0) << "no block is left";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
  EXPECT_TRUE(HeapDestroy(heap));
}

TEST(Heap, ProcessHeapIsAlwaysThere) {
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(heap, nullptr);
  void* block = HeapAlloc(heap, HEAP_ZERO_MEMORY, 32);
  ASSERT_NE(block, nullptr);
  EXPECT_TRUE(HeapFree(heap, 0, block));
}

}  // namespace
