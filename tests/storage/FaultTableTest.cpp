// Read faults under the disk and volume devices: media errors and the
// bad-sector map, not-ready re-opens, strict mode, vanished and short devices.
#include <gtest/gtest.h>

#include <functional>

#include "CDiskDevice.h"
#include "CScanOptions.h"
#include "CVolumeDevice.h"
#include "FaultInjectingDevice.h"

using namespace testutil;

namespace {

constexpr uint64_t kSectors = 32768;  // 16 MiB of 512-byte sectors

struct FaultCase {
  const char* name;
  bool volume;     // CVolumeDevice (one attempt) instead of CDiskDevice
  bool strict;     // the device is opened strict
  int skipOption;  // the scan options' skip-bad-sectors value
  uint64_t diskBytes;
  std::function<void(FaultPlan&)> arrange;
  uint64_t first, count;
  int expectOk;
  bool expectZeros;       // success with a zero-filled buffer
  uint32_t expectRanges;  // bad ranges recorded
  int expectOpens;        // opens asked of the opener, construction included
};

class ScanOptionGuard {
 public:
  explicit ScanOptionGuard(int skip) : m_saved(GetScanOptions()->skipBadSectors) {
    GetScanOptions()->skipBadSectors = skip;
  }
  ~ScanOptionGuard() { GetScanOptions()->skipBadSectors = m_saved; }

 private:
  int m_saved;
};

}  // namespace

