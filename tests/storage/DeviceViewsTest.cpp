// Views and windows over a device: the 512-byte view, partition windows and
// the read-ahead cache, over devices in memory.
#include <gtest/gtest.h>

#include <cstring>

#include "CBasicPartitionDevice.h"
#include "CPartitionVirtualVolumeDevice.h"
#include "CScanOptions.h"
#include "CSimulateStorageDevice.h"
#include "CStorageDeviceWithCache.h"
#include "FaultInjectingDevice.h"

using testutil::FaultInjectingDevice;
using testutil::FaultPlan;
using testutil::MemoryDevice;
using testutil::PatternBytes;

namespace {
std::vector<uint8_t> Read(IStorageDevice& d, uint64_t first, uint64_t count, int* ok) {
  std::vector<uint8_t> buf(static_cast<size_t>(count * static_cast<uint64_t>(d.GetSectorSize())), 0xCC);
  *ok = d.ReadSectors(buf.data(), first, count);
  return buf;
}
}  // namespace

TEST(ScanOptions, OneInstanceWithDefaults) {
  CScanOptions* o = GetScanOptions();
  ASSERT_EQ(o, GetScanOptions());
  EXPECT_EQ(o->analyseBootSectors, 1);
  EXPECT_EQ(o->skipBadSectors, 1);
  EXPECT_EQ(o->resourceModule, nullptr);
  EXPECT_EQ(o->stopFatWalks, 0);
  for (int w : o->fatEntryChecks) EXPECT_EQ(w, 1);
  EXPECT_EQ(o->ntfsOptions[0], 1);
  EXPECT_EQ(o->ntfsOptions[1], 1);
  EXPECT_EQ(o->ntfsOptions[2], 0);
  EXPECT_EQ(o->raw.enabled, 1);
  EXPECT_EQ(o->raw.maxCarvedSize, 200000000u);
  ASSERT_EQ(o->raw.enabledFileTypes.size(), 110u);
  EXPECT_EQ(o->raw.enabledFileTypes.front(), 1);
  EXPECT_EQ(o->raw.enabledFileTypes.back(), 110);
  EXPECT_EQ(o->searchedVolume.GetLetter(), 255);
  SearchedVolumeName name;
  name.letter = 0;
  EXPECT_EQ(name.GetLetter(), 255);
}

TEST(Get512ByteDevice, SelfFor512AndOneViewOtherwise) {
  MemoryDevice d512(64, 512);
  EXPECT_EQ(d512.Get512ByteDevice(), &d512);
  EXPECT_EQ(d512.GetInnerDevice(), nullptr);

  MemoryDevice d4k(16, 4096);
  IStorageDevice* view = d4k.Get512ByteDevice();
  ASSERT_NE(view, &d4k);
  EXPECT_EQ(view, d4k.Get512ByteDevice());
  EXPECT_EQ(view->GetInnerDevice(), &d4k);
  EXPECT_EQ(view->GetSectorSize(), 512);
  EXPECT_EQ(view->GetSectorCount(), 128u);
  int ok = 0;
  auto got = Read(*view, 9, 3, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, PatternBytes(9 * 512, 3 * 512));
}

