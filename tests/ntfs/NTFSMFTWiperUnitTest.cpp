// The MFT scrub on a small volume built in memory whose $MFT lies in three
// runs, the last two kept in extension records that an $ATTRIBUTE_LIST of
// record 0 names (the second extension record lies in the run the first
// one describes). Every condition a free slot must meet is tried, and so is
// each damaged layout that must refuse the scrub without a write.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CNTFSMFTRecordInfo.h"
#include "CNTFSMFTWiper.h"
#include "CNTFSQuickSearch.h"
#include "CSearchedPartitionInfo.h"
#include "FaultInjectingDevice.h"
#include "IMountDriverWriter.h"
#include "IRecoveryController.h"
#include "ImageFileDevice.h"
#include "NTFSAttributeList.h"
#include "RecordBuilder.h"
#include "ScanEngineRegistry.h"
#include "TestUtil.h"
#include "WipeTarget.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ntfstest::Put16;
using ntfstest::Put32;
using ntfstest::Put64;
using ntfstest::RecordBuilder;

constexpr int kSectorsPerCluster = 8;
constexpr int kClusterBytes = 4096;
constexpr int kVolumeSectors = 512;  // 64 clusters
constexpr int kRecord = 1024;
// $MFT: VCN 0-1 at LCN 4, VCN 2-3 at LCN 20, VCN 4-5 at LCN 40: 24 records.
constexpr uint64_t kMFTLCN[3] = {4, 20, 40};

// What a test may change in the layout before the volume is built.
struct Layout {
  uint64_t baseDataSize = 24 * kRecord;
  uint64_t record9FirstVCN = 4;
  uint8_t record9LCN = 40;
  uint64_t record5BaseReference = uint64_t(1) << 48;  // record 0, sequence 1
  bool bitmap = true;
  uint8_t bitmapLCN = 0;      // 0: the $BITMAP is resident, else its one cluster
  bool breakRecord0 = false;  // only the $MFTMirr copy is valid
  bool olderLayout = false;   // records 6 and 13 in the older layout (and record 8, whose update sequence is wrong)
  bool unconfirmable = true;  // free records whose size or number does not check (11, 22; 8 in the older layout)
};

// In use by the bitmap: 0-3 (system), 5 and 9 (extensions), 14, 16.
const Bytes kMFTBitmap = {0x2F, 0x42, 0x01};

Bytes BootSector() {
  Bytes b(512, 0);
  b[0] = 0xEB;
  b[1] = 0x52;
  b[2] = 0x90;
  std::memcpy(&b[3], "NTFS    ", 8);
  Put16(b, 11, 512);
  b[13] = kSectorsPerCluster;
  b[21] = 0xF8;
  Put64(b, 40, kVolumeSectors - 1);
  Put64(b, 48, kMFTLCN[0]);
  Put64(b, 56, 2);  // $MFTMirr
  b[64] = 0xF6;     // 1024-byte records
  b[68] = 1;
  Put64(b, 72, 0x1122334455667788ull);
  b[510] = 0x55;
  b[511] = 0xAA;
  return b;
}

Bytes AttributeListEntry(uint32_t type, uint64_t vcn, uint64_t record) {
  Bytes e(32, 0);
  Put32(e, 0, type);
  Put16(e, 4, 32);
  e[7] = 26;
  Put64(e, 8, vcn);
  Put64(e, 16, record | (uint64_t(1) << 48));
  return e;
}

Bytes MFTRecord0(const Layout& l) {
  RecordBuilder b(kRecord, 0);
  Put16(b.Raw(), 16, 1);  // sequence number
  b.StandardInformation(0x6);
  Bytes list;
  for (const Bytes& e :
       {AttributeListEntry(0x10, 0, 0), AttributeListEntry(0x30, 0, 0), AttributeListEntry(0x80, 0, 0),
        AttributeListEntry(0x80, 2, 5), AttributeListEntry(0x80, l.record9FirstVCN, 9), AttributeListEntry(0xB0, 0, 0)})
    list.insert(list.end(), e.begin(), e.end());
  b.Resident(0x20, list);
  b.FileName(u"$MFT");
  b.NonResident(0x80, {0x11, 0x02, static_cast<uint8_t>(kMFTLCN[0]), 0x00}, 0, 1, l.baseDataSize);
  if (l.bitmap && l.bitmapLCN)
    b.NonResident(0xB0, {0x11, 0x01, l.bitmapLCN, 0x00}, 0, 0, kMFTBitmap.size());
  else if (l.bitmap)
    b.Resident(0xB0, kMFTBitmap);
  return b.Finish();
}

