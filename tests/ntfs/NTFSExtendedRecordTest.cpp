// Extended FILE records, found-record info and file properties made from
// built records; the $LogFile analyser on built log pages.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "CCommonFileRecordInfo.h"
#include "CNTFSExtendedFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNTFSLogFileAnalyzer.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "FaultInjectingDevice.h"
#include "IDataRunList.h"
#include "NTFSAttributeList.h"
#include "NTFSFileRecordProperties.h"
#include "NTFSMFTRecordSet.h"
#include "RecordBuilder.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ntfstest::Put16;
using ntfstest::Put32;
using ntfstest::Put64;
using ntfstest::RecordBuilder;
using testutil::MemoryDevice;

struct PropsDeleter {
  void operator()(IFileProperties* p) const { DeleteFileProperties(p); }
};
using Props = std::unique_ptr<CNTFSFileProperties, PropsDeleter>;

std::vector<DataRun> RunsOf(const IFileProperties& p) {
  std::unique_ptr<IDataRunList> list(p.GetDataRunList());
  if (!list) return {};
  return {list->Runs().begin(), list->Runs().end()};
}

// A resident $ATTRIBUTE_LIST naming `records` (one $DATA entry each).
Bytes AttributeListValue(const std::vector<uint64_t>& records) {
  Bytes v;
  for (uint64_t r : records) {
    Bytes e(32, 0);
    Put32(e, 0, 0x80);
    Put16(e, 4, 32);
    Put64(e, 16, r | (uint64_t(3) << 48));
    v.insert(v.end(), e.begin(), e.end());
  }
  return v;
}

// Pairs {length, lcn} for one run of up to 255 clusters at an LCN below 65536.
Bytes Pairs(uint8_t clusters, uint16_t lcn) {
  return {0x21, clusters, static_cast<uint8_t>(lcn), static_cast<uint8_t>(lcn >> 8), 0};
}

TEST(NTFSExtendedRecord, FindsAttributesAcrossExtensionRecords) {
  // Base record at sector 100 holds one $DATA; extension record 41 at sector
  // 200 holds two. The third $DATA is the second of the extension record.
  MemoryDevice device(400, 512);
  RecordBuilder base(1024, 40);
  base.StandardInformation(0x20);
  base.FileName(u"big.bin");
  base.Resident(0x20, AttributeListValue({40, 41, 41}));
  base.NonResident(0x80, Pairs(4, 100), 0, 3, 5 * 4096);
  const Bytes baseBytes = base.Finish();
  RecordBuilder ext(1024, 41);
  ext.NonResident(0x80, Pairs(2, 300), 4, 5, 0);
  const size_t second = ext.NonResident(0x80, Pairs(1, 310), 6, 6, 0);
  const Bytes extBytes = ext.Finish();
  std::memcpy(device.Bytes().data() + 202 * 512, extBytes.data(), extBytes.size());

  // $MFT of 4 KiB clusters: records 40 and 41 in VCN 10 at LCN 25 (sectors
  // 200 and 202). The base record's own entry goes, 41 stays once.
  CNTFSRunList mft;
  mft.Append({20, 5, 6});  // LCN 20, VCN 5, 6 clusters
  auto list = BuildSegmentRefList(baseBytes.data(), 1024, 200, 8, 0, &device, mft, 2);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->GetCount(), 1u);
  EXPECT_EQ(list->Refs()[0].recordNumber, 41u);
  EXPECT_EQ(list->Refs()[0].sector, 202);

  CNTFSExtendedFileRecord record(baseBytes.data(), 1024, 200, &device, list.get());
  ASSERT_TRUE(record.IsValid());
  int offset = -1;
  uint64_t sector = 0;
  const uint8_t* header = record.FindAttribute(0x80, 2, &offset, &sector);
  ASSERT_TRUE(header);
  EXPECT_EQ(offset, static_cast<int>(second));
  EXPECT_EQ(sector, 202u);
  EXPECT_FALSE(record.FindAttribute(0x80, 3));

  // Runs of all three extents, sorted by VCN, size from the VCN-0 extent.
  Props p(MakeNTFSFileProperties(200, record, 4096, nullptr));
  ASSERT_TRUE(p);
  EXPECT_EQ(RunsOf(*p), (std::vector<DataRun>{{100, 4}, {300, 2}, {310, 1}}));
  EXPECT_EQ(p->GetFileSize(), 5 * 4096);
  EXPECT_EQ(std::string(p->GetName()), "big.bin");
  EXPECT_EQ(p->GetRecordNumber(), 40u);
}