TEST(DeviceFaults, Table) {
  const uint64_t full = kSectors * 512;
  const std::vector<FaultCase> cases = {
      {"media error, skipping on", false, false, 1, full, [](FaultPlan& p) { p.SetBadSector(100, EIO); }, 96, 8, 1,
       true, 1, 1},
      {"media error ENODATA, skipping on (volume)", true, false, 1, full,
       [](FaultPlan& p) { p.SetBadSector(100, ENODATA); }, 96, 8, 1, true, 1, 1},
      {"media error, skipping off", false, false, 0, full, [](FaultPlan& p) { p.SetBadSector(100, EIO); }, 96, 8, 0,
       false, 0, 1},
      {"media error, strict device ignores skipping", false, true, 1, full,
       [](FaultPlan& p) { p.SetBadSector(100, EBADMSG); }, 96, 8, 0, false, 0, 1},
      {"media error, strict volume", true, true, 1, full, [](FaultPlan& p) { p.SetBadSector(100, EILSEQ); }, 96, 8, 0,
       false, 0, 1},
      {"plain failure is never skipped", false, false, 1, full, [](FaultPlan& p) { p.SetBadSector(100, EACCES); }, 96,
       8, 0, false, 0, 1},
      {"not ready once: re-opened and read", false, false, 1, full, [](FaultPlan& p) { p.SetNotReadyReads(1); }, 40, 8,
       1, false, 0, 2},
      {"not ready three times: gives up", false, false, 1, full, [](FaultPlan& p) { p.SetNotReadyReads(3); }, 40, 8, 0,
       false, 0, 4},
      {"not ready on a volume: no retry", true, false, 1, full, [](FaultPlan& p) { p.SetNotReadyReads(1); }, 40, 8, 0,
       false, 0, 1},
      {"vanished disk", false, false, 1, full, [](FaultPlan& p) { p.SetVanished(true); }, 40, 8, 0, false, 0, 2},
      {"vanished volume", true, false, 1, full, [](FaultPlan& p) { p.SetVanished(true); }, 40, 8, 0, false, 0, 1},
      {"past the end", false, false, 1, full, nullptr, kSectors - 4, 8, 0, false, 0, 1},
      {"past the end (volume)", true, false, 1, full, nullptr, kSectors, 1, 0, false, 0, 1},
      {"zero-length disk", false, false, 1, 0, nullptr, 0, 1, 0, false, 0, 1},
      {"zero-length volume", true, true, 1, 0, nullptr, 0, 1, 0, false, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScanOptionGuard skip(c.skipOption);
    auto plan = std::make_shared<FaultPlan>();
    const uint64_t bytes = c.diskBytes;
    RawDiskOpener opener = MakeFaultOpener(plan, [bytes]() -> std::unique_ptr<platform::IRawDisk> {
      return std::make_unique<MemoryRawDisk>(PatternBytes(0, static_cast<size_t>(bytes)), 512);
    });
    std::unique_ptr<CRawBackedDevice> device;
    if (c.volume)
      device = std::make_unique<CVolumeDevice>(opener, c.strict);
    else
      device = std::make_unique<CDiskDevice>(0, opener, c.strict);
    ASSERT_TRUE(device->IsOpen());
    EXPECT_EQ(device->GetSectorCount(), bytes / 512);
    if (c.arrange) c.arrange(*plan);

    std::vector<uint8_t> buf(static_cast<size_t>(c.count * 512), 0xCC);
    EXPECT_EQ(device->ReadSectors(buf.data(), c.first, c.count), c.expectOk);
    if (c.expectOk && c.expectZeros) {
      EXPECT_EQ(buf, std::vector<uint8_t>(buf.size(), 0));
    } else if (c.expectOk) {
      EXPECT_EQ(buf, PatternBytes(c.first * 512, static_cast<size_t>(c.count * 512)));
    }
    EXPECT_EQ(device->GetBadSectorMap().GetCount(), c.expectRanges);
    EXPECT_EQ(plan->Opens(), c.expectOpens);
    EXPECT_GT(device->GetSectorSize(), 0);

    if (c.expectRanges) {
      // The recorded range covers the bad sector; reads over it are answered
      // without touching the disk while skipping is on.
      EXPECT_TRUE(device->GetBadSectorMap().Intersects(100, 100));
      const int readsBefore = plan->Reads();
      EXPECT_EQ(device->ReadSectors(buf.data(), 98, 4), 1);
      EXPECT_EQ(plan->Reads(), readsBefore);
      // Strict reads of the same sectors still fail.
      GetScanOptions()->skipBadSectors = 0;
      EXPECT_EQ(device->ReadSectors(buf.data(), 98, 4), 0);
    }
  }
}

TEST(DeviceFaults, ClosedAndOutOfRangeDisks) {
  CDiskDevice tooHigh(25);
  EXPECT_FALSE(tooHigh.IsOpen());
  EXPECT_EQ(tooHigh.GetDiskNumber(), -1);
  EXPECT_EQ(tooHigh.GetSectorSize(), 512);
  EXPECT_EQ(tooHigh.GetSectorCount(), 0u);
  std::vector<uint8_t> buf(512);
  EXPECT_EQ(tooHigh.ReadSectors(buf.data(), 0, 1), 0);

  auto plan = std::make_shared<FaultPlan>();
  CDiskDevice disk(
      3, MakeFaultOpener(plan, [] {
        return std::unique_ptr<platform::IRawDisk>(std::make_unique<MemoryRawDisk>(PatternBytes(0, 64 * 4096), 4096));
      }));
  EXPECT_EQ(disk.GetSectorSize(), 4096);
  EXPECT_EQ(disk.GetDiskNumber(), 3);
  disk.Close();
  EXPECT_FALSE(disk.IsOpen());
  EXPECT_EQ(disk.ReadSectors(buf.data(), 0, 0), 0);
  EXPECT_EQ(disk.Open(), 1);
  std::vector<uint8_t> sector(4096);
  EXPECT_EQ(disk.ReadSectors(sector.data(), 5, 1), 1);
  EXPECT_EQ(sector, PatternBytes(5 * 4096, 4096));

  CVolumeDevice noLetter('Q');
  EXPECT_FALSE(noLetter.IsOpen());
  EXPECT_EQ(noLetter.GetSectorCount(), 0u);
  EXPECT_EQ(noLetter.GetSectorSize(), 512);
  CVolumeDevice badLetter('?');
  EXPECT_FALSE(badLetter.IsOpen());
}

// A batch of reads on a strict volume device (one batch to the raw disk):
// the pieces before a failed one hold their sectors, nothing after it
// counts, and the failure is the device's last read error.
TEST(DeviceFaults, StrictBatchReadStopsAtTheFirstFailedPiece) {
  auto plan = std::make_shared<FaultPlan>();
  CVolumeDevice volume(MakeFaultOpener(plan,
                                       [] {
                                         return std::unique_ptr<platform::IRawDisk>(
                                             std::make_unique<MemoryRawDisk>(PatternBytes(0, kSectors * 512), 512));
                                       }),
                       true);
  std::vector<std::vector<uint8_t>> buffers(4, std::vector<uint8_t>(8 * 512));
  const uint64_t firsts[] = {16, 0, 200, 300};
  std::vector<SectorRead> reads(4);
  for (size_t i = 0; i < reads.size(); ++i) {
    reads[i].buffer = buffers[i].data();
    reads[i].first = firsts[i];
    reads[i].count = 8;
  }
  EXPECT_EQ(volume.ReadSectorsBatch(reads.data(), reads.size()), reads.size());
  for (size_t i = 0; i < reads.size(); ++i) {
    EXPECT_TRUE(reads[i].ok) << i;
    EXPECT_EQ(buffers[i], PatternBytes(firsts[i] * 512, 8 * 512)) << i;
  }

  // A media error, then a piece that passes the end.
  plan->SetBadSector(203);
  EXPECT_EQ(volume.ReadSectorsBatch(reads.data(), reads.size()), 2u);
  EXPECT_TRUE(reads[0].ok && reads[1].ok);
  EXPECT_FALSE(reads[2].ok || reads[3].ok);
  EXPECT_EQ(volume.GetLastReadError(), EIO);
  plan->ClearBadSectors();
  reads[2].first = kSectors - 4;
  EXPECT_EQ(volume.ReadSectorsBatch(reads.data(), reads.size()), 2u);
  EXPECT_FALSE(reads[2].ok || reads[3].ok);
  EXPECT_EQ(volume.GetLastReadError(), ERANGE);
}