Bytes Extension(uint32_t number, uint64_t baseReference, uint64_t firstVCN, uint8_t lcn) {
  RecordBuilder b(kRecord, number);
  Put64(b.Raw(), 32, baseReference);
  b.NonResident(0x80, {0x11, 0x02, lcn, 0x00}, firstVCN, firstVCN + 1, 0);
  return b.Finish();
}

Bytes UserRecord(uint32_t number, uint16_t flags, uint32_t numberField) {
  RecordBuilder b(kRecord, numberField);
  b.Flags(flags);
  b.StandardInformation(0x20);
  b.FileName(u"secret name " + std::u16string(1, static_cast<char16_t>('A' + number % 26)));
  b.Resident(0x80, Bytes(200, static_cast<uint8_t>(number)));
  return b.Finish();
}

// Byte offset of record n on the volume.
uint64_t RecordOffset(uint64_t n) {
  const uint64_t vcn = n * kRecord / kClusterBytes;
  return kMFTLCN[vcn / 2] * kClusterBytes + (vcn % 2) * kClusterBytes + (n * kRecord) % kClusterBytes;
}

struct Volume {
  Bytes bytes;
};

Bytes BuildVolume(const Layout& l) {
  Bytes v(kVolumeSectors * 512, 0);
  auto put = [&](uint64_t at, const Bytes& b) { std::memcpy(&v[at], b.data(), b.size()); };
  put(0, BootSector());
  const Bytes record0 = MFTRecord0(l);
  put(RecordOffset(0), record0);
  put(2 * kClusterBytes, record0);  // $MFTMirr
  if (l.breakRecord0) std::memcpy(&v[RecordOffset(0)], "BAAD", 4);
  put(RecordOffset(5), Extension(5, l.record5BaseReference, 2, static_cast<uint8_t>(kMFTLCN[1])));
  put(RecordOffset(9), Extension(9, uint64_t(1) << 48, l.record9FirstVCN, l.record9LCN));
  if (l.bitmapLCN) put(uint64_t{l.bitmapLCN} * kClusterBytes, kMFTBitmap);
  put(RecordOffset(6), UserRecord(6, 0x0000, 6));     // free: scrubbed
  put(RecordOffset(13), UserRecord(13, 0x0000, 13));  // free, second run: scrubbed
  put(RecordOffset(14), UserRecord(14, 0x0000, 14));  // bitmap bit set: kept
  put(RecordOffset(15), UserRecord(15, 0x0001, 15));  // in use: kept
  put(RecordOffset(16), UserRecord(16, 0x0001, 16));  // in use: kept
  put(RecordOffset(21), UserRecord(21, 0x0000, 21));  // free, third run: scrubbed
  put(RecordOffset(23), UserRecord(23, 0x0002, 23));  // free folder: scrubbed
  if (l.unconfirmable) {
    put(RecordOffset(22), UserRecord(22, 0x0000, 99));  // wrong number: kept
    Bytes shortRecord = UserRecord(11, 0x0000, 11);     // allocated size is not the record size
    Put32(shortRecord, 28, 512);
    put(RecordOffset(11), shortRecord);
  }
  if (l.olderLayout) {
    for (uint64_t n : {6, 13}) ntfstest::ToOlderLayout(&v[RecordOffset(n)]);
    if (l.unconfirmable) {
      Bytes badSequence = UserRecord(8, 0x0000, 8);  // one stride short: kept
      ntfstest::ToOlderLayout(badSequence.data());
      Put16(badSequence, 6, 2);
      put(RecordOffset(8), badSequence);
    }
  }
  Bytes noMagic = UserRecord(12, 0x0000, 12);
  std::memcpy(noMagic.data(), "BAAD", 4);
  put(RecordOffset(12), noMagic);
  return v;
}