TEST(NTFSExtendedRecord, SegmentListEdgeCases) {
  MemoryDevice device(64, 512);
  CNTFSRunList mft;
  mft.Append({0, 0, 100});
  // A list naming only the record itself gives an empty list, not null.
  RecordBuilder self(1024, 9);
  self.FileName(u"a");
  self.Resident(0x20, AttributeListValue({9, 9}));
  const Bytes selfBytes = self.Finish();
  auto list = BuildSegmentRefList(selfBytes.data(), 1024, 18, 8, 0, &device, mft, 2);
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->IsEmpty());
  // An entry outside the $MFT runs is dropped.
  RecordBuilder far(1024, 9);
  far.FileName(u"a");
  far.Resident(0x20, AttributeListValue({9, 100000}));
  const Bytes farBytes = far.Finish();
  list = BuildSegmentRefList(farBytes.data(), 1024, 18, 8, 0, &device, mft, 2);
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->IsEmpty());
  // Record 37, 8 sectors per cluster, $MFT at LCN 0x40000.
  CNTFSRunList big;
  big.Append({0x40000, 0, 64});
  EXPECT_EQ(GetRecordSectorFromRunList(37, 8, 2048, big, 2), 2048 + 0x40000 * 8 + 74);
  // Without a list: null.
  RecordBuilder plain(1024, 9);
  plain.FileName(u"a");
  const Bytes plainBytes = plain.Finish();
  EXPECT_FALSE(BuildSegmentRefList(plainBytes.data(), 1024, 18, 8, 0, &device, mft, 2));
}

