// Reading a found file's contents through its data runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "CFATFileProperties.h"
#include "CFileDataReader.h"
#include "CFileSystemNode.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "CResidentNTFSDataRunList.h"
#include "MemoryDevice.h"
#include "ScanEngineRegistry.h"

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

namespace {

// The file's bytes as a reader that reads cluster by cluster would see them:
// the reference the coalescing reader is held to.
std::vector<uint8_t> BytesOfRuns(MemoryDevice& dev, const std::vector<DataRun>& runs, uint64_t start, int spc,
                                 size_t fileSize) {
  const size_t clusterBytes = static_cast<size_t>(dev.GetSectorSize()) * static_cast<size_t>(spc);
  std::vector<uint8_t> out;
  for (const DataRun& r : runs)
    for (uint64_t c = 0; c < r.length && out.size() < fileSize; ++c) {
      if (r.IsSparse()) {
        out.insert(out.end(), clusterBytes, 0);
        continue;
      }
      const size_t at = static_cast<size_t>(((r.start + c) * static_cast<uint64_t>(spc) + start) *
                                            static_cast<uint64_t>(dev.GetSectorSize()));
      out.insert(out.end(), dev.Bytes().begin() + at, dev.Bytes().begin() + at + clusterBytes);
    }
  if (out.size() > fileSize) out.resize(fileSize);
  return out;
}

}  // namespace

TEST(FileDataReader, ChunkedReadsAcrossRunsGiveTheRunsBytes) {
  const struct {
    int sectorSize;
    int spc;
    uint64_t start;
    std::vector<DataRun> runs;
    int64_t fileSize;
  } cases[] = {
      // 512-byte clusters, a hole, two runs that continue each other on disk.
      {512, 1, 0, {{40, 3}, {DataRun::kSparseStart, 2}, {10, 5}, {15, 4}, {3, 1}}, 15 * 512 - 77},
      // 4 KiB clusters from sector 64, long runs read straight into the caller's buffer.
      {512, 8, 64, {{30, 40}, {2, 20}, {DataRun::kSparseStart, 17}, {100, 33}}, 110 * 4096 - 1000},
      // 4096-byte sectors, 2 per cluster; the last run reaches past the file.
      {4096, 2, 6, {{5, 3}, {50, 9}, {20, 40}}, 30 * 8192 + 123},
  };
  for (const auto& c : cases) {
    MemoryDevice dev(600000 / c.sectorSize * 4, c.sectorSize);
    auto node = FileNode(c.fileSize, c.runs);
    const std::vector<uint8_t> want = BytesOfRuns(dev, c.runs, c.start, c.spc, static_cast<size_t>(c.fileSize));
    ASSERT_EQ(want.size(), static_cast<size_t>(c.fileSize));
    CFileDataReader reader;
    ASSERT_TRUE(reader.OpenAt(&dev, node.get(), c.start, c.spc));
    for (uint32_t chunk : {1u, 511u, 4097u, 70001u, 1u << 22}) {
      std::vector<uint8_t> got;
      std::vector<uint8_t> buf(chunk);
      uint32_t n = 0;
      while (reader.Read(got.size(), buf.data(), chunk, n) && n > 0)
        got.insert(got.end(), buf.begin(), buf.begin() + n);
      EXPECT_TRUE(got == want) << "sector " << c.sectorSize << " spc " << c.spc << " chunk " << chunk;
    }
    // A read that begins in the middle of a sector and of a run.
    std::vector<uint8_t> part(want.size());
    uint32_t n = 0;
    ASSERT_TRUE(reader.Read(1234, part.data(), 200000, n));
    ASSERT_EQ(n, std::min<size_t>(200000, want.size() - 1234));
    EXPECT_TRUE(std::equal(part.begin(), part.begin() + n, want.begin() + 1234));
  }
}

TEST(FileDataReader, ContiguousClustersAreReadInFewDeviceReads) {
  MemoryDevice dev(8000, 512);
  // Three runs of 64 clusters of 4 KiB: one device read per run.
  auto node = FileNode(3 * 64 * 4096, {{10, 64}, {300, 64}, {100, 64}});
  CFileDataReader reader;
  ASSERT_TRUE(reader.OpenAt(&dev, node.get(), 0, 8));
  std::vector<uint8_t> out(3 * 64 * 4096);
  uint32_t n = 0;
  dev.reads = 0;
  ASSERT_TRUE(reader.Read(0, out.data(), static_cast<uint32_t>(out.size()), n));
  EXPECT_EQ(n, out.size());
  EXPECT_EQ(dev.reads, 3);
  // Starting inside a sector adds at most a partial read at each end.
  dev.reads = 0;
  ASSERT_TRUE(reader.Read(1001, out.data(), 600000, n));
  EXPECT_EQ(n, 600000u);
  EXPECT_LE(dev.reads, 6);
  // A failed device read fails the read, and reports nothing read.
  dev.failSector = 300 * 8 + 5;
  EXPECT_FALSE(reader.Read(0, out.data(), static_cast<uint32_t>(out.size()), n));
  EXPECT_EQ(n, 0u);
}