class MemoryWriter : public IMountDriverWriter {
 public:
  using Log = std::vector<std::pair<uint64_t, uint64_t>>;  // first sector, count
  MemoryWriter(Bytes& bytes, int& writes, Log* log = nullptr, std::function<void()> onWrite = nullptr)
      : m_bytes(bytes), m_writes(writes), m_log(log), m_onWrite(std::move(onWrite)) {}
  uint64_t WriteSectors(const void* buffer, uint64_t first, uint64_t count) override {
    ++m_writes;
    if (m_log) m_log->emplace_back(first, count);
    if (m_onWrite) m_onWrite();
    if ((first + count) * 512 > m_bytes.size()) {
      m_error = 644;
      return 0;
    }
    std::memcpy(&m_bytes[first * 512], buffer, count * 512);
    return count;
  }
  uint32_t LastError() const override { return m_error; }
  int GetSectorSize() const override { return 512; }

 private:
  Bytes& m_bytes;
  int& m_writes;
  Log* m_log;
  std::function<void()> m_onWrite;
  uint32_t m_error = 0;
};

struct ScrubResult {
  int rc = -1;
  int writes = 0;
  int writesAfterFault = 0;  // writes made after a read of the volume or the disk failed
  bool faulted = false;      // a read failed
  MemoryWriter::Log written;                           // disk sectors (the volume starts at 0)
  std::vector<std::pair<uint64_t, uint64_t>> readLog;  // volume sectors, in order
  Bytes before, after;
  NTFSWipeStats stats;
};

// Faults of the two devices the scrub reads: the volume, and the disk for
// the target check.
struct Faults {
  std::shared_ptr<testutil::FaultPlan> volume = std::make_shared<testutil::FaultPlan>();
  std::shared_ptr<testutil::FaultPlan> disk = std::make_shared<testutil::FaultPlan>();
  bool Seen() const { return volume->FailedReads() + disk->FailedReads() > 0; }
};

ScrubResult Scrub(const Layout& l, const std::function<void(Bytes&)>& changeDisk = nullptr,
                  const Faults& faults = Faults()) {
  ScrubResult r;
  r.before = BuildVolume(l);
  testutil::MemoryDevice volumeBytes(r.before, 512);
  Bytes diskBytes = r.before;
  if (changeDisk) changeDisk(diskBytes);
  testutil::MemoryDevice diskDevice(diskBytes, 512);
  testutil::FaultInjectingDevice volume(&volumeBytes, faults.volume);
  testutil::FaultInjectingDevice disk(&diskDevice, faults.disk);
  r.after = r.before;
  MountDriverOpener old = SetMountDriverOpener([&](int, uint32_t*) -> std::unique_ptr<IMountDriverWriter> {
    return std::make_unique<MemoryWriter>(r.after, r.writes, &r.written, [&] { r.writesAfterFault += faults.Seen(); });
  });
  CNTFSMFTWiper wiper;
  wiper.SetDiskDevice(&disk);
  r.rc = wiper.Wipe(&volume, 0, 0, nullptr);
  r.readLog = volumeBytes.readLog;
  r.stats = wiper.GetStats();
  r.faulted = faults.Seen();
  SetMountDriverOpener(old);
  return r;
}

bool RecordChanged(const ScrubResult& r, uint64_t n) {
  return std::memcmp(&r.before[RecordOffset(n)], &r.after[RecordOffset(n)], kRecord) != 0;
}

