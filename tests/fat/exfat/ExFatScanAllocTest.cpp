// The exFAT sector scan runs over every sector of a disk: past its first
// groups, its walk allocates only for the groups it hands out and the sets
// in them. The allocations are counted at malloc, which this program
// interposes (the program's operator new ends there too); under the
// sanitizers, whose runtime owns malloc, the test is skipped.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "ExFatCandidateSet.h"
#include "ExFatEntryScanner.h"
#include "MemoryDevice.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VT_COUNTS_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define VT_COUNTS_ALLOCATIONS 0
#else
#define VT_COUNTS_ALLOCATIONS 1
#endif
#else
#define VT_COUNTS_ALLOCATIONS 1
#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_allocations{0};
}  // namespace

#if VT_COUNTS_ALLOCATIONS
extern "C" void* __libc_malloc(size_t size);
extern "C" void* malloc(size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
#endif

namespace {

// Pattern bytes (no entries), zeros, then pattern bytes again.
TEST(ExFatSectorScan, TheWalkOverSectorsWithoutEntriesAllocatesNothing) {
  if (!VT_COUNTS_ALLOCATIONS) GTEST_SKIP() << "the sanitizers own malloc";
  std::vector<uint8_t> disk = testutil::PatternBytes(0, 4096 * 512);
  std::memset(&disk[1000 * 512], 0, 100 * 512);
  ExFatEntryScanner scanner;
  ExFatCandidateSet set;
  scanner.SetGeometry(disk.size() / 512, 512);
  set.SetGeometry(512, disk.size() / 512);
  size_t handed = 0;
  const ExFatGroupSink sink = [&](std::unique_ptr<ExFatDirectoryGroup> g) { handed += g ? 1 : 0; };
  // The first sectors give the scanner its working buffers.
  ScanExFatSectors(scanner, set, 0, disk.data(), 64, disk.size(), sink);
  handed = 0;
  g_allocations = 0;
  g_counting = true;
  ScanExFatSectors(scanner, set, 64, disk.data() + 64 * 512, 4096 - 64, disk.size() - 64 * 512, sink);
  g_counting = false;
  EXPECT_EQ(handed, 0u);
  EXPECT_EQ(g_allocations.load(), 0u);
}

}  // namespace
