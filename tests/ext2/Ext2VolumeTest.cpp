#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <thread>

#include "ByteOrder.h"
#include "CExt2FileSystem.h"
#include "CExt2Volume.h"
#include "Ext2Exceptions.h"
#include "ImageFileDevice.h"
#include "RealVolumes.h"
#include "TestUtil.h"
#include "VolumeProbeFlag.h"

namespace {

// Facts an independent reader (dumpe2fs, blkid) gives about an image.
struct Facts {
  std::string type, label;
  uint64_t bytes = 0;
};

Facts ReadFacts(const std::string& image) {
  Facts f;
  auto blkid = testutil::Run({"blkid", "-p", "-o", "export", image});
  std::map<std::string, std::string> kv;
  size_t pos = 0;
  while (pos < blkid.output.size()) {
    size_t end = blkid.output.find('\n', pos);
    std::string line = blkid.output.substr(pos, end - pos);
    size_t eq = line.find('=');
    if (eq != std::string::npos) kv[line.substr(0, eq)] = line.substr(eq + 1);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  f.type = kv["TYPE"];
  f.label = kv["LABEL"];
  auto dump = testutil::Shell("dumpe2fs -h '" + image +
                              "' 2>/dev/null | awk -F: '/^Block count/{c=$2} /^Block size/{s=$2} END{print c*s}'");
  f.bytes = std::stoull(dump.output);
  return f;
}

std::string MakeImage(const testutil::TempDir& dir, const std::string& name, const std::vector<std::string>& mke2fs,
                      const std::string& size = "8M") {
  const std::string path = dir.file(name);
  EXPECT_EQ(testutil::Run({"truncate", "-s", size, path}).exitCode, 0);
  std::vector<std::string> argv = {"mke2fs", "-q", "-F"};
  argv.insert(argv.end(), mke2fs.begin(), mke2fs.end());
  argv.push_back(path);
  auto r = testutil::Run(argv);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return path;
}

std::string Label(IVolume& v) {
  char buf[64] = {};
  v.GetVolumeLabel(buf, sizeof buf);
  return buf;
}

TEST(Ext2Volume, AgreesWithBlkidAndDumpe2fs) {
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir dir("ext2");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    EFileSystemType type;
  } cases[] = {
      {"ext2 default", {"-t", "ext2", "-L", "plain"}, EFileSystemType::Ext2},
      {"ext2 128-byte inodes", {"-t", "ext2", "-I", "128", "-L", "small-inodes"}, EFileSystemType::Ext2},
      {"ext2 4k blocks", {"-t", "ext2", "-b", "4096", "-L", "fourk"}, EFileSystemType::Ext2},
      {"ext3 default", {"-t", "ext3", "-L", "journaled"}, EFileSystemType::Ext3},
      {"ext3 128-byte inodes", {"-t", "ext3", "-I", "128"}, EFileSystemType::Ext3},
      {"ext2 16-char label", {"-t", "ext2", "-L", "ABCDEFGHIJKLMNOP"}, EFileSystemType::Ext2},
      {"ext2 small groups", {"-t", "ext2", "-g", "1024", "-N", "64"}, EFileSystemType::Ext2},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string image = MakeImage(dir, "img" + std::to_string(n++), c.args);
    Facts facts = ReadFacts(image);
    ImageFileDevice disk(image);
    for (int probe : {0, 1}) {
      VolumeProbeActive = probe;
      CExt2Volume volume(&disk, 0);
      EXPECT_EQ(volume.GetFileSystemType(), c.type);
      EXPECT_EQ(volume.GetSectorCount() * 512, facts.bytes);
      EXPECT_EQ(Label(volume), facts.label);
    }
    VolumeProbeActive = 0;
  }
}

TEST(Ext2Volume, RealVolumeMadeByLinux) {
  std::string image;
  VT_REQUIRE_REAL_VOLUME(image, testutil::RealVolume("ext2.raw"));
  ImageFileDevice disk(image);
  CExt2Volume volume(&disk, 0);
  EXPECT_EQ(volume.GetFileSystemType(), EFileSystemType::Ext2);
  EXPECT_EQ(Label(volume), "ext2_test");
  EXPECT_EQ(volume.GetSectorCount(), 4u * 1024 * 1024 / 512);
  CExt2FileSystem fs(&disk, 2);
  EXPECT_TRUE(fs.HasGroupDescriptors());
}

TEST(Ext2Volume, PartitionInsideADisk) {
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir dir("ext2");
  const std::string fsImage = MakeImage(dir, "fs", {"-t", "ext2", "-L", "inner"}, "4M");
  const std::string disk = dir.file("disk");
  ASSERT_EQ(testutil::Shell("truncate -s 6M " + disk + " && dd if=" + fsImage + " of=" + disk +
                            " bs=512 seek=2048 conv=notrunc status=none")
                .exitCode,
            0);
  ImageFileDevice device(disk);
  CExt2Volume inside(&device, 2048);
  EXPECT_EQ(inside.GetFileSystemType(), EFileSystemType::Ext2);
  EXPECT_EQ(Label(inside), "inner");
  CExt2Volume atZero(&device, 0);
  EXPECT_EQ(atZero.GetFileSystemType(), EFileSystemType::Unknown);

  // A disk of 4096-byte sectors with the partition at sector 256: the
  // superblock is read at 512-byte sector 2050 through the 512-byte view,
  // and the size comes back in the disk's own sectors.
  const std::string bigSectors = dir.file("disk4k");
  ASSERT_EQ(testutil::Shell("truncate -s 6M " + bigSectors + " && dd if=" + fsImage + " of=" + bigSectors +
                            " bs=4096 seek=256 conv=notrunc status=none")
                .exitCode,
            0);
  ImageFileDevice device4k(bigSectors, 4096);
  CExt2Volume inside4k(&device4k, 256);
  EXPECT_EQ(inside4k.GetFileSystemType(), EFileSystemType::Ext2);
  EXPECT_EQ(inside4k.GetSectorCount(), 4u * 1024 * 1024 / 4096);
  EXPECT_EQ(Label(inside4k), "inner");
}

// Each case damages one field of a valid superblock; the probe must answer
// "not recognised" (or, where the mend says so, still recognise it).
TEST(Ext2Volume, DamagedSuperblocks) {
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir dir("ext2");
  const std::string base = MakeImage(dir, "base", {"-t", "ext2", "-b", "1024", "-L", "x"}, "4M");
  const std::string pristine = testutil::ReadFile(base);
  struct Case {
    const char* name;
    size_t offset;  // within the superblock
    int width;
    uint32_t value;
    bool recognised;
  } cases[] = {
      {"bad magic", 56, 2, 0x1234, false},
      {"zero blocks per group", 32, 4, 0, false},
      {"zero inodes per group", 40, 4, 0, false},
      {"zero block count", 4, 4, 0, false},
      {"block size shift out of range", 24, 4, 31, false},
      {"huge block size shift", 24, 4, 0xFFFFFFFF, false},
      {"blocks per group beyond one bitmap", 32, 4, 8 * 1024 + 8, false},
      {"inode size not a power of two", 88, 2, 200, false},
      {"inode size above the block size", 88, 2, 2048, false},
      {"inode size 256 is fine", 88, 2, 256, true},
      {"file system larger than the device", 4, 4, 1u << 30, false},
      {"first inode beyond the inode count", 84, 4, 0xFFFFFF, false},
      {"every inode free (fresh file system) is fine", 16, 4, 0, true},
      {"more free inodes than inodes", 16, 4, 0x7FFFFFFF, false},
      {"group number beyond the groups", 90, 2, 60000, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = pristine;
    uint8_t* sb = reinterpret_cast<uint8_t*>(&bytes[1024]);
    if (c.width == 2)
      WriteLE16(sb + c.offset, static_cast<uint16_t>(c.value));
    else
      WriteLE32(sb + c.offset, c.value);
    testutil::WriteFile(dir.file("damaged"), bytes);
    ImageFileDevice disk(dir.file("damaged"));
    CExt2Volume volume(&disk, 0);
    EXPECT_EQ(volume.GetFileSystemType() != EFileSystemType::Unknown, c.recognised);
    if (!c.recognised) {
      EXPECT_EQ(volume.GetSectorCount(), 0u);
      EXPECT_EQ(Label(volume), "");
    }
  }
  // Zeros, noise and a truncated image.
  std::string noise(4 << 20, '\0');
  uint32_t x = 12345;
  for (auto& ch : noise) ch = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
  for (const std::string& content : {std::string(4 << 20, '\0'), noise, pristine.substr(0, 1500)}) {
    testutil::WriteFile(dir.file("junk"), content);
    ImageFileDevice disk(dir.file("junk"));
    CExt2Volume volume(&disk, 0);
    EXPECT_EQ(volume.GetFileSystemType(), EFileSystemType::Unknown);
  }
}

TEST(Ext2FileSystem, BackupDescriptorsReplaceADamagedPrimary) {
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir dir("ext2");
  // 1 KiB blocks, 1024 blocks per group: several groups with backups in 1 and 3.
  const std::string image = MakeImage(dir, "img", {"-t", "ext2", "-b", "1024", "-g", "1024"}, "4M");
  std::string bytes = testutil::ReadFile(image);
  ImageFileDevice pristineDisk(image);
  CExt2FileSystem pristine(&pristineDisk, 2);
  uint64_t block = 0;
  uint32_t offset = 0;
  ASSERT_TRUE(pristine.GetInodeLocation(2, &block, &offset));

  // Primary descriptor table (block 2): point group 0's inode table outside its group.
  WriteLE32(reinterpret_cast<uint8_t*>(&bytes[2 * 1024 + 8]), 4000);
  testutil::WriteFile(dir.file("damaged"), bytes);
  ImageFileDevice disk(dir.file("damaged"));
  // The search allocates through the collector: run it on a thread of its own too.
  std::thread worker([&] { EXPECT_NO_THROW(CExt2FileSystem(&disk, 2)); });
  worker.join();
  CExt2FileSystem fs(&disk, 2);
  uint64_t block2 = 0;
  uint32_t offset2 = 0;
  ASSERT_TRUE(fs.GetInodeLocation(2, &block2, &offset2));
  EXPECT_EQ(block2, block);
  EXPECT_EQ(offset2, offset);
  EXPECT_FALSE(fs.GetInodeLocation(0, &block2, &offset2));
  EXPECT_FALSE(fs.GetInodeLocation(0xFFFFFFFF, &block2, &offset2));

  // Every copy damaged: no table to trust.
  for (uint32_t group : {1u, 3u}) WriteLE32(reinterpret_cast<uint8_t*>(&bytes[(group * 1024 + 2) * 1024 + 8]), 4000);
  testutil::WriteFile(dir.file("hopeless"), bytes);
  ImageFileDevice hopeless(dir.file("hopeless"));
  EXPECT_THROW(CExt2FileSystem(&hopeless, 2), CExt2BadGroupDescriptor);
}

TEST(Ext2FileSystem, ReadsStayInsideTheDevice) {
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir dir("ext2");
  const std::string image = MakeImage(dir, "img", {"-t", "ext2", "-b", "1024"}, "4M");
  ImageFileDevice disk(image);
  CExt2FileSystem fs(&disk, 2);
  std::vector<uint8_t> buf(2048);
  EXPECT_NO_THROW(fs.ReadBlocks(buf.data(), 1, 1));
  EXPECT_EQ(ReadLE16(buf.data() + 56), 0xEF53);
  try {
    fs.ReadBlocks(buf.data(), 4096, 1);
    FAIL() << "no range error";
  } catch (const std::range_error& e) {
    EXPECT_STREQ(e.what(), "CExt2FileSystem::ReadBlocks");
  }
  EXPECT_THROW(fs.ReadBlocks(buf.data(), 4095, 2), std::range_error) << "a read that runs past the end";
}

TEST(Ext2Exceptions, TextsAndLog) {
  EXPECT_STREQ(CStructuredException(0xC0000005).what(), "EXCEPTION_ACCESS_VIOLATION");
  EXPECT_STREQ(CStructuredException(0x12345678).what(), "EXCEPTION_UNKNOWN");
  testutil::TempDir dir("ext2log");
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  AppendExt2ErrorLog(nullptr);
  EXPECT_FALSE(std::ifstream("Ext2Error.log").good());
  LogExt2Exception(CExt2BadSuperBlock());
  LogExt2Exception(std::range_error("CExt2FileSystem::ReadBlocks"));
  std::string log = testutil::ReadFile("Ext2Error.log");
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4);
  EXPECT_NE(log.find("CExt2BadSuperBlock\n"), std::string::npos);
  EXPECT_NE(log.find("std::range_error\nCExt2FileSystem::ReadBlocks\n"), std::string::npos);
}

}  // namespace