TEST(NTFSMFTWiper, ScrubsFreeRecordsInEveryRunOfAnMFTWithExtensionRecords) {
  for (const bool fromMirror : {false, true}) {
    SCOPED_TRACE(fromMirror ? "record 0 damaged, $MFTMirr read" : "record 0 read");
    Layout l;
    l.breakRecord0 = fromMirror;
    const ScrubResult r = Scrub(l);
    // Records 11 and 22 are free but cannot be confirmed: the scrub is not complete.
    ASSERT_EQ(r.rc, kNTFSWipeIncomplete) << std::hex << r.rc;
    EXPECT_EQ(r.stats.recordsUnconfirmed, 2u);
    EXPECT_EQ(r.stats.recordsScrubbed, 4u);
    for (uint64_t n : {6, 13, 21, 23}) {
      SCOPED_TRACE(n);
      const uint8_t* rec = &r.after[RecordOffset(n)];
      EXPECT_EQ(std::memcmp(rec, &r.before[RecordOffset(n)], 48), 0);
      EXPECT_TRUE(std::all_of(rec + 48, rec + kRecord, [](uint8_t b) { return b == 0; }));
    }
    // Nothing else changed: not the kept records, nor a byte outside the $MFT.
    Bytes expected = r.before;
    for (uint64_t n : {6, 13, 21, 23}) std::memset(&expected[RecordOffset(n) + 48], 0, kRecord - 48);
    EXPECT_TRUE(expected == r.after);
    for (uint64_t n : {0, 5, 9, 11, 12, 14, 15, 16, 22}) EXPECT_FALSE(RecordChanged(r, n)) << n;
    // Whole aligned 4 KiB blocks, each holding a changed byte and covered by
    // a read of this scrub: one block per cluster that holds a free record.
    EXPECT_EQ(r.writes, 3);
    for (const auto& [first, count] : r.written) {
      ASSERT_EQ(first % 8, 0u);
      ASSERT_EQ(count % 8, 0u);
      for (uint64_t block = first; block < first + count; block += 8) {
        EXPECT_NE(std::memcmp(&r.before[block * 512], &r.after[block * 512], 4096), 0) << "block at " << block;
        EXPECT_TRUE(std::any_of(r.readLog.begin(), r.readLog.end(),
                                [&](const std::pair<uint64_t, uint64_t>& read) {
                                  return read.first <= block && block + 8 <= read.first + read.second;
                                }))
            << "block at " << block << " was not read";
      }
    }
  }
}

TEST(NTFSMFTWiper, RefusesDamagedLayoutsWithoutWriting) {
  struct Case {
    const char* what;
    std::function<void(Layout&)> change;
    int expected;
  } cases[] = {
      {"extension record of another base record", [](Layout& l) { l.record5BaseReference = 7; }, kNTFSWipeBadExtension},
      {"extension record of an older record 0", [](Layout& l) { l.record5BaseReference = 2ull << 48; },
       kNTFSWipeBadExtension},
      {"runs with a gap", [](Layout& l) { l.record9FirstVCN = 5; }, kNTFSWipeBadRunList},
      {"run outside the volume", [](Layout& l) { l.record9LCN = 63; }, kNTFSWipeBadRunList},
      {"runs overlapping on the volume", [](Layout& l) { l.record9LCN = 21; }, kNTFSWipeBadRunList},
      {"data size beyond the runs", [](Layout& l) { l.baseDataSize = 30 * kRecord; }, kNTFSWipeBadRunList},
      {"no $BITMAP", [](Layout& l) { l.bitmap = false; }, kNTFSWipeBadBitmap},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Layout l;
    c.change(l);
    const ScrubResult r = Scrub(l);
    EXPECT_EQ(r.rc, c.expected) << std::hex << r.rc;
    EXPECT_EQ(r.writes, 0);
    EXPECT_TRUE(r.before == r.after);
  }
  // The disk holds something else where the volume should start.
  const ScrubResult r = Scrub(Layout(), [](Bytes& disk) { disk[3] = 'X'; });
  EXPECT_EQ(r.rc, kNTFSWipeWrongTarget);
  EXPECT_EQ(r.writes, 0);
}

// Records of the older layout have no number: their position is taken from
// the run list, every other condition still holds, and each free record
// that cannot be confirmed is left alone and makes the scrub incomplete.
TEST(NTFSMFTWiper, ScrubsOlderLayoutRecordsByTheirPositionAndReportsWhatItLeft) {
  for (const bool leftovers : {false, true}) {
    SCOPED_TRACE(leftovers ? "with unconfirmable free records" : "every free record confirmed");
    Layout l;
    l.olderLayout = true;
    l.unconfirmable = leftovers;
    const ScrubResult r = Scrub(l);
    EXPECT_EQ(r.rc, leftovers ? kNTFSWipeIncomplete : 0) << std::hex << r.rc;
    EXPECT_EQ(r.stats.recordsUnconfirmed, leftovers ? 3u : 0u);  // 8, 11, 22
    EXPECT_EQ(r.stats.recordsScrubbed, 4u);
    // The older records lose their update sequence with the rest: their
    // stored form stays consistent (sequence number 0, stride ends 0).
    Bytes expected = r.before;
    for (uint64_t n : {6, 13}) std::memset(&expected[RecordOffset(n) + 42], 0, kRecord - 42);
    for (uint64_t n : {21, 23}) std::memset(&expected[RecordOffset(n) + 48], 0, kRecord - 48);
    EXPECT_TRUE(expected == r.after);
    for (uint64_t n : {6, 13}) {
      const uint8_t* rec = &r.after[RecordOffset(n)];
      EXPECT_EQ(std::memcmp(rec, "FILE", 4), 0) << n;
      EXPECT_EQ(rec[510] | rec[511] | rec[1022] | rec[1023] | rec[42] | rec[43], 0) << n;
    }
  }
}

