// The inode, block-map, extent and directory readers at their edges, on
// volumes made by mke2fs (tests/fixtures/make-ext-images.sh) and inodes and
// map blocks written by hand into copies of them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "CExt2BlockIterator.h"
#include "CExt2DataRunList.h"
#include "CExt2DirEntryIterator.h"
#include "CExt2FileSystem.h"
#include "CExt2Inode.h"
#include "CExt2InodeIterator.h"
#include "CExt2QuickSearch.h"
#include "ImageFileDevice.h"
#include "MemoryDevice.h"
#include "TestUtil.h"

namespace {

std::string FixtureFolder() {
  std::string error;
  const std::string folder = testutil::SharedFixture("make-ext-images.sh", {}, "", error);
  EXPECT_FALSE(folder.empty()) << error;
  return folder;
}

// The inode number of a path, from debugfs ("Inode: 323   Type: ...").
uint32_t InodeOf(const std::string& image, const std::string& path) {
  const std::string r = testutil::Run({"debugfs", "-R", "stat " + path, image}).output;
  const size_t at = r.find("Inode: ");
  return at == std::string::npos ? 0 : static_cast<uint32_t>(std::stoul(r.substr(at + 7)));
}

uint32_t Entry(const CExt2FileSystem& fs, uint64_t block, uint32_t index) {
  std::vector<uint8_t> buffer(fs.GetSuperBlock().GetBlockSize());
  fs.ReadBlocks(buffer.data(), block, 1);
  return ReadLE32(buffer.data() + 4 * index);
}

// A raw inode: mode, size, size_high, i_blocks and some block pointers.
std::vector<uint8_t> RawInode(uint16_t mode, uint32_t size, uint32_t sizeHigh, uint32_t units,
                              std::vector<std::pair<int, uint32_t>> pointers = {}) {
  std::vector<uint8_t> raw(CExt2Inode::kRawSize, 0);
  WriteLE16(raw.data(), mode);
  WriteLE32(raw.data() + 4, size);
  WriteLE32(raw.data() + 108, sizeHigh);
  WriteLE32(raw.data() + 28, units);
  for (auto [i, b] : pointers) WriteLE32(raw.data() + 40 + 4 * i, b);
  return raw;
}

TEST(Ext2Reader, InodeSizesTable) {
  VT_REQUIRE_TOOL("mke2fs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  ImageFileDevice disk(folder + "/ext2-4k.img");
  CExt2FileSystem fs(&disk, 2);
  struct Case {
    const char* what;
    uint16_t mode;
    uint32_t size, sizeHigh, units;
    uint64_t rawSize, size64, blockCount;
    bool sparse;
  } cases[] = {
      {"size_high counts for a regular file", 0x81A4, 0, 1, 8, 1ull << 32, 1ull << 32, (1ull << 32) / 4096, true},
      {"but not for a folder", 0x41ED, 4096, 1, 8, 4096, 4096, 1, false},
      {"an empty size takes i_blocks", 0x81A4, 0, 0, 8, 0, 4096, 0, false},
      {"a 5000-byte file in two blocks", 0x81A4, 5000, 0, 16, 5000, 5000, 2, false},
      {"fewer units than the size: sparse", 0x81A4, 40960, 0, 8, 40960, 40960, 10, true},
  };
  for (const Case& c : cases) {
    const auto raw = RawInode(c.mode, c.size, c.sizeHigh, c.units);
    CExt2Inode inode(&fs, raw.data(), 40);
    EXPECT_EQ(inode.GetRawSize(), c.rawSize) << c.what;
    EXPECT_EQ(inode.GetSize(), c.size64) << c.what;
    EXPECT_EQ(inode.GetBlockCount(), c.blockCount) << c.what;
    EXPECT_EQ(inode.IsSparse(), c.sparse) << c.what;
  }
}

TEST(Ext2Reader, ScanBoundTable) {
  struct Case {
    uint32_t inodes, free;
    uint64_t end;
  } cases[] = {
      {1000, 998, 200},                // two in use: inodes 11 to 199
      {1000, 0, 1001},                 // all in use: to the last inode
      {60000000, 10000000, 60000001},  // 50 million in use: the product needs 64 bits
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes(CExt2SuperBlock::kSize, 0);
    WriteLE32(bytes.data(), c.inodes);
    WriteLE32(bytes.data() + 16, c.free);
    const CExt2SuperBlock super(bytes.data());
    EXPECT_EQ(CExt2InodeIterator::Begin(super), 11u);
    EXPECT_EQ(CExt2InodeIterator::End(super), c.end) << c.inodes << " inodes, " << c.free << " free";
  }
}

TEST(Ext2Reader, BlockMapLevelsAt1KiB) {
  VT_REQUIRE_TOOL("debugfs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  for (const char* image : {"ext2-1k.img", "ext3.img"}) {
    const std::string path = folder + "/" + image;
    ImageFileDevice disk(path);
    CExt2FileSystem fs(&disk, 2);
    const uint32_t number = InodeOf(path, "/sparse5g.bin");
    ASSERT_NE(number, 0u);
    CExt2Inode inode(&fs, number);
    CExt2BlockIterator it = inode.BlocksBegin();
    // k = 256: 267 is the last entry of the single-indirect block, 268 the
    // first behind the double-indirect one, 65804 the first triple-indirect.
    const uint64_t single = Entry(fs, inode.BlockPointer(12), 255);
    const uint64_t dbl = Entry(fs, Entry(fs, inode.BlockPointer(13), 0), 0);
    const uint64_t triple = Entry(fs, Entry(fs, Entry(fs, inode.BlockPointer(14), 0), 0), 0);
    for (auto [logical, expected] : {std::pair{267ull, single}, std::pair{268ull, dbl}, std::pair{65804ull, triple}}) {
      ASSERT_NE(expected, 0u) << image << " " << logical;
      EXPECT_EQ(it.GetBlockNumber(logical), expected) << image << " " << logical;
      std::vector<char> data(1024);
      fs.ReadBlocks(data.data(), expected, 1);
      EXPECT_EQ(std::string(data.data()), "marker at " + std::to_string(logical) + " KiB\n");
    }
    // The last block of a file over 4 GiB is cut at its size.
    const uint64_t size = inode.GetRawSize();
    CExt2BlockIterator last(&inode, size / 1024);
    const Ext2BlockData data = last.ReadBlock();
    ASSERT_NE(data.data, nullptr);
    EXPECT_EQ(data.length, size % 1024);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data) + 10, 8), "the tail");
  }
}