namespace {

// A resident value inside a file record as the NTFS engine's reader sees it:
// the value is copied only when value offset + length lie inside the
// attribute and the attribute inside the record, and only when it fits.
struct FakeRecord {
  uint32_t recordBytes = 1024;
  uint32_t attributeOffset = 56;
  uint32_t attributeLength = 264;
  uint32_t valueOffset = 24;
  uint32_t valueLength = 200;
  bool claimTooMuch = false;  // reports a length beyond the capacity it was given
};

class FakeResidentReader {
 public:
  explicit FakeResidentReader(const FakeRecord& record) : m_record(record) {
    RegisterResidentDataReader(
        [this](CFileNode* node, IStorageDevice* device, uint64_t& length, void* out, uint64_t capacity) {
          lastNode = node;
          lastDevice = device;
          const FakeRecord& r = m_record;
          if (r.claimTooMuch) {
            length = capacity + 1;
            return 1;
          }
          const uint64_t attributeEnd = uint64_t{r.attributeOffset} + r.attributeLength;
          if (attributeEnd > r.recordBytes || uint64_t{r.valueOffset} + r.valueLength > r.attributeLength) return 0;
          if (r.valueLength > capacity) return 0;
          for (uint32_t i = 0; i < r.valueLength; ++i) static_cast<uint8_t*>(out)[i] = static_cast<uint8_t>(i * 7 + 1);
          length = r.valueLength;
          return 1;
        });
  }
  ~FakeResidentReader() { RegisterResidentDataReader(nullptr); }
  CFileNode* lastNode = nullptr;
  IStorageDevice* lastDevice = nullptr;

 private:
  FakeRecord m_record;
};

std::unique_ptr<CFileNode> ResidentNode(int64_t size) {
  auto node = FileNode(size, {});
  auto* inRecord = new CResidentNTFSDataRunList;
  inRecord->SetRun(3, 1, 24);
  static_cast<CFATFileProperties*>(node->GetProperties())->SetDataRunList(inRecord);
  return node;
}

}  // namespace

TEST(FileDataReader, ResidentValuesAreReadThroughTheRegisteredReader) {
  FakeRecord past;  // the value runs past its attribute
  past.valueOffset = 100;
  FakeRecord outside;  // the attribute runs past the record
  outside.attributeOffset = 900;
  FakeRecord big;  // a value larger than the reader's buffer
  big.recordBytes = big.attributeLength = 1u << 20;
  big.valueLength = CFileDataReader::kResidentCapacity + 1;
  FakeRecord liar;
  liar.claimTooMuch = true;
  const struct {
    const char* what;
    FakeRecord record;
    int64_t fileSize;
    uint64_t offset;
    uint32_t size;
    int result;
    uint32_t bytes;
  } cases[] = {
      {"200 bytes at offset 100", FakeRecord{}, 200, 100, 1024, 1, 100},
      {"the head", FakeRecord{}, 200, 0, 50, 1, 50},
      {"the last byte", FakeRecord{}, 200, 199, 1, 1, 1},
      {"at the end", FakeRecord{}, 200, 200, 10, 0, 0},
      {"a file size beyond the value", FakeRecord{}, 300, 150, 1024, 1, 50},
      {"past the value, inside the file size", FakeRecord{}, 300, 200, 10, 0, 0},
      {"value past its attribute", past, 200, 0, 200, 0, 0},
      {"attribute past the record", outside, 200, 0, 200, 0, 0},
      {"value larger than the buffer", big, big.valueLength, 0, 100, 0, 0},
      {"a length beyond the buffer", liar, 200, 0, 100, 0, 0},
  };
  MemoryDevice dev(64, 512);
  for (const auto& c : cases) {
    FakeResidentReader fake(c.record);
    auto node = ResidentNode(c.fileSize);
    CFileDataReader reader;
    ASSERT_TRUE(reader.OpenAt(&dev, node.get(), 0, 1)) << c.what;
    std::vector<uint8_t> out(c.size + 16, 0xEE);
    uint32_t got = 77;
    EXPECT_EQ(reader.Read(c.offset, out.data(), c.size, got), c.result) << c.what;
    EXPECT_EQ(got, c.bytes) << c.what;
    for (uint32_t i = 0; i < got; ++i) ASSERT_EQ(out[i], static_cast<uint8_t>((c.offset + i) * 7 + 1)) << c.what;
    EXPECT_EQ(out[got], 0xEE) << c.what;
    if (c.offset < static_cast<uint64_t>(c.fileSize)) {
      EXPECT_EQ(fake.lastNode, node.get()) << c.what;
      EXPECT_EQ(fake.lastDevice, &dev) << c.what;
    }
    EXPECT_EQ(dev.reads, 0) << c.what;  // nothing is read from the device's sectors
  }
  // With no reader registered, a resident list does not read.
  auto node = ResidentNode(200);
  CFileDataReader reader;
  ASSERT_TRUE(reader.OpenAt(&dev, node.get(), 0, 1));
  std::vector<uint8_t> out(200);
  uint32_t got = 0;
  EXPECT_FALSE(reader.Read(0, out.data(), 200, got));
  uint64_t length = 5;
  EXPECT_EQ(ReadResidentData(node.get(), &dev, length, out.data(), out.size()), 0);
  EXPECT_EQ(length, 0u);
}
