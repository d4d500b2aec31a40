// INDX blocks and folder records: header bounds, fixups, the shared parent,
// the $INDEX_ROOT parent, the folder record, record numbers from sectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>

#include "CBasicFileProperties.h"
#include "CFileNode.h"
#include "CNTFSMFTRecordInfo.h"
#include "CNTFSNodeFactory.h"
#include "CSearchedNTFSPartitionInfo.h"
#include "FolderRecordInfo.h"
#include "IFileProperties.h"
#include "IndexBlockBuilder.h"
#include "MemoryDevice.h"
#include "NTFSIndexRecord.h"
#include "NTFSRecordNumber.h"
#include "NTFSResidentReader.h"

namespace {

using namespace ntfstest;
using Bytes = std::vector<uint8_t>;

// The block in a heap buffer of exactly `length` bytes, so that the
// sanitizer build sees any read past it.
bool AnalyzeExact(const Bytes& block, size_t length) {
  Bytes exact(block.begin(), block.begin() + std::min(length, block.size()));
  exact.resize(length, 0);
  const Bytes before = exact;
  const bool result = AnalyzeIndexRecordBuffer(exact.data(), static_cast<int>(length));
  EXPECT_EQ(exact, before) << "the block changed";
  return result;
}

TEST(NTFSIndexBlock, MutationsAreRejectedInsideTheBlock) {
  const std::vector<IndexEntryShape> three = {{}, {}, {}};
  struct Case {
    const char* what;
    std::function<void(Bytes&)> mutate;
    size_t length;
    bool valid;
    bool analyzed;
  } cases[] = {
      {"sound block, 4096 bytes", [](Bytes&) {}, 4096, true, true},
      {"sound block, 8192 bytes available", [](Bytes&) {}, 8192, true, true},
      {"one byte short (4095)", [](Bytes&) {}, 4095, false, false},
      {"truncated block (2048)", [](Bytes&) {}, 2048, false, false},
      {"allocated below used", [](Bytes& b) { Put32(b, 32, 100); }, 4096, false, false},
      {"huge first-entry offset", [](Bytes& b) { Put32(b, 24, 33554472); }, 4096, false, false},
      {"used past allocated", [](Bytes& b) { Put32(b, 28, 4080); }, 4096, false, false},
      {"allocated past the block",
       [](Bytes& b) {
         Put32(b, 32, 4080);
         Put32(b, 28, 4076);
       },
       4096, false, false},
      {"update sequence at 30", [](Bytes& b) { Put16(b, 4, 30); }, 4096, false, false},
      {"update sequence count 17", [](Bytes& b) { Put16(b, 6, 17); }, 4096, false, false},
      {"a torn stride", [](Bytes& b) { b[2046] ^= 1; }, 4096, true, false},
      {"not INDX", [](Bytes& b) { b[0] = 'X'; }, 4096, false, false},
      {"second entry names another parent", [](Bytes& b) { b[64 + 104 + 16] ^= 1; }, 4096, true, false},
      {"second entry of another sequence", [](Bytes& b) { b[64 + 104 + 16 + 6] ^= 1; }, 4096, true, false},
      {"entry allocated below real", [](Bytes& b) { Put64(b, 64 + 16 + 40, 50); }, 4096, true, false},
      {"entry running past the used size", [](Bytes& b) { Put16(b, 64 + 8, 4000); }, 4096, true, false},
      {"entry too short for its key", [](Bytes& b) { Put16(b, 64 + 8, 40); }, 4096, true, false},
      {"sub-node entry with another parent is not tested",
       [](Bytes& b) {
         Put16(b, 64 + 104 + 12, 1);
         b[64 + 104 + 16] ^= 1;
       },
       4096, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes block = IndexBlock(three);
    ASSERT_EQ(IndexEntries(three).size(), 3 * 104 + 16u);  // the offsets above rely on it
    c.mutate(block);
    Bytes exact(block.begin(), block.begin() + std::min(c.length, block.size()));
    exact.resize(c.length, 0);
    EXPECT_EQ(IsValidIndexRecord(exact.data(), static_cast<int>(c.length)), c.valid);
    EXPECT_EQ(AnalyzeExact(block, c.length), c.analyzed);
  }
}

TEST(NTFSIndexBlock, ParentVcnAndFixupRoundTrip) {
  Bytes block = IndexBlock({{}, {}}, 6);
  EXPECT_EQ(GetIndexRecordParentReference(block.data(), 4096), 77);
  EXPECT_EQ(GetIndexRecordVCN(block.data()), 6u);
  EXPECT_EQ(GetIndexRecordLSN(block.data()), 0x5555u);
  const Bytes stored = block;
  ASSERT_TRUE(ApplyIndexRecordFixups(block.data(), 4096));
  EXPECT_NE(block, stored);
  ASSERT_TRUE(UndoIndexRecordFixups(block.data(), 4096));
  EXPECT_EQ(block, stored);
}

// A folder record with an optional $INDEX_ROOT and a $INDEX_ALLOCATION of
// two 4096-byte clusters at LCN 0x40.
Bytes FolderRecord(uint32_t headerNumber, const std::vector<IndexEntryShape>* root) {
  RecordBuilder b(1024, headerNumber);
  b.Flags(0x0003);
  b.StandardInformation(0);
  b.FileName(u"folder", 5);
  if (root) b.Resident(0x90, IndexRootValue(*root));
  b.NonResident(0xA0, {0x11, 0x02, 0x40, 0x00}, 0, 1, 2 * 4096);
  return b.Finish();
}

TEST(NTFSFolderRecord, NumberFromTheRootEntriesOrTheHeader) {
  const std::vector<IndexEntryShape> named77 = {{}, {}};
  std::vector<IndexEntryShape> mixed = {{}, {}};
  mixed[1].parent = 78 | (uint64_t(3) << 48);
  const std::vector<IndexEntryShape> none = {};
  struct Case {
    const char* what;
    uint32_t header;
    const std::vector<IndexEntryShape>* root;
    bool accepted;
    int64_t number;
  } cases[] = {
      {"no root, header 1234", 1234, nullptr, true, 1234},
      {"root entries name 77", 1234, &named77, true, 77},
      {"root entries disagree: the header decides", 1234, &mixed, true, 1234},
      {"empty root: the header decides", 1234, &none, true, 1234},
      {"the root folder", 5, nullptr, false, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes record = FolderRecord(c.header, c.root);
    FolderRecordInfo info;
    EXPECT_EQ(info.SetFromRecord(record.data(), static_cast<int>(record.size()), 900), c.accepted);
    EXPECT_EQ(info.GetDirectoryRecordNumber(), c.number);
    if (!c.accepted) continue;
    EXPECT_EQ(info.GetSector(), 900u);
    EXPECT_TRUE(info.HasHeaderRecordNumber());
    EXPECT_EQ(info.GetSectorsPerCluster(), 8u);
    EXPECT_EQ(info.VCNToLCN(1), 0x41);
    EXPECT_EQ(info.VCNToLCN(2), -1);
  }
}

TEST(NTFSFolderRecord, OlderLayoutWithoutRootHasNoNumber) {
  Bytes record = FolderRecord(1234, nullptr);
  ToOlderLayout(record.data());
  FolderRecordInfo info;
  EXPECT_FALSE(info.SetFromRecord(record.data(), static_cast<int>(record.size()), 900));
  EXPECT_FALSE(info.HasHeaderRecordNumber());
}

TEST(NTFSRecordNumber, FromSectorThroughTheMFTRuns) {
  CNTFSMFTRecordInfo mft;
  mft.GetRunList().Append({122, 0, 8});  // VCN 0-7 at LCN 122-129
  mft.GetRunList().Append({300, 8, 4});  // VCN 8-11 at LCN 300-303
  struct Case {
    const char* what;
    uint64_t sector, start;
    uint32_t k, recordSize, sectorSize;
    int64_t number;
  } cases[] = {
      {"sector 1000: VCN 3, 24 sectors in", 1000, 0, 8, 1024, 512, 12},
      {"sector 1001: second half of record 12", 1001, 0, 8, 1024, 512, -1},
      {"sector 1002: record 13", 1002, 0, 8, 1024, 512, 13},
      {"second run", 2400 + 8, 0, 8, 1024, 512, 36},
      {"partition start moves the grid", 1000 + 63, 63, 8, 1024, 512, 12},
      {"outside the runs", 8, 0, 8, 1024, 512, -1},
      {"before the partition", 10, 63, 8, 1024, 512, -1},
      {"4096-byte sectors and records, 1 sector per cluster", 125, 0, 1, 4096, 4096, 3},
      {"4096-byte sectors and records, second run", 302, 0, 1, 4096, 4096, 10},
      {"4096-byte sectors, 8 KiB clusters", 251, 0, 2, 4096, 4096, 7},
      {"4096-byte records on 512-byte sectors", 1000 + 8, 0, 8, 4096, 512, 4},
      {"inside a 4096-byte record", 1000 + 4, 0, 8, 4096, 512, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RecordNumberFromSector(c.sector, mft, c.start, c.k, c.recordSize, c.sectorSize), c.number);
  }
  EXPECT_EQ(SectorsPerRecord(1024, 512), 2u);
  EXPECT_EQ(SectorsPerRecord(4096, 4096), 1u);
  EXPECT_EQ(SectorsPerRecord(1024, 4096), 1u);
}

TEST(NTFSClusterGrid, SectorOnTheGridAtItsCluster) {
  EXPECT_TRUE(IsClusterAligned(100 + 8 * 4, 4, 100, 8));
  EXPECT_FALSE(IsClusterAligned(100 + 8 * 4, 5, 100, 8));
  EXPECT_FALSE(IsClusterAligned(100 + 8 * 4 + 1, 4, 100, 8));
  EXPECT_FALSE(IsClusterAligned(50, 0, 100, 8));
  EXPECT_FALSE(IsClusterAligned(100, 0, 100, 0));
}

}  // namespace

namespace {

struct NodeDeleter {
  void operator()(CFileNode* n) const { DeleteFileNode(n); }
};
using Node = std::unique_ptr<CFileNode, NodeDeleter>;

std::vector<uint8_t> FileRecord(uint32_t number, uint32_t dosFlags, const std::u16string& name, uint64_t parent) {
  RecordBuilder b(1024, number);
  b.StandardInformation(dosFlags);
  b.FileName(name, parent);
  b.Resident(0x80, std::vector<uint8_t>(20, 0xAB));
  return b.Finish();
}

TEST(NTFSNodeFactory, IdsFromTheRecordAndTheReparseMark) {
  CNTFSNodeFactory factory(nullptr, nullptr);
  struct Case {
    const char* what;
    std::vector<uint8_t> record;
    bool made;
    int64_t id, parent;
  } cases[] = {
      {"plain file", FileRecord(50, 0x20, u"plain.txt", 77), true, 50, 77},
      {"reparse point", FileRecord(51, 0x400, u"link", 77), true, -10, 77},
      {"system file", FileRecord(6, 0x6, u"$Bitmap", 5), false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Node node(factory.CreateFileNodeFromRecord(c.record.data(), 1024, 2000, nullptr, nullptr));
    ASSERT_EQ(node != nullptr, c.made);
    if (!node) continue;
    EXPECT_EQ(node->GetId(), c.id);
    EXPECT_EQ(node->GetParentId(), c.parent);
    EXPECT_EQ(node->GetPosition(), 2000u);
  }
}

TEST(NTFSNodeFactory, ReloadReadsOnlyInsideTheDevice) {
  // A record in the last two sectors of a 40-sector device.
  std::vector<uint8_t> bytes(40 * 512, 0);
  const std::vector<uint8_t> record = FileRecord(60, 0x20, u"last.txt", 77);
  std::copy(record.begin(), record.end(), bytes.begin() + 38 * 512);
  testutil::MemoryDevice device(bytes, 512);
  CNTFSNodeFactory factory(&device, nullptr);
  CSearchedNTFSPartitionInfo partition;
  partition.SetSectorsPerCluster(8);
  partition.SetSectorCount(40);

  Node node(factory.CreateFileNodeFromRecord(record.data(), 1024, 38, nullptr, nullptr));
  ASSERT_TRUE(node);
  dynamic_cast<CBasicFileProperties*>(node->GetProperties())->SetFileSize(-1);
  node->SetId(1);
  EXPECT_EQ(factory.LoadNodeDataRuns(node.get(), &partition), 1);
  EXPECT_EQ(node->GetProperties()->GetFileSize(), 20);
  EXPECT_EQ(node->GetId(), 60);
  ASSERT_FALSE(device.readLog.empty());
  for (const auto& [first, count] : device.readLog) EXPECT_LE(first + count, 40u);

  node->SetPosition(40);  // past the end: nothing is read
  dynamic_cast<CBasicFileProperties*>(node->GetProperties())->SetFileSize(-1);
  device.readLog.clear();
  EXPECT_EQ(factory.LoadNodeDataRuns(node.get(), &partition), 0);
  EXPECT_TRUE(device.readLog.empty());
}

}  // namespace

namespace {

TEST(NTFSResidentValue, CopiedOnlyInsideItsAttribute) {
  // A resident attribute of 48 bytes: value at 24.
  struct Case {
    const char* what;
    uint16_t valueOffset;
    uint32_t valueLength;
    uint64_t capacity;
    int copied;
  } cases[] = {
      {"value inside", 24, 20, 64, 1},
      {"value filling the attribute", 24, 24, 24, 1},
      {"value one byte past the attribute", 24, 25, 64, 0},
      {"offset past the attribute", 60, 4, 64, 0},
      {"huge length", 24, 0xFFFFFFF0u, UINT64_MAX, 0},
      {"too little room", 24, 20, 19, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> attribute(48, 0x5A);
    Put32(attribute, 0, 0x80);
    Put32(attribute, 4, 48);
    attribute[8] = 0;  // resident
    attribute[9] = 0;  // no name
    Put32(attribute, 16, c.valueLength);
    Put16(attribute, 20, c.valueOffset);
    std::vector<uint8_t> out(64, 0);
    uint64_t length = 7;
    EXPECT_EQ(ntfs_resident::CopyResidentValue(attribute.data(), out.data(), c.capacity, length), c.copied);
    if (c.copied) {
      EXPECT_EQ(length, c.valueLength);
    }
  }
}

TEST(NTFSResidentValue, RecordReadAtItsOwnSizeInsideTheDevice) {
  // A 1024-byte record in the last two sectors of the device: a read of 16
  // sectors would pass the device's end.
  std::vector<uint8_t> bytes(10 * 512, 0);
  const std::vector<uint8_t> record = FileRecord(60, 0x20, u"tail.txt", 77);
  std::copy(record.begin(), record.end(), bytes.begin() + 8 * 512);
  testutil::MemoryDevice device(bytes, 512);
  CNTFSNodeFactory factory(&device, nullptr);
  Node node(factory.CreateFileNodeFromRecord(record.data(), 1024, 8, nullptr, nullptr));
  ASSERT_TRUE(node);
  std::vector<uint8_t> out(64, 0);
  uint64_t length = 0;
  ASSERT_EQ(ntfs_resident::ReadResidentData(node.get(), &device, length, out.data(), out.size()), 1);
  EXPECT_EQ(length, 20u);
  EXPECT_EQ(out[0], 0xAB);
  for (const auto& [first, count] : device.readLog) EXPECT_LE(first + count, 10u);
}

}  // namespace