TEST(Ext2Reader, SecondBlockOfA5000ByteFileHolds904Bytes) {
  VT_REQUIRE_TOOL("debugfs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  for (const char* image : {"ext2-4k.img", "ext4.img"}) {
    const std::string path = folder + "/" + image;
    ImageFileDevice disk(path);
    CExt2FileSystem fs(&disk, 2);
    CExt2Inode inode(&fs, InodeOf(path, "/five-thousand.bin"));
    CExt2BlockIterator it = inode.BlocksBegin();
    EXPECT_EQ(it.ReadBlock().length, 4096u) << image;
    ++it;
    const Ext2BlockData second = it.ReadBlock();
    EXPECT_EQ(second.length, 904u) << image;
    ++it;
    EXPECT_TRUE(it == inode.BlocksEnd());
  }
}

TEST(Ext2Reader, MapBlocksOutsideTheFileSystemAreHoles) {
  VT_REQUIRE_TOOL("mke2fs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  ImageFileDevice disk(folder + "/ext2-1k.img");
  CExt2FileSystem fs(&disk, 2);
  const uint32_t beyond = static_cast<uint32_t>(fs.GetSuperBlock().BlocksCount()) + 5;
  const uint32_t inside = 300;
  // 100 blocks; the single-indirect map lies beyond the end, so every block
  // behind it is a hole, and a data pointer beyond it is one too.
  const auto raw = RawInode(0x81A4, 100 * 1024, 0, 200, {{0, inside}, {1, beyond}, {12, beyond}});
  CExt2Inode inode(&fs, raw.data(), 40);
  CExt2BlockIterator it(&inode, 0);
  EXPECT_EQ(it.GetBlockNumber(0), inside);
  EXPECT_EQ(it.GetBlockNumber(1), 0u);
  for (uint64_t i = 12; i < 100; ++i) ASSERT_EQ(it.GetBlockNumber(i), 0u) << i;
  EXPECT_FALSE(inode.HasValidBlockPointers());
  const auto runs = CExt2QuickSearch::BuildDataRunList(inode);
  ASSERT_EQ(runs->GetRunCount(), 2u);
  EXPECT_EQ(runs->Runs()[0], (DataRun{inside, 1}));
  EXPECT_EQ(runs->Runs()[1], (DataRun{DataRun::kSparseStart, 99}));
}

// Triple-indirect blocks at 8 KiB blocks (k = 2048): their range starts
// beyond what 32 bits hold.
TEST(Ext2Reader, TripleIndirectAt8KiBBlocks) {
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir dir("ext2-8k");
  const std::string image = dir.file("8k.img");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "16M", image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", "-b", "8192", image}).exitCode, 0);
  const std::string bytes = testutil::ReadFile(image);
  testutil::MemoryDevice disk(std::vector<uint8_t>(bytes.begin(), bytes.end()));
  constexpr uint64_t kBlock = 8192, k = kBlock / 4;
  // Map blocks and data written into free blocks near the end.
  const uint32_t dbl = 1900, dbl1 = 1901, t0 = 1902, t1 = 1903, t2 = 1904, dataDouble = 1905, dataTriple = 1906;
  auto put = [&](uint32_t block, uint32_t index, uint32_t value) {
    WriteLE32(disk.Bytes().data() + block * kBlock + 4 * index, value);
  };
  put(dbl, k - 1, dbl1);
  put(dbl1, k - 1, dataDouble);
  put(t0, 0, t1);
  put(t1, 0, t2);
  put(t2, 0, dataTriple);
  CExt2FileSystem fs(&disk, 2);
  const uint64_t tripleBase = 12 + k + k * k;
  const uint64_t size = (tripleBase + 1) * kBlock;
  const auto raw =
      RawInode(0x81A4, static_cast<uint32_t>(size), static_cast<uint32_t>(size >> 32), 64, {{13, dbl}, {14, t0}});
  CExt2Inode inode(&fs, raw.data(), 40);
  CExt2BlockIterator it(&inode, 0);
  EXPECT_EQ(it.GetBlockNumber(tripleBase - 1), dataDouble);
  EXPECT_EQ(it.GetBlockNumber(tripleBase), dataTriple);
  EXPECT_EQ(it.GetBlockNumber(tripleBase + 1), 0u);
  // The run list: one hole, the double-indirect block, the triple one.
  const auto runs = CExt2QuickSearch::BuildDataRunList(inode);
  ASSERT_EQ(runs->GetRunCount(), 2u);
  EXPECT_EQ(runs->Runs()[0], (DataRun{DataRun::kSparseStart, tripleBase - 1}));
  EXPECT_EQ(runs->Runs()[1], (DataRun{dataDouble, 2}));
}

TEST(Ext2Reader, DirectoryWindowLoadsTheNextBlockAt760) {
  VT_REQUIRE_TOOL("debugfs");
  const std::string folder = FixtureFolder();
  ASSERT_FALSE(folder.empty());
  const std::string path = folder + "/ext2-1k.img";
  ImageFileDevice disk(path);
  CExt2FileSystem fs(&disk, 2);
  CExt2Inode dir(&fs, InodeOf(path, "/big300"));
  ASSERT_TRUE(dir.IsDirectory());
  ASSERT_GT(dir.GetSize(), 4096u);
  int entries = 0;
  uint64_t window = 0;
  for (CExt2DirEntryIterator it(&dir, 0); !it.IsEnd(); ++it, ++entries) {
    const uint64_t offset = it.GetOffset();
    // The block the window ends with is the one offset + 264 falls in.
    const uint64_t expected = (offset + 264) / 1024;
    EXPECT_EQ(it.GetWindowBlock(), std::min<uint64_t>(expected, dir.GetBlockCount() - 1)) << "at " << offset;
    if (offset < 760) {
      EXPECT_EQ(it.GetWindowBlock(), 0u);
    }
    window = it.GetWindowBlock();
    EXPECT_FALSE((*it).GetName().empty());
  }
  EXPECT_EQ(window, dir.GetBlockCount() - 1);
  EXPECT_GE(entries, 302);
  // An empty directory: begin is end.
  const auto raw = RawInode(0x41ED, 0, 0, 0);
  CExt2Inode empty(&fs, raw.data(), 40);
  EXPECT_TRUE(CExt2DirEntryIterator(&empty, 0) == CExt2DirEntryIterator(&empty, 0));
  EXPECT_TRUE(CExt2DirEntryIterator(&empty, 0).IsEnd());
}

}  // namespace
