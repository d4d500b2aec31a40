// The Ext2 complete search's candidate records and its superblock window,
// over small file systems laid out byte by byte in memory: descriptor
// collection, sameness, scoring, the saved form, inode ranges, blocks of
// 4096-byte devices and unreadable descriptor sectors.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "CEXT2SearchController.h"
#include "CExt2SearchedPartitionInfo.h"
#include "CFileNode.h"
#include "CMemoryScanStream.h"
#include "FaultInjectingDevice.h"
#include "MemoryDevice.h"
#include "RecordingTreeBuilder.h"

namespace {

using testutil::MemoryDevice;

struct SuperShape {
  uint64_t blocks = 64;
  uint32_t logBlockSize = 0;  // 1 KiB
  uint32_t blocksPerGroup = 8192;
  uint32_t inodesPerGroup = 16;
  uint16_t groupNr = 0;
  uint32_t journal = 0;
  uint8_t uuid = 7;
};

std::vector<uint8_t> MakeSuper(const SuperShape& s) {
  std::vector<uint8_t> b(1024, 0);
  const uint32_t blockSize = 1024u << s.logBlockSize;
  const uint32_t firstData = blockSize == 1024 ? 1 : 0;
  const uint64_t groups = (s.blocks - firstData + s.blocksPerGroup - 1) / s.blocksPerGroup;
  WriteLE32(&b[0], static_cast<uint32_t>(groups * s.inodesPerGroup));
  WriteLE32(&b[4], static_cast<uint32_t>(s.blocks));
  WriteLE32(&b[20], firstData);
  WriteLE32(&b[24], s.logBlockSize);
  WriteLE32(&b[28], s.logBlockSize);
  WriteLE32(&b[32], s.blocksPerGroup);
  WriteLE32(&b[36], s.blocksPerGroup);
  WriteLE32(&b[40], s.inodesPerGroup);
  WriteLE16(&b[56], 0xEF53);
  WriteLE32(&b[76], 1);
  WriteLE32(&b[84], 11);
  WriteLE16(&b[88], 128);
  WriteLE16(&b[90], s.groupNr);
  std::memset(&b[104], s.uuid, 16);
  WriteLE32(&b[224], s.journal);
  return b;
}

// 32-byte descriptors whose bitmaps and inode table lie in their own group.
std::vector<uint8_t> MakeTable(const SuperShape& s) {
  const uint32_t firstData = s.logBlockSize == 0 ? 1 : 0;
  const uint64_t groups = (s.blocks - firstData + s.blocksPerGroup - 1) / s.blocksPerGroup;
  std::vector<uint8_t> t(groups * 32, 0);
  for (uint64_t g = 0; g < groups; ++g) {
    const uint32_t base = static_cast<uint32_t>(firstData + g * s.blocksPerGroup);
    WriteLE32(&t[g * 32], base + 3);
    WriteLE32(&t[g * 32 + 4], base + 4);
    WriteLE32(&t[g * 32 + 8], base + 5);
  }
  return t;
}

// A record found at `found512`, its table added sector by sector.
std::unique_ptr<CExt2SearchedPartitionInfo> Collected(const SuperShape& s, uint64_t found512, int sectorSize = 512) {
  auto r = std::make_unique<CExt2SearchedPartitionInfo>(MakeSuper(s).data(), found512, sectorSize);
  std::vector<uint8_t> table = MakeTable(s);
  table.resize((table.size() + 511) / 512 * 512);
  for (size_t at = 0; at < table.size(); at += 512) r->AddGroupDescriptorSector(&table[at], found512 + 2 + at / 512);
  return r;
}

// A one-group file system of `s.blocks` 1 KiB blocks at byte 0 of a device.
std::vector<uint8_t> TinyFileSystem(const SuperShape& s) {
  std::vector<uint8_t> bytes(s.blocks * 1024, 0);
  const std::vector<uint8_t> super = MakeSuper(s);
  std::memcpy(&bytes[1024], super.data(), super.size());
  const std::vector<uint8_t> table = MakeTable(s);
  std::memcpy(&bytes[2048], table.data(), table.size());
  return bytes;
}

// Scans the whole device as one block.
void ScanWhole(CEXT2SearchController& search, IStorageDevice& device) {
  search.SetDevice(&device);
  search.StartSearch();
  search.AnalyzeBlock(0, device.GetSectorCount());
}

TEST(Ext2SearchedPartition, OneHundredGroupsTakeSevenDescriptorSectorsTheLastGivingFour) {
  SuperShape s;
  s.blocks = 1 + 100ull * 8192;
  CExt2SearchedPartitionInfo r(MakeSuper(s).data(), 2, 512);
  EXPECT_EQ(GetGroupDescriptorSectors(100), 7u);
  EXPECT_TRUE(r.IsGroupDescriptorSector(4));
  EXPECT_FALSE(r.IsGroupDescriptorSector(3));
  std::vector<uint8_t> table = MakeTable(s);
  table.resize(7 * 512, 0xAA);
  for (int i = 0; i < 7; ++i) {
    EXPECT_FALSE(r.IsDescriptorTableComplete()) << i;
    r.AddGroupDescriptorSector(&table[i * 512], 4 + i);
  }
  EXPECT_TRUE(r.IsDescriptorTableComplete());
  // 6 full sectors of 16 descriptors, then 4 from the seventh.
  EXPECT_EQ(r.GetDescriptorBytes(), 3200u);
  EXPECT_EQ(r.GetFirstDescriptorSector512(), 4u);
  r.AddGroupDescriptorSector(&table[0], 11);
  EXPECT_EQ(r.GetDescriptorBytes(), 3200u);
  EXPECT_TRUE(r.HasValidGroupDescriptors());
}

TEST(Ext2SearchedPartition, PrimaryAndGroupOneCopyAreOnePartition) {
  SuperShape s;
  s.blocks = 3 * 8192;
  const uint64_t start = 2048;
  auto primary = Collected(s, start + 2);
  SuperShape copy = s;
  copy.groupNr = 1;
  auto backup = Collected(copy, start + 2 + 16384);
  EXPECT_EQ(backup->GetStart512(), start);
  EXPECT_EQ(primary->GetStart512(), start);
  EXPECT_TRUE(primary->IsSamePartition(*backup));
  EXPECT_TRUE(backup->IsSamePartition(*primary));
  // The same copy seen 8 sectors further on has another start.
  auto shifted = Collected(copy, start + 2 + 16384 + 8);
  EXPECT_FALSE(primary->IsSamePartition(*shifted));
  // Another file system (uuid) is another partition.
  SuperShape other = s;
  other.uuid = 9;
  EXPECT_FALSE(primary->IsSamePartition(*Collected(other, start + 2)));
  // A copy whose primary would lie before the device's start.
  EXPECT_LT(CExt2SearchedPartitionInfo::PrimarySector512(CExt2SuperBlock(MakeSuper(copy).data()), 1000), 0);
}

TEST(Ext2SearchedPartition, SavedFormRoundTrip) {
  SuperShape s;
  s.journal = 8;
  auto r = Collected(s, 4096 + 2, 4096);
  r->SetPoints(60);
  CMemoryScanStream stream;
  ASSERT_TRUE(r->Save(&stream));
  EXPECT_EQ(stream.Bytes().size(), CExt2SearchedPartitionInfo::kSavedSize);
  EXPECT_EQ(CExt2SearchedPartitionInfo::kSavedSize, 88u);
  CExt2SearchedPartitionInfo back(4096);
  stream.Rewind();
  ASSERT_TRUE(back.Load(&stream));
  EXPECT_EQ(back.GetType(), EFileSystemType::Ext3);
  EXPECT_EQ(back.GetStartSector(), 512u);
  EXPECT_EQ(back.GetSectorCount(), r->GetSectorCount());
  EXPECT_EQ(back.GetSectorsPerCluster(), 0u);  // 1 KiB blocks in 4 KiB sectors
  EXPECT_EQ(back.GetPoints(), 60u);
  EXPECT_EQ(back.GetFirstDescriptorSector512(), 4096u + 4);
  EXPECT_TRUE(back.IsSuperBlockValid());
  EXPECT_TRUE(back.HasNoDescriptorTable());
  // A short stream is refused.
  CMemoryScanStream shortStream(stream.Bytes().data(), 80);
  CExt2SearchedPartitionInfo none(512);
  EXPECT_FALSE(none.Load(&shortStream));
}

TEST(Ext2SearchController, ScoringTable) {
  const struct {
    uint32_t n;
    bool atPrimary, superValid, recordValid;
    uint64_t score;
  } cases[] = {
      {1, true, true, true, 60},    {1, true, false, true, 30},    {1, false, true, true, 45},
      {1, false, false, true, 20},  {2, true, true, true, 100},    {2, true, false, true, 80},
      {3, true, true, false, 90},   {2, false, true, true, 90},    {2, false, false, true, 70},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CEXT2SearchController::ScoreOf(c.n, c.atPrimary, c.superValid, c.recordValid), c.score)
        << c.n << c.atPrimary << c.superValid << c.recordValid;
}

TEST(Ext2SearchController, TenSectorBlockOfA4096ByteDeviceIsScannedAsEightySectors) {
  SuperShape s;
  s.blocks = 40;  // 40 KiB: 10 sectors of 4096 bytes
  const std::vector<uint8_t> bytes = TinyFileSystem(s);
  for (const std::vector<uint64_t>& blocks : {std::vector<uint64_t>{10}, {1, 9}, {1, 1, 1, 7}}) {
    MemoryDevice device(bytes, 4096);
    CEXT2SearchController search;
    search.SetDevice(&device);
    search.StartSearch();
    uint64_t at = 0;
    for (uint64_t n : blocks) {
      search.AnalyzeBlock(at, n);
      at += n;
    }
    search.EndSearch();
    ASSERT_EQ(search.GetFound().size(), 1u) << blocks.size();
    const CExt2SearchedPartitionInfo* p = search.GetFound().front();
    EXPECT_EQ(p->GetStartSector(), 0u);
    EXPECT_EQ(p->GetBytesPerSector(), 4096u);
    EXPECT_EQ(p->GetSectorCount(), 10u);
    EXPECT_EQ(p->GetFoundSector512(), 2u);
    EXPECT_EQ(p->GetFirstDescriptorSector512(), 4u);
    EXPECT_EQ(p->GetPoints(), 60u);
    // One read per block handed over.
    EXPECT_EQ(device.readLog.size(), blocks.size());
  }
}

TEST(Ext2SearchController, NodeInPartitionByInodeRange) {
  SuperShape s;
  s.blocks = 40;
  MemoryDevice device(TinyFileSystem(s), 512);
  CEXT2SearchController search;
  ScanWhole(search, device);
  ASSERT_EQ(search.GetFound().size(), 1u);
  CExt2SearchedPartitionInfo* p = search.GetFound().front();
  const struct {
    int64_t id;
    int in;
  } cases[] = {{5, 0}, {10, 0}, {11, 1}, {16, 1}, {17, 0}};
  for (const auto& c : cases) {
    CFileNode* node = CreateFileNode();
    node->SetId(c.id);
    EXPECT_EQ(search.IsNodeInPartition(node, p), c.in) << c.id;
    EXPECT_EQ(p->IsNodeInPartition(node), c.in) << c.id;
    EXPECT_EQ(search.IsNodeInPartition(node, nullptr), 0);
    DestroyFileNode(node);
  }
  CExt2SearchedPartitionInfo foreign(512);
  foreign.SetType(EFileSystemType::Ext2);
  CFileNode* node = CreateFileNode();
  node->SetId(12);
  EXPECT_EQ(search.IsNodeInPartition(node, &foreign), 0);
  DestroyFileNode(node);
}

// A bad sector among the descriptor sectors reads as zeros: the table is
// damaged and the candidate dropped, never filled from the sector before.
TEST(Ext2SearchController, UnreadableDescriptorSectorDropsTheCandidate) {
  SuperShape s;
  s.blocks = 1 + 20ull * 8192;  // 20 groups: 640 bytes of descriptors, sectors 4 and 5
  std::vector<uint8_t> bytes(64 * 1024, 0);
  const std::vector<uint8_t> super = MakeSuper(s);
  std::memcpy(&bytes[1024], super.data(), super.size());
  const std::vector<uint8_t> table = MakeTable(s);
  std::memcpy(&bytes[2048], table.data(), table.size());
  for (uint64_t bad : {4u, 5u}) {
    MemoryDevice memory(bytes, 512);
    auto plan = std::make_shared<testutil::FaultPlan>();
    plan->SetBadSector(bad);
    testutil::FaultInjectingDevice device(&memory, plan);
    CEXT2SearchController search;
    ScanWhole(search, device);
    search.EndSearch();
    EXPECT_TRUE(search.GetFound().empty()) << bad;
  }
  // Readable, the same bytes make a partition.
  MemoryDevice memory(bytes, 512);
  CEXT2SearchController search;
  ScanWhole(search, memory);
  EXPECT_EQ(search.GetFound().size(), 1u);
}

// Counts the nodes offered to a partition's tree (and refuses them).
struct CountingBuilder : testutil::RecordingTreeBuilder {
  int AddPartitionNode(CFileNode*, CSearchedPartitionInfo*) override {
    ++partitionNodes;
    return 0;
  }
  int partitionNodes = 0;
};

// During the scan a new file system gives the builder its volume node only,
// mapped to its record; finding it again merges into that record (no
// second record, no second node).
TEST(Ext2SearchController, AScanAnnouncesOnlyTheVolumeNodeAndMergesARepeatedFind) {
  SuperShape s;
  s.blocks = 40;
  MemoryDevice device(TinyFileSystem(s), 512);
  CountingBuilder builder;
  CEXT2SearchController search;
  search.SetTreeBuilder(&builder);
  search.SetDevice(&device);
  for (int pass = 0; pass < 2; ++pass) {
    search.StartSearch();
    search.AnalyzeBlock(0, device.GetSectorCount());
  }
  search.EndSearch();
  ASSERT_EQ(search.GetFound().size(), 1u);
  CExt2SearchedPartitionInfo* p = search.GetFound().front();
  EXPECT_EQ(p->GetTimesFound(), 2u);
  EXPECT_EQ(p->GetRecordMatchCount(), 1u);
  EXPECT_EQ(p->GetPoints(), 100u);
  ASSERT_EQ(builder.nodes.size(), 1u);
  EXPECT_TRUE(builder.nodes[0]->IsFileSystemNode());
  EXPECT_EQ(search.FindPartitionOfNode(builder.nodes[0]), p);
  EXPECT_EQ(builder.partitionNodes, 0);
  EXPECT_EQ(p->GetOwner(), &search);
  // The tree is built on demand, for that record only.
  EXPECT_EQ(search.BuildPartitionTree(p), 0);
  CExt2SearchedPartitionInfo foreign(MakeSuper(s).data(), 2, 512);
  EXPECT_EQ(search.BuildPartitionTree(&foreign), -1);
  EXPECT_EQ(search.BuildPartitionTree(nullptr), -1);
}

// A group-1 copy at sector 1000 of a file system with 8192 blocks of 1 KiB
// per group: its primary would lie 15384 sectors before the device.
TEST(Ext2SearchController, CopyWhosePrimaryLiesBeforeTheDeviceMakesNoRecord) {
  SuperShape s;
  s.blocks = 3 * 8192;
  s.groupNr = 1;
  std::vector<uint8_t> bytes(1024 * 1024, 0);
  const std::vector<uint8_t> super = MakeSuper(s);
  std::memcpy(&bytes[1000 * 512], super.data(), super.size());
  const std::vector<uint8_t> table = MakeTable(s);
  std::memcpy(&bytes[1002 * 512], table.data(), table.size());
  MemoryDevice device(bytes, 512);
  CEXT2SearchController search;
  ScanWhole(search, device);
  EXPECT_EQ(search.GetCandidate(), nullptr);
  EXPECT_TRUE(search.GetFound().empty());
}

// A block larger than what is read in one go (64 MiB) is read in pieces,
// the window carried across them: a superblock across the seam is found.
TEST(Ext2SearchController, BlockLargerThanOneReadIsScannedWhole) {
  SuperShape s;
  s.blocks = 40;
  const std::vector<uint8_t> fs = TinyFileSystem(s);
  const size_t start = (64u << 20) - 1024;  // the superblock's second sector lies past the seam
  std::vector<uint8_t> bytes(start, 0);
  bytes.insert(bytes.end(), fs.begin(), fs.end());
  bytes.resize(bytes.size() + 4096, 0);
  MemoryDevice device(bytes, 512);
  CEXT2SearchController search;
  ScanWhole(search, device);
  ASSERT_EQ(search.GetFound().size(), 1u);
  EXPECT_EQ(search.GetFound().front()->GetStartSector(), start / 512);
  EXPECT_EQ(device.readLog.size(), 2u);
}

}  // namespace
