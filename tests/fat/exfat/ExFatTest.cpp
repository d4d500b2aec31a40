#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <regex>

#include "ByteOrder.h"
#include "CExFatDBR.h"
#include "CExFatFATCache.h"
#include "CExFatVolumeAnalyer.h"
#include "ExFatDirEntry.h"
#include "ImageFileDevice.h"
#include "LoopDevice.h"
#include "TestUtil.h"

namespace {

std::string BlkidValue(const std::string& image, const std::string& key) {
  auto r = testutil::Run({"blkid", "-p", "-s", key, "-o", "value", image});
  std::string v = r.output;
  while (!v.empty() && (v.back() == '\n' || v.back() == '\r')) v.pop_back();
  return v;
}

uint64_t FsstatSectors(const std::string& image) {
  // fsstat has been seen to hang on an exFAT volume without a label.
  auto r = testutil::Run({"timeout", "20", "fsstat", "-f", "exfat", image});
  std::smatch m;
  std::regex range(R"(Range: 0 - (\d+))");
  if (!std::regex_search(r.output, m, range)) return 0;
  return std::stoull(m[1]) + 1;
}

std::string Label(IVolume* v, unsigned size = 256) {
  std::vector<char> buf(size + 1, '\x7f');
  v->GetVolumeLabel(buf.data(), size);
  return buf[0] == '\x7f' ? std::string("<nothing>") : std::string(buf.data());
}

TEST(ExFatVolume, AgreesWithBlkidAndFsstat) {
  VT_REQUIRE_TOOL("mkfs.exfat");
  testutil::TempDir dir("exfat");
  struct Case {
    const char* size;
    std::vector<std::string> args;
  } cases[] = {{"8M", {"-L", "MyExfat"}}, {"16M", {"-c", "4K", "-L", "Daten ü"}}, {"8M", {}}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string image = dir.file("x" + std::to_string(n++));
    ASSERT_EQ(testutil::Run({"truncate", "-s", c.size, image}).exitCode, 0);
    std::vector<std::string> argv = {"mkfs.exfat"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back(image);
    ASSERT_EQ(testutil::Run(argv).exitCode, 0);
    SCOPED_TRACE(image);
    ImageFileDevice disk(image);
    std::unique_ptr<IVolume> v(CreateExFatVolumeAnalyer(&disk, 0));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->GetFileSystemType(), EFileSystemType::exFAT);
    // mkfs.exfat gives the volume the whole image; fsstat agrees where it answers.
    EXPECT_EQ(v->GetSectorCount(), std::stoull(c.size) * 1024 * 1024 / 512);
    if (!c.args.empty()) {
      EXPECT_EQ(v->GetSectorCount(), FsstatSectors(image));
    }
    EXPECT_EQ(Label(v.get()), BlkidValue(image, "LABEL"));
  }
}

TEST(ExFatVolume, FourKilobyteSectors) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mkfs.exfat");
  testutil::TempDir dir("exfat");
  const std::string image = dir.file("4k");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "32M", image}).exitCode, 0);
  {
    // mkfs.exfat takes the sector size from the device.
    testutil::LoopDevice loop(image, 4096, 0);
    ASSERT_TRUE(loop.ok()) << loop.error();
    auto mk = testutil::Run({"mkfs.exfat", "-L", "FOURK", loop.Path()});
    ASSERT_EQ(mk.exitCode, 0) << mk.output;
  }
  ImageFileDevice disk(image, 4096);
  std::unique_ptr<IVolume> v(CreateExFatVolumeAnalyer(&disk, 0));
  ASSERT_TRUE(v);
  EXPECT_EQ(v->GetSectorCount(), 32u * 1024 * 1024 / 4096);
  EXPECT_EQ(Label(v.get()), "FOURK");
  ImageFileDevice wrongSize(image, 512);
  EXPECT_EQ(CreateExFatVolumeAnalyer(&wrongSize, 0), nullptr) << "4096-byte boot sector on a 512-byte device";
}

