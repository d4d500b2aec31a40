// Reading a found file's contents through its data runs.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "CFATFileProperties.h"
#include "CFileDataReader.h"
#include "CFileSystemNode.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "CResidentNTFSDataRunList.h"
#include "MemoryDevice.h"

namespace {

using testutil::MemoryDevice;

// A node of `size` bytes with the given runs (none: no list at all).
std::unique_ptr<CFileNode> FileNode(int64_t size, const std::vector<DataRun>& runs) {
  auto node = std::make_unique<CFileNode>();
  CFATFileProperties* p = CreateFATFileProperties();
  p->SetFileSize(size);
  if (!runs.empty()) {
    auto* list = new CNoneResidentNTFSDataRunList;
    for (const DataRun& r : runs) list->AddRun(r);
    p->SetDataRunList(list);
  }
  node->SetProperties(p);
  return node;
}

// Sector s of the device holds the byte s + 1 throughout.
MemoryDevice NumberedDevice(size_t sectors) {
  std::vector<uint8_t> bytes(sectors * 512);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i / 512 + 1);
  return MemoryDevice(bytes);
}

}  // namespace

TEST(FileDataReader, ReadsAcrossRunsAndStopsAtTheFileSize) {
  MemoryDevice dev = NumberedDevice(64);
  // 4096-byte clusters (8 sectors) from sector 4: cluster 1 is sectors 12-19.
  auto small = FileNode(600, {{1, 1}});
  CFileDataReader reader;
  ASSERT_TRUE(reader.OpenAt(&dev, small.get(), 4, 8));
  std::vector<uint8_t> out(1024, 0xEE);
  uint32_t got = 0;
  ASSERT_TRUE(reader.Read(0, out.data(), 1024, got));
  EXPECT_EQ(got, 600u);
  EXPECT_EQ(out[0], 13);
  EXPECT_EQ(out[599], 14);
  EXPECT_EQ(out[600], 0xEE);
  EXPECT_FALSE(reader.Read(600, out.data(), 10, got));  // at the end
  EXPECT_EQ(got, 0u);

  // Two clusters in two runs (1 sector each), a hole between them read as
  // zeros, read in one call starting inside the first.
  auto split = FileNode(1536, {{30, 1}, {DataRun::kSparseStart, 1}, {7, 1}});
  ASSERT_TRUE(reader.OpenAt(&dev, split.get(), 0, 1));
  ASSERT_TRUE(reader.Read(500, out.data(), 1000, got));
  EXPECT_EQ(got, 1000u);
  EXPECT_EQ(out[0], 31);
  EXPECT_EQ(out[11], 31);
  EXPECT_EQ(out[12], 0);
  EXPECT_EQ(out[523], 0);
  EXPECT_EQ(out[524], 8);
  EXPECT_EQ(out[999], 8);

  // Runs shorter than the file leave fewer bytes; a run off the device fails.
  auto shortRuns = FileNode(4096, {{2, 1}});
  ASSERT_TRUE(reader.OpenAt(&dev, shortRuns.get(), 0, 1));
  ASSERT_TRUE(reader.Read(0, out.data(), 1024, got));
  EXPECT_EQ(got, 512u);
  auto offDevice = FileNode(512, {{1000, 1}});
  ASSERT_TRUE(reader.OpenAt(&dev, offDevice.get(), 0, 1));
  EXPECT_FALSE(reader.Read(0, out.data(), 512, got));
  // A list held inside an NTFS record is not read from the device.
  auto resident = FileNode(100, {});
  auto* inRecord = new CResidentNTFSDataRunList;
  inRecord->SetRun(3, 1, 24);
  static_cast<CFATFileProperties*>(resident->GetProperties())->SetDataRunList(inRecord);
  ASSERT_TRUE(reader.OpenAt(&dev, resident.get(), 0, 1));
  EXPECT_FALSE(reader.Read(0, out.data(), 100, got));
  EXPECT_EQ(got, 0u);
  // A start that would leave the 64-bit sector range is not read.
  auto huge = FileNode(512, {{UINT64_MAX / 2, 1}});
  ASSERT_TRUE(reader.OpenAt(&dev, huge.get(), 0, 8));
  EXPECT_FALSE(reader.Read(0, out.data(), 512, got));
}

TEST(FileDataReader, OpenRefusesWhatCannotBeRead) {
  MemoryDevice dev = NumberedDevice(8);
  CFileDataReader reader;
  auto empty = FileNode(0, {{1, 1}});
  auto noRuns = FileNode(100, {});
  auto fine = FileNode(100, {{1, 1}});
  EXPECT_FALSE(reader.OpenAt(&dev, empty.get(), 0, 1));
  EXPECT_FALSE(reader.OpenAt(&dev, noRuns.get(), 0, 1));
  EXPECT_FALSE(reader.OpenAt(nullptr, fine.get(), 0, 1));
  EXPECT_FALSE(reader.OpenAt(&dev, nullptr, 0, 1));
  EXPECT_FALSE(reader.OpenAt(&dev, fine.get(), 0, 0));
  EXPECT_FALSE(reader.OpenAt(&dev, fine.get(), 0, 1 << 20));  // a damaged cluster size
  CFileNode bare;
  EXPECT_FALSE(reader.OpenAt(&dev, &bare, 0, 1));
  // Open takes the geometry of the file system above the node; none: 0.
  EXPECT_FALSE(reader.Open(&dev, fine.get()));
  std::unique_ptr<CFileSystemNode> root(CreateFileSystemNode());
  root->SetPartitionGeometry(2, 2);
  root->AddChild(fine.get());
  ASSERT_TRUE(reader.Open(&dev, fine.get()));
  uint8_t byte = 0;
  uint32_t got = 0;
  ASSERT_TRUE(reader.Read(0, &byte, 1, got));
  EXPECT_EQ(byte, 5);  // cluster 1 at sector 2 + 1 x 2
  root->RemoveChild(fine.get());
}