TEST(NTFSMFTWiper, FreeSlotTestChecksEveryCondition) {
  using ESlot = CNTFSMFTWiper::ESlot;
  const Bytes free = UserRecord(30, 0x0000, 30);
  Bytes older = free;
  ntfstest::ToOlderLayout(older.data());
  auto changed = [](Bytes b, const std::function<void(Bytes&)>& change) {
    change(b);
    return b;
  };
  // A formatter's reserved record: no number, nothing but standard information.
  RecordBuilder reserved(kRecord, 0);
  reserved.Flags(0x0000);
  reserved.StandardInformation(0x6);
  const Bytes empty = reserved.Finish();
  struct Case {
    const char* what;
    Bytes slot;
    uint64_t position;
    bool bitSet;
    uint32_t recordSize;
    ESlot verdict;
    uint32_t scrubFrom;
  } cases[] = {
      {"free record", free, 30, false, kRecord, ESlot::Free, 48},
      {"bitmap bit set", free, 30, true, kRecord, ESlot::Kept, 0},
      {"in use", UserRecord(30, 0x0003, 30), 30, false, kRecord, ESlot::Kept, 0},
      {"free folder", UserRecord(30, 0x0002, 30), 30, false, kRecord, ESlot::Free, 48},
      {"no FILE magic", Bytes(kRecord, 0), 0, false, kRecord, ESlot::Kept, 0},
      {"another position", free, 31, false, kRecord, ESlot::Unconfirmed, 0},
      {"another record size", free, 30, false, 4096, ESlot::Unconfirmed, 0},
      {"number marker set", changed(free, [](Bytes& b) { b[42] = 1; }), 30, false, kRecord, ESlot::Unconfirmed, 0},
      {"unconfirmed, nothing of a file in it", empty, 16, false, kRecord, ESlot::Kept, 0},
      {"unconfirmed, attribute chain leaving the record", changed(free, [](Bytes& b) { Put16(b, 20, 1020); }), 31,
       false, kRecord, ESlot::Unconfirmed, 0},
      {"older layout, free", older, 30, false, kRecord, ESlot::Free, 42},
      {"older layout at any position", older, 77, false, kRecord, ESlot::Free, 42},
      {"older layout, bitmap bit set", older, 30, true, kRecord, ESlot::Kept, 0},
      {"older layout, in use", changed(older, [](Bytes& b) { b[22] = 1; }), 30, false, kRecord, ESlot::Kept, 0},
      {"older layout, sequence inside the header", changed(older, [](Bytes& b) { b[4] = 40; }), 30, false, kRecord,
       ESlot::Unconfirmed, 0},
      {"older layout, odd sequence offset", changed(older, [](Bytes& b) { b[4] = 43; }), 30, false, kRecord,
       ESlot::Unconfirmed, 0},
      {"older layout, sequence one stride short", changed(older, [](Bytes& b) { b[6] = 2; }), 30, false, kRecord,
       ESlot::Unconfirmed, 0},
      {"older layout, another record size", older, 30, false, 4096, ESlot::Unconfirmed, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    uint32_t from = 0;
    EXPECT_EQ(CNTFSMFTWiper::ClassifyRecordSlot(c.slot.data(), c.recordSize, c.position, c.bitSet, &from), c.verdict);
    if (c.verdict == ESlot::Free) {
      EXPECT_EQ(from, c.scrubFrom);
    }
    EXPECT_EQ(CNTFSMFTWiper::IsFreeRecordSlot(c.slot.data(), c.recordSize, c.position, c.bitSet),
              c.verdict == ESlot::Free);
  }
  EXPECT_EQ(CNTFSMFTWiper::ClassifyRecordSlot(nullptr, kRecord, 0, false), ESlot::Kept);
}

// A failed read at every place the scrub reads before it writes: each row
// first scrubs its layout without the fault (every free record scrubbed),
// then with it: an error, and no write after the failed read.
TEST(NTFSMFTWiper, ReadFaultsStopTheScrubBeforeItsNextWrite) {
  constexpr uint8_t kBitmapLCN = 50;
  struct Row {
    const char* what;
    uint8_t bitmapLCN;
    std::function<void(testutil::FaultPlan& volume, testutil::FaultPlan& disk)> fault;
    int expected;
  } rows[] = {
      {"the volume's boot sector", 0, [](auto& v, auto&) { v.SetBadSector(0); }, kNTFSWipeBootSectorUnreadable},
      {"the $MFT's bitmap", kBitmapLCN, [](auto& v, auto&) { v.SetBadSector(kBitmapLCN * kSectorsPerCluster); },
       kNTFSWipeBadBitmap},
      {"the first extension record", 0, [](auto& v, auto&) { v.SetBadSector(RecordOffset(5) / 512 + 1); },
       kNTFSWipeBadExtension},
      {"the extension record in the run the first one describes", 0,
       [](auto& v, auto&) { v.SetBadSector(RecordOffset(9) / 512); }, kNTFSWipeBadExtension},
      {"the disk's sector at the volume start (identity check)", 0, [](auto&, auto& d) { d.SetBadSector(0); },
       kNTFSWipeDiskUnreadable},
      {"a cluster of the $MFT's last run", 0, [](auto& v, auto&) { v.SetBadSector(kMFTLCN[2] * kSectorsPerCluster); },
       kNTFSWipeReadFailed},
      {"the volume vanishes (ENXIO) in the $MFT's second run", 0,
       [](auto& v, auto&) { v.SetVanishAt(kMFTLCN[1] * kSectorsPerCluster + 1); }, kNTFSWipeReadFailed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Layout l;
    l.bitmapLCN = row.bitmapLCN;
    l.unconfirmable = false;
    const ScrubResult clean = Scrub(l);
    ASSERT_EQ(clean.rc, 0) << std::hex << clean.rc;
    EXPECT_EQ(clean.stats.recordsScrubbed, 4u);

    Faults faults;
    row.fault(*faults.volume, *faults.disk);
    const ScrubResult r = Scrub(l, nullptr, faults);
    EXPECT_EQ(r.rc, row.expected) << std::hex << r.rc;
    EXPECT_TRUE(r.faulted);
    EXPECT_EQ(r.writesAfterFault, 0);
    // What was written before the fault lies in free records only.
    Bytes allowed = r.before;
    for (uint64_t n : {6, 13, 21, 23}) std::memcpy(&allowed[RecordOffset(n)], &clean.after[RecordOffset(n)], kRecord);
    for (size_t i = 0; i < r.after.size(); ++i)
      if (r.after[i] != r.before[i] && r.after[i] != allowed[i]) {
        ADD_FAILURE() << "byte " << i << " changed outside a free record";
        break;
      }
  }
}

TEST(NTFSAttributeList, ListsExtensionRecordsOnceWithoutChangingTheRecord) {
  const Bytes record0 = MFTRecord0(Layout());
  const Bytes copy = record0;
  auto list = ParseAttributeList(record0.data(), kRecord, 0, kSectorsPerCluster, nullptr);
  ASSERT_TRUE(list);
  EXPECT_TRUE(record0 == copy);
  ASSERT_EQ(list->GetCount(), 3u);  // 0, 5, 9
  EXPECT_TRUE(SegmentRefListContains(list.get(), 5));
  EXPECT_TRUE(SegmentRefListContains(list.get(), 9));
  list->Remove(0);
  EXPECT_EQ(list->GetCount(), 2u);

  CNTFSRunList runs;
  NTFSRun run;
  run.firstVCN = 0;
  run.firstLCN = 4;
  run.length = 2;
  runs.Append(run);
  EXPECT_EQ(GetRecordSectorFromRunList(5, kSectorsPerCluster, 100, runs, 2), 100 + 4 * 8 + 10);
  EXPECT_EQ(GetRecordSectorFromRunList(9, kSectorsPerCluster, 100, runs, 2), -1);
  EXPECT_EQ(GetRecordByteOffsetFromRunList(5, kRecord, kClusterBytes, runs), 5 * 4096 + 1024);

  CNTFSFileRecord view(record0.data(), kRecord, true);
  auto info = CreateMFTRecordInfo(view, 32);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->GetFirstLCN(), 4);
  EXPECT_EQ(info->GetSector(), 32);
  // A record without a list gives none.
  EXPECT_FALSE(ParseAttributeList(UserRecord(6, 1, 6).data(), kRecord, 0, kSectorsPerCluster, nullptr));
}

// The free-space wipe's road: the deleted-recovery controller creates the
// NTFS quick search, hands it the wipe target and the volume. The target
// check reads the disk through the disk table (VANTOREL_DISKS).
TEST(NTFSQuickSearch, ScrubsThroughTheRecoveryController) {
  testutil::TempDir tmp("quick");
  const Bytes volumeBytes = BuildVolume(Layout());
  const std::string image = tmp.file("volume.img");
  testutil::WriteFile(image, std::string(volumeBytes.begin(), volumeBytes.end()));
  setenv("VANTOREL_DISKS", image.c_str(), 1);
  Bytes after = volumeBytes;
  int writes = 0;
  MountDriverOpener old = SetMountDriverOpener([&](int disk, uint32_t*) -> std::unique_ptr<IMountDriverWriter> {
    return disk == 0 ? std::make_unique<MemoryWriter>(after, writes) : nullptr;
  });
  RegisterNTFSQuickSearch();
  ImageFileDevice volume(image, 512);

  IRecoveryController* controller = CreateRecoveryController(0);
  ASSERT_TRUE(controller);
  controller->SetFileSystem(EFileSystemType::NTFS, nullptr);
  WipeTarget target;
  target.deviceNumber = 0;
  target.startSector = 0;
  // Records 11 and 22 stay: the controller passes on that the scrub is incomplete.
  EXPECT_EQ(controller->RunQuickSearch(&volume, target), kNTFSWipeIncomplete);
  controller->Release();
  EXPECT_EQ(writes, 3);  // one block per cluster holding a free record
  for (uint64_t n : {6, 13, 21, 23})
    EXPECT_TRUE(
        std::all_of(&after[RecordOffset(n) + 48], &after[RecordOffset(n) + kRecord], [](uint8_t b) { return b == 0; }));

  // Without a target (the recovery road) nothing is written, and the
  // answer is not success.
  writes = 0;
  CNTFSQuickSearch quick;
  EXPECT_EQ(quick.QuickSearchFiles(&volume, nullptr), kNTFSWipeNoWriter);
  EXPECT_EQ(quick.QuickSearchFiles(nullptr, nullptr), kNTFSWipeNoDevice);
  EXPECT_EQ(writes, 0);
  // A target on a disk that holds another volume: refused, nothing written.
  quick.SetOptions(0, 8);
  EXPECT_EQ(quick.QuickSearchFiles(&volume, nullptr), kNTFSWipeWrongTarget);
  EXPECT_EQ(writes, 0);
  std::vector<CSearchedPartitionInfo*> partitions;
  quick.GetPartitions(partitions);
  ASSERT_EQ(partitions.size(), 1u);
  EXPECT_EQ(partitions[0]->GetType(), EFileSystemType::NTFS);
  EXPECT_EQ(partitions[0]->GetSectorsPerCluster(), 8u);
  EXPECT_EQ(partitions[0]->GetBytesPerSector(), 512u);
  EXPECT_EQ(partitions[0]->GetSectorCount(), static_cast<uint64_t>(kVolumeSectors - 1));

  SetMountDriverOpener(old);
  RegisterQuickSearch(EFileSystemType::NTFS, nullptr);
  unsetenv("VANTOREL_DISKS");
}

}  // namespace