// A valid boot sector to damage field by field.
std::vector<uint8_t> GoodBootSector() {
  std::vector<uint8_t> s(512, 0);
  std::memcpy(&s[3], "EXFAT   ", 8);
  WriteLE64(&s[72], 65536);  // volume length
  WriteLE32(&s[80], 128);    // FAT offset
  WriteLE32(&s[84], 64);     // FAT length
  WriteLE32(&s[88], 192);    // heap offset
  WriteLE32(&s[92], 8168);   // cluster count
  WriteLE32(&s[96], 4);      // root cluster
  s[108] = 9;
  s[109] = 3;
  s[110] = 1;
  WriteLE16(&s[510], 0xAA55);
  return s;
}

TEST(ExFatDBR, Checks) {
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    uint32_t sectorSize;
    bool valid;
  } cases[] = {
      {"good", [](auto&) {}, 512, true},
      {"no signature", [](auto& s) { s[510] = 0; }, 512, false},
      {"name", [](auto& s) { s[3] = 'N'; }, 512, false},
      {"must-be-zero byte", [](auto& s) { s[40] = 1; }, 512, false},
      {"4096-byte sectors on a 512-byte device", [](auto& s) { s[108] = 12; }, 512, false},
      {"shift sum 25 passes", [](auto& s) { s[108] = 12; s[109] = 13; WriteLE32(&s[92], 1); }, 4096, true},
      {"shift sum 26 fails", [](auto& s) { s[108] = 12; s[109] = 14; WriteLE32(&s[92], 1); }, 4096, false},
      {"root cluster 1", [](auto& s) { WriteLE32(&s[96], 1); }, 512, false},
      {"root cluster 2", [](auto& s) { WriteLE32(&s[96], 2); }, 512, true},
      {"FAT ends at the heap", [](auto& s) { WriteLE32(&s[84], 64); }, 512, true},
      {"FAT one sector into the heap", [](auto& s) { WriteLE32(&s[84], 65); }, 512, false},
      {"last cluster starts at the volume end", [](auto& s) { WriteLE32(&s[92], (65536 - 192) / 8 + 1); }, 512, true},
      {"last cluster one sector later", [](auto& s) { WriteLE64(&s[72], 65535); WriteLE32(&s[92], (65536 - 192) / 8 + 1); }, 512, false},
      {"three FATs", [](auto& s) { s[110] = 3; }, 512, false},
      {"zero cluster count", [](auto& s) { WriteLE32(&s[92], 0); }, 512, false},
      {"huge offsets", [](auto& s) { WriteLE32(&s[80], 0xFFFFFFFF); WriteLE32(&s[84], 0xFFFFFFFF); }, 512, false},
  };
  for (const auto& c : cases) {
    auto s = GoodBootSector();
    c.change(s);
    EXPECT_EQ(CExFatDBR(s.data()).IsValid(c.sectorSize), c.valid) << c.name;
  }
  for (auto [x, want] : std::vector<std::pair<uint32_t, uint32_t>>{{0, 0}, {1, 0}, {512, 9}, {1023, 9}, {4096, 12}})
    EXPECT_EQ(FloorLog2(x), want) << x;
}

// A device that counts reads, over a FAT whose entry n holds n + 0x1000.
class FatDevice : public IStorageDevice {
 public:
  explicit FatDevice(uint64_t sectors) : m_sectors(sectors) { m_sectorSize = 512; }
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    ++reads;
    lastFirst = first;
    lastCount = count;
    if (first > m_sectors || count > m_sectors - first) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    for (uint64_t i = 0; i < count * 128; ++i) WriteLE32(out + 4 * i, static_cast<uint32_t>((first * 128 + i) + 0x1000));
    return 1;
  }
  uint64_t GetSectorCount() override { return m_sectors; }
  int GetSectorSize() override { return 512; }
  int Open() override { return 1; }
  int Close() override { return 1; }
  int reads = 0;
  uint64_t lastFirst = 0, lastCount = 0;

 private:
  uint64_t m_sectors;
};