TEST(NTFSExtendedRecord, PropertiesFromRecords) {
  struct Case {
    const char* what;
    std::function<void(RecordBuilder&)> build;
    std::string name;
    int64_t size;
    uint16_t attributes;  // bits to expect set
    uint16_t absent;      // bits to expect clear
    int64_t parent;
    std::vector<DataRun> runs;
  };
  const std::vector<Case> cases = {
      {"DOS name first, Win32 second",
       [](RecordBuilder& b) {
         b.FileName(u"LONGNA~1.TXT", 3, 2);
         b.FileName(u"long name.txt", 5, 1);
       },
       "long name.txt", 1234, 0, 0, 5, {}},
      {"Win32 name first",
       [](RecordBuilder& b) {
         b.FileName(u"first.txt", 7, 1);
         b.FileName(u"FIRST.TXT", 7, 2);
       },
       "first.txt", 1234, 0, 0, 7, {}},
      {"unmappable character",
       [](RecordBuilder& b) { b.FileName(std::u16string(u"a") + char16_t(0xD800) + u"b", 5); },
       "a_b", 1234, 0, 0, 5, {}},
      {"resident data of 100 bytes",
       [](RecordBuilder& b) {
         b.FileName(u"r");
         b.Resident(0x80, Bytes(100, 0x41));
       },
       "r", 100, 0, 0, 5, {{900, 1}}},
      {"non-resident, name size 0, data size 10000",
       [](RecordBuilder& b) {
         b.FileName(u"n");
         b.NonResident(0x80, Pairs(3, 50), 0, 2, 10000);
       },
       "n", 10000, 0, 0, 5, {{50, 3}}},
      {"non-resident, data size 0",
       [](RecordBuilder& b) {
         b.FileName(u"z");
         b.NonResident(0x80, Pairs(3, 50), 0, 2, 0);
       },
       "z", 12288, 0, 0, 5, {{50, 3}}},
      {"compressed and sparse",
       [](RecordBuilder& b) {
         b.FileName(u"cs");
         b.NonResident(0x80, Pairs(3, 50), 0, 2, 9000, 0x0001 | 0x4000);
       },
       "cs", 9000, kNTFSAttributeSparse, kFileAttributeCompressed, 5, {{50, 3}}},
      {"DOS flags from $STANDARD_INFORMATION",
       [](RecordBuilder& b) {
         b.StandardInformation(0x1 | 0x2 | 0x100 | 0x20);
         b.FileName(u"f");
       },
       "f", 1234, 0x23, 0x100, 5, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordBuilder b(1024, 77);
    c.build(b);
    Bytes bytes = b.Finish();
    if (std::string(c.what).find("size 0") != std::string::npos || std::string(c.what).find("10000") != std::string::npos) {
      // The name's data size is 0 here.
      const int at = FindAttributeOffset(bytes.data(), 0x30, 0, 1024);
      ASSERT_GE(at, 0);
      Put64(bytes, at + 24 + 48, 0);
    }
    CNTFSExtendedFileRecord record(bytes.data(), 1024, 900, nullptr, nullptr);
    int64_t parent = -1;
    Props p(MakeNTFSFileProperties(900, record, 4096, &parent));
    ASSERT_TRUE(p);
    EXPECT_EQ(std::string(p->GetName()), c.name);
    EXPECT_EQ(p->GetFileSize(), c.size);
    EXPECT_EQ(p->GetAttributes() & c.attributes, c.attributes);
    EXPECT_EQ(p->GetAttributes() & c.absent, 0);
    EXPECT_EQ(parent, c.parent);
    EXPECT_EQ(RunsOf(*p), c.runs);
    EXPECT_EQ(p->GetRecordSector(), 900u);
    EXPECT_EQ(p->IsDeleted(), 0);
  }
}

// Damaged base and extension records: nothing found or null, never a crash.
TEST(NTFSExtendedRecord, DamagedRecords) {
  RecordBuilder ext(1024, 41);
  ext.FileName(u"SECOND", 5, 2);  // a DOS name: the base record's stays
  ext.NonResident(0x80, Pairs(2, 300), 4, 5, 0);
  const Bytes goodExt = ext.Finish();
  Bytes tornExt = goodExt;
  tornExt[1022] ^= 0xFF;  // the fixup of the second stride no longer matches
  Bytes badPairs = goodExt;
  badPairs[FindAttributeOffset(goodExt.data(), 0x80, 0, 1024) + 64] = 0x99;  // 9-byte length field
  Bytes hugeLength = goodExt;
  Put32(hugeLength, FindAttributeOffset(goodExt.data(), 0x30, 0, 1024) + 4, 0x7FFFFFF0);
  struct Case {
    const char* what;
    Bytes extension;
    bool badSector;
    size_t dataRuns;  // runs expected in the properties
  };
  const std::vector<Case> cases = {
      {"sound extension record", goodExt, false, 2},
      {"unreadable extension record", goodExt, true, 1},
      {"torn extension record (read as it stands)", tornExt, false, 2},
      {"malformed mapping pairs", badPairs, false, 1},
      {"attribute longer than the record", hugeLength, false, 1},
      {"zeros", Bytes(1024, 0), false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryDevice memory(400, 512);
    std::memcpy(memory.Bytes().data() + 202 * 512, c.extension.data(), 1024);
    auto plan = std::make_shared<testutil::FaultPlan>();
    if (c.badSector) plan->SetBadSector(203);
    testutil::FaultInjectingDevice device(&memory, plan);
    RecordBuilder base(1024, 40);
    base.FileName(u"first");
    base.Resident(0x20, AttributeListValue({40, 41}));
    base.NonResident(0x80, Pairs(4, 100), 0, 3, 4 * 4096);
    const Bytes baseBytes = base.Finish();
    NTFSSegmentRefList list{{202, 41}, {-1, 42}, {399, 43}};
    CNTFSExtendedFileRecord record(baseBytes.data(), 1024, 200, &device, &list);
    Props p(MakeNTFSFileProperties(200, record, 4096, nullptr));
    ASSERT_TRUE(p);
    std::unique_ptr<IDataRunList> runs(p->GetDataRunList());
    ASSERT_TRUE(runs);
    EXPECT_EQ(runs->GetRunCount(), c.dataRuns);
    EXPECT_EQ(std::string(p->GetName()), "first");
    EXPECT_FALSE(record.FindAttribute(0x80, 9));
  }
  // Base records that are not records give nothing.
  for (const Bytes& junk : {Bytes(1024, 0), Bytes(1024, 0xFF), Bytes(100, 0)}) {
    CNTFSExtendedFileRecord record(junk.data(), static_cast<int>(junk.size()), 0, nullptr, nullptr);
    EXPECT_FALSE(record.IsValid());
    EXPECT_FALSE(record.FindAttribute(0x30, 0));
    EXPECT_FALSE(MakeNTFSFileProperties(0, record, 4096, nullptr));
  }
  // A record without a $FILE_NAME gives no properties.
  RecordBuilder nameless(1024, 8);
  nameless.StandardInformation(0);
  const Bytes namelessBytes = nameless.Finish();
  CNTFSExtendedFileRecord record(namelessBytes.data(), 1024, 0, nullptr, nullptr);
  EXPECT_TRUE(record.IsValid());
  EXPECT_FALSE(MakeNTFSFileProperties(0, record, 4096, nullptr));
}

TEST(NTFSExtendedRecord, FoundRecordInfoAndSizeFix) {
  RecordBuilder b(1024, 12);
  b.Flags(0x0002);  // directory, not in use
  b.FileName(u"d", 3);
  b.FileName(u"D", 6, 2);
  Bytes bytes = b.Finish();
  CCommonFileRecordInfo info;
  ASSERT_TRUE(info.SetFromBuffer(bytes.data(), 1024, 4321));
  EXPECT_EQ(info.IsDirectory(), 1);
  EXPECT_EQ(info.GetRecordNumber(), 12);
  EXPECT_EQ(info.GetParentRecordNumber(), 6);
  EXPECT_EQ(info.GetSector(), 4321u);
  Bytes junk(1024, 0xAB);
  EXPECT_FALSE(info.SetFromBuffer(junk.data(), 1024, 1));
  info.SetProperties(CreateNTFSFileProperties());  // released by the destructor

  // A set owns its records (and their properties) and its root node.
  NTFSMFTRecordSet set(nullptr);
  EXPECT_TRUE(set.GetRoot());
  auto found = std::make_unique<CCommonFileRecordInfo>();
  ASSERT_TRUE(found->SetFromBuffer(bytes.data(), 1024, 4321));
  found->SetProperties(CreateNTFSFileProperties());
  set.GetRecords().push_back(std::move(found));

  Props p(CreateNTFSFileProperties());
  CNoneResidentNTFSDataRunList runs;
  runs.AddRun({10, 3});
  runs.AddRun({20, 2});
  p->SetDataRunList(&runs);
  p->SetFileSize(-1);
  FixSizeFromRunList(p.get(), 8);
  EXPECT_EQ(p->GetFileSize(), 5 * 8 * 512);
}

// ---- $LogFile ----

// One log record: header (LSN at 0, client length at 24) and an operation
// header; `client` bytes follow the 48-byte header.
Bytes LogRecord(uint64_t lsn, uint32_t clientLength) {
  Bytes r(48 + clientLength, 0);
  Put64(r, 0, lsn);
  Put32(r, 24, clientLength);
  return r;
}

Bytes UndoRecord(uint64_t lsn, uint16_t recordOffset, uint16_t attributeOffset, uint32_t vcn, uint16_t block,
                 const Bytes& undo) {
  Bytes r = LogRecord(lsn, static_cast<uint32_t>(40 + 8 + undo.size()));
  const uint16_t undoOffset = 48;  // from the start of the client data
  Put16(r, 56, undoOffset);
  Put16(r, 58, static_cast<uint16_t>(undo.size()));
  Put16(r, 64, recordOffset);
  Put16(r, 66, attributeOffset);
  Put16(r, 68, block);
  Put64(r, 72, vcn);
  std::memcpy(&r[48 + undoOffset], undo.data(), undo.size());
  return r;
}

// A record page holding `records` from offset 64, protected by fixups.
Bytes RecordPage(const std::vector<Bytes>& records, uint64_t lastLSN, uint64_t lastEndLSN, bool fixups = true) {
  Bytes page(4096, 0);
  std::memcpy(page.data(), "RCRD", 4);
  Put16(page, 4, 40);
  Put16(page, 6, 9);
  Put64(page, 8, lastLSN);
  Put64(page, 32, lastEndLSN);
  size_t at = 64;
  for (const Bytes& r : records) {
    const size_t n = std::min(r.size(), page.size() - at);
    std::memcpy(&page[at], r.data(), n);
    at += (r.size() + 7) & ~size_t(7);
    if (at >= page.size()) break;
  }
  if (fixups) {
    Put16(page, 40, 0x55);
    for (int i = 0; i < 8; ++i) {
      const size_t end = 512 * (i + 1) - 2;
      page[40 + 2 * (i + 1)] = page[end];
      page[40 + 2 * (i + 1) + 1] = page[end + 1];
      Put16(page, end, 0x55);
    }
  }
  return page;
}

// A volume of 4 KiB clusters (8 sectors) whose log lies at cluster 10.
struct LogVolume {
  explicit LogVolume(const std::vector<Bytes>& pages) : device(16 + pages.size() * 8 + 64, 512) {
    std::fill(device.Bytes().begin(), device.Bytes().end(), 0);
    for (size_t i = 0; i < pages.size(); ++i) std::memcpy(device.Bytes().data() + (10 + i) * 4096, pages[i].data(), 4096);
    auto* runs = new CNoneResidentNTFSDataRunList;
    runs->AddRun({10, pages.size()});
    analyzer = std::make_unique<CNTFSLogFileAnalyzer>(&device, runs, 8);
  }
  MemoryDevice device;
  std::unique_ptr<CNTFSLogFileAnalyzer> analyzer;
};

std::vector<Bytes> EmptyRestartPages() {
  return std::vector<Bytes>(4, Bytes(4096, 0));
}

// A FILE-record image: a log record whose client data carries the record at 88.
Bytes ImageRecord(uint64_t lsn, const Bytes& file) {
  Bytes r = LogRecord(lsn, static_cast<uint32_t>(40 + file.size()));
  std::memcpy(&r[88], file.data(), file.size());
  r[92] = '0';  // "FILE0": the low byte of update-sequence offset 48 is '0'
  return r;
}

Bytes FileImage(const std::u16string& name, uint16_t flags, uint64_t parent) {
  RecordBuilder b(1024, 60);
  b.Flags(flags);
  b.FileName(name, parent);
  b.NonResident(0x80, Pairs(2, 70), 0, 1, 6000);
  return b.Finish();
}

TEST(NTFSLogFile, ImagesAndIndex) {
  std::vector<Bytes> pages = EmptyRestartPages();
  // Page 4: an image of a file, an image of a folder, an undo record.
  const Bytes file = FileImage(u"gone.txt", 0x0001, 5);
  const Bytes folder = FileImage(u"folder", 0x0003, 5);
  const Bytes undo = UndoRecord(0x103, 200, 72, 3, 0, Bytes(16, 0x11));
  pages.push_back(RecordPage({ImageRecord(0x101, file)}, 0x101, 0x101));
  pages.push_back(RecordPage({ImageRecord(0x102, folder), undo}, 0x103, 0x103));
  // A client length of 112 is too short for an image.
  Bytes shortOne = LogRecord(0x104, 112);
  std::memcpy(&shortOne[88], "FILE0", 5);
  pages.push_back(RecordPage({shortOne}, 0x104, 0x104));
  LogVolume v(pages);
  EXPECT_EQ(v.analyzer->GetPageCount(), 7);
  EXPECT_TRUE(v.analyzer->Analyze());
  ASSERT_EQ(v.analyzer->GetImages().size(), 1u);
  EXPECT_EQ(std::string(v.analyzer->GetImages()[0].properties->GetName()), "gone.txt");
  EXPECT_EQ(v.analyzer->GetImages()[0].properties->GetFileSize(), 6000);
  EXPECT_EQ(v.analyzer->GetImages()[0].parent, 5u);
  // Every record of the log pages is indexed: 1 + 2 + 1 (restart pages skipped).
  EXPECT_EQ(v.analyzer->GetIndex().size(), 4u);
}

TEST(NTFSLogFile, RecordsAcrossPages) {
  std::vector<Bytes> pages = EmptyRestartPages();
  for (int i = 4; i < 10; ++i) pages.push_back(RecordPage({LogRecord(0x10 + i, 8)}, 0x10 + i, 0x10 + i));
  // Page 10: a record, then a 5000-byte one from byte 3696 that continues
  // over page 11 into page 12 (whose own records start after it).
  const Bytes small = LogRecord(0x200, 3632 - 48);
  Bytes huge = LogRecord(0x201, 5000 - 48);
  std::memcpy(&huge[88], "FILE0", 5);
  const size_t start = 64 + small.size();
  Bytes page10(4096, 0);
  std::memcpy(page10.data(), "RCRD", 4);
  Put64(page10, 8, 0x201);
  Put64(page10, 32, 0x200);
  std::memcpy(&page10[64], small.data(), small.size());
  std::memcpy(&page10[start], huge.data(), 4096 - start);
  pages.push_back(page10);
  size_t done = 4096 - start;
  Bytes page11(4096, 0);
  std::memcpy(page11.data(), "RCRD", 4);
  Put64(page11, 8, 0x201);
  Put64(page11, 32, 0x201);
  std::memcpy(&page11[64], huge.data() + done, 4032);
  done += 4032;
  pages.push_back(page11);
  // Page 12: the rest, then one small record.
  const Bytes after = LogRecord(0x300, 8);
  Bytes page12(4096, 0);
  std::memcpy(page12.data(), "RCRD", 4);
  Put64(page12, 8, 0x300);
  Put64(page12, 32, 0x300);
  std::memcpy(&page12[64], huge.data() + done, huge.size() - done);
  std::memcpy(&page12[64 + huge.size() - done], after.data(), after.size());
  pages.push_back(page12);
  LogVolume v(pages);
  v.analyzer->Analyze();
  std::vector<uint64_t> lsns;
  for (const LogRecordIndexEntry& e : v.analyzer->GetIndex()) {
    uint64_t lsn = 0;
    std::memcpy(&lsn, e.head, 8);
    lsns.push_back(lsn);
  }
  EXPECT_EQ(lsns, (std::vector<uint64_t>{0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x200, 0x300}));
  EXPECT_TRUE(v.analyzer->GetImages().empty());
}

TEST(NTFSLogFile, TargetRecords) {
  EXPECT_EQ(GetLogTargetRecord(5, 4, 8, 512), 22);
  // 1 KiB clusters hold one record: an offset into the cluster names none.
  EXPECT_EQ(GetLogTargetRecord(5, 0, 2, 512), 5);
  EXPECT_EQ(GetLogTargetRecord(5, 4, 2, 512), -1);
  // 512-byte clusters: a record spans two clusters, the VCN is twice its number.
  EXPECT_EQ(GetLogTargetRecord(10, 0, 1, 512), 5);
  EXPECT_EQ(GetLogTargetRecord(11, 0, 1, 512), -1);
  // 4096-byte sectors and records: 8 KiB clusters hold two records.
  EXPECT_EQ(GetLogTargetRecord(3, 0, 2, 4096, 4096), 6);
  EXPECT_EQ(GetLogTargetRecord(3, 8, 2, 4096, 4096), 7);
  EXPECT_EQ(GetLogTargetRecord(3, 0, 1, 4096, 4096), 3);
  EXPECT_EQ(GetLogTargetRecord(5, 6, 8, 512), 23);
  EXPECT_EQ(GetLogTargetRecord(5, 3, 8, 512), -1);
  EXPECT_EQ(GetLogTargetRecord(5, 8, 8, 512), -1);
  EXPECT_EQ(GetLogTargetRecord(5, 2, 4, 512), 11);  // 2 KiB clusters hold two records
}

// A deleted record 22 whose $DATA pairs were overwritten; undo records give
// them back, applied in offset order whatever their order in the log.
TEST(NTFSLogFile, ReplaysUndoDataOntoDeletedRecord) {
  RecordBuilder b(1024, 22);
  b.Flags(0x0000);
  b.FileName(u"lost.bin");
  const size_t data = b.NonResident(0x80, Bytes(8, 0), 0, 4, 0);
  Bytes record = b.Finish();
  // The pairs at data + 64: {0x21, 5, 0x34, 0x12, 0} patched in two pieces of
  // more than 10 bytes each (the second overlaps the first's tail).
  Bytes first(16, 0), second(16, 0);
  first[0] = 0x21;
  first[1] = 5;
  first[2] = 0x99;  // wrong, fixed by the later patch
  second[0] = 0x34;
  second[1] = 0x12;
  std::vector<Bytes> pages = EmptyRestartPages();
  pages.push_back(RecordPage({UndoRecord(0x21, static_cast<uint16_t>(data), 66, 5, 4, second),
                              UndoRecord(0x20, static_cast<uint16_t>(data), 64, 5, 4, first),
                              UndoRecord(0x22, static_cast<uint16_t>(data), 64, 6, 4, Bytes(16, 0xEE))},
                             0x22, 0x22));
  LogVolume v(pages);
  v.analyzer->Analyze();
  Props p(CreateNTFSFileProperties());
  p->SetName("lost.bin");
  p->SetDeleted(1);
  EXPECT_TRUE(v.analyzer->MatchFileRecords(record.data(), p.get(), 5, nullptr));
  EXPECT_EQ(RunsOf(*p), (std::vector<DataRun>{{0x1234, 5}}));
  EXPECT_EQ(p->GetFileSize(), 5 * 4096);

  // A live file without an image is left alone.
  Props live(CreateNTFSFileProperties());
  live->SetName("other");
  EXPECT_FALSE(v.analyzer->MatchFileRecords(record.data(), live.get(), 5, nullptr));
  EXPECT_FALSE(v.analyzer->MatchFileRecords(nullptr, p.get(), 5, nullptr));
}

TEST(NTFSLogFile, DeletedRecordKeepsItsOwnRuns) {
  RecordBuilder b(1024, 30);
  b.Flags(0x0000);
  b.FileName(u"kept.bin");
  b.NonResident(0x80, Pairs(3, 40), 0, 2, 0);
  const Bytes record = b.Finish();
  std::vector<Bytes> pages = EmptyRestartPages();
  pages.push_back(RecordPage({LogRecord(1, 8)}, 1, 1));
  LogVolume v(pages);
  v.analyzer->Analyze();
  Props p(CreateNTFSFileProperties());
  p->SetName("kept.bin");
  p->SetDeleted(1);
  EXPECT_TRUE(v.analyzer->MatchFileRecords(record.data(), p.get(), -1, nullptr));
  EXPECT_EQ(RunsOf(*p), (std::vector<DataRun>{{40, 3}}));
  EXPECT_EQ(p->GetFileSize(), 3 * 4096);
}

TEST(NTFSLogFile, PageRoutines) {
  Bytes page = RecordPage({LogRecord(1, 8)}, 1, 1);
  EXPECT_TRUE(IsValidRecordPage(page.data()));
  Bytes torn = page;
  torn[1024 - 2] ^= 1;
  Bytes badCount = page;
  Put16(badCount, 6, 8);
  EXPECT_FALSE(IsValidRecordPage(torn.data()));
  EXPECT_FALSE(ApplyRecordPageFixups(torn.data()));
  EXPECT_FALSE(IsValidRecordPage(badCount.data()));
  EXPECT_TRUE(ApplyRecordPageFixups(page.data()));
  EXPECT_EQ(page[510], 0);
  EXPECT_FALSE(GetLogRecordHeader(page.data(), 47));
  EXPECT_TRUE(IsNTFSMetadataName(u"$RECYCLE.BIN"));
  EXPECT_FALSE(IsNTFSMetadataName(u"$Repair"));
  EXPECT_FALSE(IsNTFSMetadataName(u"$"));
  EXPECT_FALSE(IsNTFSMetadataName(u"xR"));
}

// Damaged log pages and records: errors or nothing found, never a crash or a
// hang.
TEST(NTFSLogFile, DamagedLogs) {
  std::mt19937 rng(7);
  auto noise = [&]() {
    Bytes p(4096);
    for (auto& b : p) b = static_cast<uint8_t>(rng());
    return p;
  };
  const std::vector<std::pair<const char*, std::function<std::vector<Bytes>()>>> cases = {
      {"noise pages with the magic",
       [&] {
         std::vector<Bytes> pages = EmptyRestartPages();
         for (int i = 0; i < 6; ++i) {
           Bytes p = noise();
           std::memcpy(p.data(), "RCRD", 4);
           pages.push_back(p);
         }
         return pages;
       }},
      {"client length near 4 GiB",
       [&] {
         std::vector<Bytes> pages = EmptyRestartPages();
         Bytes r = LogRecord(9, 0);
         Put32(r, 24, 0xFFFFFFF0u);
         pages.push_back(RecordPage({r, LogRecord(10, 8)}, 10, 9));
         pages.push_back(RecordPage({LogRecord(11, 8)}, 11, 11));
         return pages;
       }},
      {"last LSN not on its page",
       [&] {
         std::vector<Bytes> pages = EmptyRestartPages();
         pages.push_back(RecordPage({LogRecord(1, 8)}, 77, 78));
         pages.push_back(RecordPage({LogRecord(2, 8)}, 79, 80));
         return pages;
       }},
      {"image with a damaged FILE record and undo offsets past the record",
       [&] {
         std::vector<Bytes> pages = EmptyRestartPages();
         Bytes file = FileImage(u"x", 1, 5);
         Put32(file, 60, 0xFFFF);  // first attribute's length
         Bytes undo = UndoRecord(3, 900, 300, 0, 0, Bytes(200, 0xCC));
         Put16(undo, 56, 0xFFF0);
         pages.push_back(RecordPage({ImageRecord(2, file), undo}, 3, 3));
         pages.push_back(RecordPage({UndoRecord(4, 56, 900, 0, 0, Bytes(200, 0xCC))}, 4, 4));
         return pages;
       }},
      {"only restart pages", [&] { return EmptyRestartPages(); }},
  };
  RecordBuilder b(1024, 0);
  b.Flags(0);
  b.FileName(u"x");
  b.NonResident(0x80, Pairs(1, 9), 0, 0, 0);
  const Bytes record = b.Finish();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    LogVolume v(c.second());
    EXPECT_TRUE(v.analyzer->Analyze());
    Props p(CreateNTFSFileProperties());
    p->SetName("x");
    p->SetDeleted(1);
    v.analyzer->MatchFileRecords(record.data(), p.get(), -1, nullptr);
  }
  // Without a run list or a device nothing is read.
  CNTFSLogFileAnalyzer empty;
  EXPECT_EQ(empty.GetPageCount(), 0);
  const uint8_t* page = nullptr;
  EXPECT_FALSE(empty.ReadPage(0, &page));
  EXPECT_TRUE(empty.Analyze());
  // A log run beyond the device reads as zero pages.
  MemoryDevice small(64, 512);
  auto* runs = new CNoneResidentNTFSDataRunList;
  runs->AddRun({1000, 8});
  CNTFSLogFileAnalyzer far(&small, runs, 8);
  EXPECT_TRUE(far.Analyze());
  EXPECT_TRUE(far.GetIndex().empty());
  // A log claiming more than the limit is refused.
  auto* hugeRuns = new CNoneResidentNTFSDataRunList;
  hugeRuns->AddRun({0, uint64_t(1) << 40});
  CNTFSLogFileAnalyzer huge(&small, hugeRuns, 8);
  EXPECT_EQ(huge.GetPageCount(), 0);
}

}  // namespace