TEST(SimulateStorageDevice, ReadsEachInnerSectorOncePerRun) {
  MemoryDevice inner(16, 4096);
  CSimulateStorageDevice view(&inner);
  for (uint64_t s = 0; s < 8; ++s) {
    int ok = 0;
    auto got = Read(view, s, 1, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(got, PatternBytes(s * 512, 512));
  }
  EXPECT_EQ(inner.reads, 1);
  int ok = 0;
  Read(view, 8, 1, &ok);  // inner sector 1
  Read(view, 7, 1, &ok);  // inner sector 0 again
  EXPECT_EQ(inner.reads, 3);
  // A run across inner sectors, unaligned at both ends.
  auto got = Read(view, 5, 21, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, PatternBytes(5 * 512, 21 * 512));
  // Past the end fails.
  Read(view, 127, 2, &ok);
  EXPECT_FALSE(ok);
}

TEST(SimulateStorageDevice, RefusesInnerSectorsBelow512) {
  MemoryDevice inner(std::vector<uint8_t>(4096, 1), 256);
  CSimulateStorageDevice view(&inner);
  int ok = 1;
  Read(view, 0, 1, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(view.GetSectorCount(), 0u);
}

TEST(SimulateStorageDevice, FailedInnerReadDropsTheCachedSector) {
  MemoryDevice inner(16, 4096);
  auto plan = std::make_shared<FaultPlan>();
  FaultInjectingDevice faulty(&inner, plan);
  CSimulateStorageDevice view(&faulty);
  int ok = 0;
  Read(view, 0, 1, &ok);
  ASSERT_TRUE(ok);
  plan->SetBadSector(1, EIO);
  Read(view, 8, 1, &ok);
  EXPECT_FALSE(ok);
  plan->ClearBadSectors();
  auto got = Read(view, 1, 1, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, PatternBytes(512, 512));
}

// Both window devices: the part inside, zeros past the end, refusals.
TEST(Windows, ClipAndZeroFillPastTheEnd) {
  MemoryDevice disk(100, 512);
  CBasicPartitionDevice part(&disk, 10, 20);
  CPartitionVirtualVolumeDevice window(&disk, 10, 20);
  for (IStorageDevice* d : {static_cast<IStorageDevice*>(&part), static_cast<IStorageDevice*>(&window)}) {
    int ok = 0;
    auto got = Read(*d, 15, 10, &ok);
    ASSERT_TRUE(ok);
    std::vector<uint8_t> want = PatternBytes(25 * 512, 5 * 512);
    want.resize(10 * 512, 0);
    EXPECT_EQ(got, want);
    Read(*d, 20, 1, &ok);
    EXPECT_FALSE(ok);
    Read(*d, 0, 21, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(d->GetSectorCount(), 20u);
    EXPECT_EQ(d->GetInnerDevice(), nullptr);
  }
  EXPECT_EQ(window.GetLastError(), CPartitionVirtualVolumeDevice::kRefused);
  EXPECT_EQ(window.ReadSectors(nullptr, 0, 1), 0);
  EXPECT_EQ(window.GetLastError(), CPartitionVirtualVolumeDevice::kNullBuffer);
  EXPECT_EQ(window.WriteSectors("x", 0, 1), 0);
  EXPECT_EQ(window.GetLastError(), CPartitionVirtualVolumeDevice::kRefused);

  CBasicPartitionDevice orphan(nullptr, 0, 10);
  EXPECT_EQ(orphan.GetSectorSize(), 512);
  CPartitionVirtualVolumeDevice orphanWindow(nullptr, 0, 10);
  std::vector<uint8_t> buf(512);
  EXPECT_EQ(orphanWindow.ReadSectors(buf.data(), 0, 1), 0);
  EXPECT_EQ(orphanWindow.GetLastError(), CPartitionVirtualVolumeDevice::kRefused);
}

TEST(Windows, ParentFailureIsReported) {
  MemoryDevice disk(100, 512);
  auto plan = std::make_shared<FaultPlan>();
  plan->SetBadSector(12, EIO);
  FaultInjectingDevice faulty(&disk, plan);
  CPartitionVirtualVolumeDevice window(&faulty, 10, 20);
  int ok = 1;
  Read(window, 0, 4, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(window.GetLastError(), CPartitionVirtualVolumeDevice::kParentFailed);
}

TEST(StorageDeviceWithCache, ServesBlocksInOrderFromSectorZero) {
  MemoryDevice disk(1050, 512);  // the last block of 100 holds 50 sectors
  CStorageDeviceWithCache cache(&disk);
  cache.SetBlockSectors(100);
  cache.StartCache();
  for (uint32_t block = 0; block < 11; ++block) {
    ASSERT_EQ(cache.SetCurCacheBlock(block), 1) << block;
    const uint64_t first = block * 100ull;
    const uint64_t n = block == 10 ? 50 : 100;
    int ok = 0;
    auto got = Read(cache, first, n, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(got, PatternBytes(first * 512, static_cast<size_t>(n * 512))) << block;
    // The block is in memory: peeking sees the same bytes without a read,
    // exactly its sectors and nothing outside the block.
    const uint8_t* peek = cache.PeekSectors(first, n);
    ASSERT_NE(peek, nullptr) << block;
    EXPECT_EQ(std::vector<uint8_t>(peek, peek + n * 512), got) << block;
    const uint8_t* held = cache.PeekSectors(first + 1, n - 1);
    ASSERT_NE(held, nullptr) << block;
    EXPECT_EQ(std::vector<uint8_t>(held, held + (n - 1) * 512), PatternBytes((first + 1) * 512, (n - 1) * 512));
    EXPECT_EQ(cache.PeekSectors(first, n + 1), nullptr);
    EXPECT_EQ(cache.PeekSectors(first + n, 1), nullptr);
    EXPECT_EQ(cache.PeekSectors(first + 1, n), nullptr);
    if (block > 0) {
      EXPECT_EQ(cache.PeekSectors(first - 1, 2), nullptr);
    }
    // A read that begins before the block and ends inside it.
    if (block > 0) {
      EXPECT_EQ(cache.PeekSectors(first - 3, 6), nullptr);
      got = Read(cache, first - 3, 6, &ok);
      ASSERT_TRUE(ok);
      EXPECT_EQ(got, PatternBytes((first - 3) * 512, 6 * 512));
    }
  }
  EXPECT_EQ(disk.readLog.front().first, 0u);  // read-ahead starts at sector 0
  EXPECT_EQ(cache.SetCurCacheBlock(11), 0);
  int ok = 1;
  Read(cache, 1045, 10, &ok);  // past the device's end
  EXPECT_FALSE(ok);
  cache.StopCache();
}

TEST(StorageDeviceWithCache, FailedReadAheadIsNotServedAndOrderSlipsAreSafe) {
  MemoryDevice disk(1000, 512);
  auto plan = std::make_shared<FaultPlan>();
  plan->SetBadSector(250, EIO);
  FaultInjectingDevice faulty(&disk, plan);
  CStorageDeviceWithCache cache(&faulty);
  cache.SetBlockSectors(100);
  cache.StartCache();
  ASSERT_EQ(cache.SetCurCacheBlock(2), 1);  // blocks 0 and 1 skipped, block 2 failed
  int ok = 1;
  Read(cache, 200, 100, &ok);
  EXPECT_FALSE(ok) << "a block whose read-ahead failed must not read as data";
  EXPECT_EQ(cache.PeekSectors(200, 1), nullptr) << "nor be peeked at";
  EXPECT_EQ(cache.PeekSectors(200, 100), nullptr) << "nor be served in place";
  plan->ClearBadSectors();
  auto got = Read(cache, 200, 100, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(got, PatternBytes(200 * 512, 100 * 512));
  ASSERT_EQ(cache.SetCurCacheBlock(1), 1);  // gone back: read through
  EXPECT_EQ(cache.PeekSectors(100, 100), nullptr);
  got = Read(cache, 100, 100, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, PatternBytes(100 * 512, 100 * 512));
  ASSERT_EQ(cache.SetCurCacheBlock(9), 1);
  got = Read(cache, 900, 100, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, PatternBytes(900 * 512, 100 * 512));
  // Destroyed while the thread may still run: the destructor stops it.
}

TEST(StorageDeviceWithCache, WithoutStartReadsThrough) {
  MemoryDevice disk(300, 4096);
  CStorageDeviceWithCache cache(&disk);
  cache.SetBlockSectors(64);
  EXPECT_EQ(cache.GetSectorSize(), 4096);
  ASSERT_EQ(cache.SetCurCacheBlock(1), 1);
  EXPECT_EQ(cache.PeekSectors(70, 3), nullptr);
  int ok = 0;
  auto got = Read(cache, 70, 3, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, PatternBytes(70 * 4096, 3 * 4096));
}