TEST(ExFatFATCache, ChunksAndEviction) {
  FatDevice small(100);
  CExFatFATCache cache;
  cache.Open(&small, 0, 10, 0);
  ASSERT_TRUE(cache.IsOpen());
  EXPECT_EQ(small.lastCount, 10u) << "the first chunk holds only the FAT";
  EXPECT_EQ(cache.GetEntry(100), 100u + 0x1000);
  EXPECT_EQ(cache.GetEntry(10 * 128), CExFatFATCache::kNoEntry) << "outside the FAT";
  EXPECT_EQ(small.reads, 1);

  FatDevice big(40000);
  cache.Open(&big, 0, 30000, 0);
  EXPECT_EQ(cache.GetEntry(262144), 262144u + 0x1000);
  EXPECT_EQ(big.lastFirst, 2048u) << "the second chunk starts 1 MiB into the FAT";
  for (uint32_t chunk = 0; chunk < 10; ++chunk) cache.GetEntry(chunk * 262144);
  EXPECT_EQ(cache.CachedChunks(), 9u);
  const int before = big.reads;
  cache.GetEntry(9 * 262144 + 5);
  EXPECT_EQ(big.reads, before) << "the highest chunks stay cached";
  cache.GetEntry(1);
  EXPECT_EQ(big.reads, before + 1) << "the lowest was evicted";
  // The last chunk is read only up to the FAT's end.
  cache.GetEntry(14 * 262144 + 1);
  EXPECT_EQ(big.lastCount, 30000u - 14 * 2048);

  CExFatFATCache atEnd;
  atEnd.Open(&small, 90, 10, 0);
  EXPECT_FALSE(atEnd.IsOpen()) << "a FAT reaching the device end";
  EXPECT_EQ(atEnd.GetEntry(3), CExFatFATCache::kNoEntry);
}

std::vector<uint8_t> Entry(uint8_t type) {
  std::vector<uint8_t> e(32, 0);
  e[0] = type;
  return e;
}

TEST(ExFatDirEntry, Checks) {
  const uint32_t good = (45u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  EXPECT_TRUE(IsValidExFatTimestamp(good));
  EXPECT_FALSE(IsValidExFatTimestamp(good & ~(31u << 16))) << "day 0";
  EXPECT_FALSE(IsValidExFatTimestamp((good & ~31u) | 30u)) << "two-second count 30";

  auto file = Entry(0x85);
  file[1] = 2;
  for (size_t off : {8, 12, 16}) WriteLE32(&file[off], good);
  EXPECT_TRUE(IsValidExFatFileEntry(file.data()));
  for (uint8_t count : {1, 19}) {
    auto f = file;
    f[1] = count;
    EXPECT_FALSE(IsValidExFatFileEntry(f.data())) << int(count);
  }
  auto f200 = file;
  f200[20] = 200;
  EXPECT_FALSE(IsValidExFatFileEntry(f200.data()));

  ExFatGeometry g{9, 12, 65536};
  auto stream = Entry(0xC0);
  EXPECT_TRUE(IsValidExFatStreamEntry(stream.data(), g)) << "no cluster, no data";
  WriteLE32(&stream[20], 1);
  EXPECT_FALSE(IsValidExFatStreamEntry(stream.data(), g));

  auto name = Entry(0xC1);
  WriteLE16(&name[2], 'a');
  WriteLE16(&name[4], '*');
  WriteLE16(&name[6], 'b');
  EXPECT_FALSE(IsValidExFatFileNameEntry(name.data()));
  WriteLE16(&name[2], 0x0100);
  WriteLE16(&name[4], 0x4E2D);
  WriteLE16(&name[6], 0);
  EXPECT_TRUE(IsValidExFatFileNameEntry(name.data()));

  auto label = Entry(0x83);
  label[1] = 12;
  EXPECT_FALSE(IsValidExFatVolumeLabelEntry(label.data()));
  label[1] = 4;
  const char16_t data[] = u"DATA";
  for (int i = 0; i < 4; ++i) WriteLE16(&label[2 + 2 * i], data[i]);
  EXPECT_TRUE(IsValidExFatVolumeLabelEntry(label.data()));

  // Label search: "DATA" then the end marker; a cluster of valid entries reads to its end.
  std::vector<uint8_t> dir(label);
  dir.resize(128, 0);
  char16_t found[12] = {};
  ExFatWalkEnd how;
  EXPECT_TRUE(FindExFatVolumeLabel(dir.data(), dir.size(), found, g, &how));
  EXPECT_EQ(how, ExFatWalkEnd::EndOfDirectory);
  EXPECT_EQ(std::u16string(found), u"DATA");
  std::vector<uint8_t> full;
  for (int i = 0; i < 4; ++i) full.insert(full.end(), label.begin(), label.end());
  EXPECT_FALSE(FindExFatVolumeLabel(full.data(), full.size(), found, g, &how));
  EXPECT_EQ(how, ExFatWalkEnd::AllRead);
}

TEST(ExFatDirEntry, SetChecksum) {
  std::vector<uint8_t> set = Entry(0x85);
  auto s2 = Entry(0xC0), s3 = Entry(0xC1);
  set.insert(set.end(), s2.begin(), s2.end());
  set.insert(set.end(), s3.begin(), s3.end());
  set[5] = 0x42;
  uint16_t sum = 0;
  for (size_t i = 0; i < set.size(); ++i)
    if (i != 2 && i != 3) sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + set[i]);
  EXPECT_TRUE(ExFatEntrySetChecksum(set.data(), set.size(), sum));
  EXPECT_FALSE(ExFatEntrySetChecksum(set.data(), set.size(), 0));
  auto deleted = set;
  deleted[0] = 0x05;
  deleted[32] = 0x40;
  deleted[64] = 0x41;
  EXPECT_TRUE(ExFatEntrySetChecksum(deleted.data(), deleted.size(), sum)) << "the sum it had while in use";
}

TEST(ExFatVolume, DamagedImagesAreNotRecognisedOrEndCleanly) {
  VT_REQUIRE_TOOL("mkfs.exfat");
  testutil::TempDir dir("exfat");
  const std::string image = dir.file("x");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "8M", image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mkfs.exfat", "-L", "LOOPY", image}).exitCode, 0);
  std::string bytes = testutil::ReadFile(image);
  const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint64_t fat = ReadLE32(s + 80), root = ReadLE32(s + 96);

  // The root directory's chain loops onto itself: the walk must end.
  std::string loop = bytes;
  WriteLE32(reinterpret_cast<uint8_t*>(&loop[fat * 512 + root * 4]), static_cast<uint32_t>(root));
  testutil::WriteFile(dir.file("loop"), loop);
  ImageFileDevice loopDisk(dir.file("loop"));
  std::unique_ptr<IVolume> v(CreateExFatVolumeAnalyer(&loopDisk, 0));
  ASSERT_TRUE(v);
  EXPECT_EQ(Label(v.get()), "LOOPY");
  EXPECT_EQ(Label(v.get(), 5), "<nothing>") << "a label that does not fit is not written";

  std::string noise(8 << 20, '\0');
  uint32_t x = 7;
  for (auto& ch : noise) ch = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  for (const std::string& content : {std::string(8 << 20, '\0'), noise, bytes.substr(0, 300)}) {
    testutil::WriteFile(dir.file("junk"), content);
    ImageFileDevice disk(dir.file("junk"));
    EXPECT_EQ(CreateExFatVolumeAnalyer(&disk, 0), nullptr);
  }
}

}  // namespace
