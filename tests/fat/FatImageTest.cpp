// FAT volumes made by mkfs.fat and filled with mtools, read by this code and
// by independent readers (blkid, sleuthkit): geometry, labels, directory
// entries and cluster chains must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <unordered_set>

#include "CFATDBR.h"
#include "CFATDirEntry.h"
#include "CFATFileProperties.h"
#include "CFATVolumeLabelReader.h"
#include "IFATTable.h"
#include "ImageFileDevice.h"
#include "MemoryDevice.h"
#include "RealVolumes.h"
#include "TestUtil.h"

namespace {

using testutil::MemoryDevice;

std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r')) s.pop_back();
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// "key: value" lines of a tool's output.
std::map<std::string, std::string> KeyValues(const std::string& text) {
  std::map<std::string, std::string> kv;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    kv.emplace(Trim(line.substr(0, colon)), line.substr(colon + 1));
  }
  return kv;
}

// "a - b" into its two numbers.
std::pair<uint64_t, uint64_t> Range(const std::string& v) {
  std::pair<uint64_t, uint64_t> r{0, 0};
  std::sscanf(v.c_str(), " %" SCNu64 " - %" SCNu64, &r.first, &r.second);
  return r;
}

std::string Tool(const std::vector<std::string>& argv) {
  auto r = testutil::Run(argv);
  EXPECT_EQ(r.exitCode, 0) << argv[0] << ": " << r.output;
  return r.output;
}

class FatImages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testutil::HaveTool("mkfs.fat") || !testutil::HaveTool("mcopy") || !testutil::HaveTool("fsstat") ||
        !testutil::HaveTool("sfdisk") || !testutil::HaveTool("blkid"))
      return;
    s_made = true;
    s_dir = testutil::SharedFixture("make_fat_images.sh", {}, "", s_error);
  }
  void SetUp() override {
    if (!s_made) GTEST_SKIP() << "needs mkfs.fat, mtools, sleuthkit, sfdisk, blkid (scripts/install-deps)";
    ASSERT_FALSE(s_dir.empty()) << s_error;
  }
  static std::string Image(const std::string& name) { return s_dir + "/" + name; }
  static std::vector<std::string> Offset(uint64_t start) {
    return start ? std::vector<std::string>{"-o", std::to_string(start)} : std::vector<std::string>{};
  }
  static bool s_made;
  static std::string s_dir, s_error;
};
bool FatImages::s_made = false;
std::string FatImages::s_dir, FatImages::s_error;

// One entry found by walking the directories with this code.
struct Found {
  std::string path;      // long name where there is one
  std::string shortPath; // last part as its 8.3 name
  bool deleted = false;
  bool dir = false;
  uint32_t cluster = 0;
  uint64_t size = 0;
};

struct Volume {
  IStorageDevice* dev;
  uint64_t start;
  const CFATDBR& dbr;
  IFATTable& fat;

  // Clusters of a chain, each once, never more than the volume holds.
  std::vector<uint32_t> Chain(uint32_t first) const {
    std::vector<uint32_t> out;
    std::unordered_set<uint32_t> seen;
    const uint64_t limit = dbr.GetClusterCount() + 2;
    for (uint32_t c = first; c >= 2 && c < limit && seen.insert(c).second; c = fat.GetEntry(c)) out.push_back(c);
    return out;
  }
  std::vector<uint64_t> Sectors(uint32_t first) const {
    std::vector<uint64_t> out;
    for (uint32_t c : Chain(first)) {
      for (uint32_t i = 0; i < dbr.GetSectorsPerCluster(); ++i) out.push_back(dbr.ClusterToSector(c) + i);
    }
    return out;
  }
  std::vector<uint8_t> ReadSectors(const std::vector<uint64_t>& sectors) const {
    const size_t ss = dbr.GetBytesPerSector();
    std::vector<uint8_t> bytes(sectors.size() * ss);
    for (size_t i = 0; i < sectors.size(); ++i) EXPECT_TRUE(dev->ReadSectors(&bytes[i * ss], start + sectors[i], 1));
    return bytes;
  }
  void Walk(const std::vector<uint8_t>& bytes, const std::string& prefix, int depth, std::vector<Found>& out) const {
    ASSERT_LT(depth, 16);
    size_t runStart = 0;
    for (size_t off = 0; off + 32 <= bytes.size(); off += 32) {
      CFATDirEntry e(&bytes[off]);
      if (e.IsEndMarker()) break;
      if (e.IsLongNameEntry()) continue;
      const size_t from = runStart;
      runStart = off + 32;
      if (e.IsVolumeLabel() || IsDotEntry(e) || IsDotDotEntry(e)) continue;
      CFATFileProperties* p = CreateFATFilePropertiesFromEntries(&bytes[from], off + 32 - from);
      ASSERT_NE(p, nullptr);
      Found f;
      f.path = prefix + p->GetName();
      std::string shortName;
      e.GetShortName(shortName, 0);
      f.shortPath = prefix + shortName;
      f.deleted = e.IsDeleted();
      f.dir = e.IsDirectory();
      f.cluster = e.GetFirstCluster();
      f.size = e.GetFileSize();
      p->Release();
      out.push_back(f);
      if (f.dir && !f.deleted) Walk(ReadSectors(Sectors(f.cluster)), f.path + "/", depth + 1, out);
    }
  }
  std::vector<Found> WalkAll() const {
    std::vector<uint64_t> root;
    if (dbr.GetFATType() == 2) {
      root = Sectors(dbr.GetRootCluster());
    } else {
      for (uint64_t i = 0; i < dbr.GetRootDirSectors(); ++i) root.push_back(dbr.GetRootDirStart() + i);
    }
    std::vector<Found> out;
    Walk(ReadSectors(root), "", 0, out);
    return out;
  }
};

// Checks one volume against blkid, fsstat, fls and istat.
void CheckVolume(const std::string& image, int sectorSize, uint64_t start, int expectType, const std::string& label,
                 bool expectFragmented) {
  SCOPED_TRACE(image + " at " + std::to_string(start));
  ImageFileDevice dev(image, sectorSize);
  const uint64_t first512 = start * sectorSize / 512;
  std::vector<uint8_t> boot(sectorSize);
  ASSERT_TRUE(dev.ReadSectors(boot.data(), start, 1));
  CFATDBR dbr(boot.data(), sectorSize);
  ASSERT_EQ(dbr.GetFATType(), expectType);
  EXPECT_TRUE(dbr.FitsDevice(start, dev.GetSectorCount()));

  // blkid: type and label.
  auto blkid = [&](const std::string& tag) {
    std::vector<std::string> argv = {"blkid", "-p", "-o", "value", "-s", tag};
    if (start) argv.insert(argv.end(), {"-O", std::to_string(start * sectorSize)});
    argv.push_back(image);
    return Trim(testutil::Run(argv).output);
  };
  EXPECT_EQ(blkid("VERSION"), expectType == 2 ? "FAT32" : "FAT16");
  EXPECT_EQ(blkid("LABEL"), label);
  CFATVolumeLabelReader reader(&dev);
  std::string ours;
  ASSERT_TRUE(reader.ReadLabel(start, dbr, ours));
  EXPECT_EQ(ours, label);

  // fsstat: geometry.
  std::vector<std::string> fs = {"fsstat"};
  if (start) fs.insert(fs.end(), {"-o", std::to_string(first512)});
  if (sectorSize != 512) fs.insert(fs.end(), {"-b", std::to_string(sectorSize)});
  fs.push_back(image);
  const std::string fsText = testutil::Run(fs).output;
  auto kv = KeyValues(fsText);
  EXPECT_EQ(std::stoul(kv["Sector Size"]), dbr.GetBytesPerSector());
  EXPECT_EQ(std::stoul(kv["Cluster Size"]), dbr.GetSectorsPerCluster() * dbr.GetBytesPerSector());
  EXPECT_EQ(Range(kv["Total Range"]).second + 1, dbr.GetTotalSectors());
  auto fat0 = Range(kv["* FAT 0"]);
  auto fat1 = Range(kv["* FAT 1"]);
  EXPECT_EQ(fat0.first, dbr.GetFATStart());
  EXPECT_EQ(fat0.second - fat0.first + 1, dbr.GetFATSize());
  EXPECT_EQ(fat1.first, dbr.GetFATStart() + dbr.GetFATSize());
  EXPECT_EQ(Range(kv["** Cluster Area"]).first, dbr.GetDataStart());
  EXPECT_EQ(Range(kv["Total Cluster Range"]).second, dbr.GetClusterCount() + 1);
  const std::string rootKey = expectType == 2 ? "*** Root Directory" : "** Root Directory";
  EXPECT_EQ(Range(kv[rootKey]).first, dbr.GetRootDirStart());
  EXPECT_EQ(Trim(kv["Volume Label (Root Directory)"]), label);

  // The FAT validates, and the two copies agree.
  IStorageDevice* d = &dev;
  std::unique_ptr<CDoubleFATTable> fat(CreateFATTable(d, start + dbr.GetFATStart(), dbr.GetFATType(),
                                                      dbr.GetFATSize(), 0x80, 0, dbr.GetClusterCount()));
  ASSERT_TRUE(fat->HasPrimary());
  std::unique_ptr<CDoubleFATTable> second(CreateFATTable(d, start + dbr.GetFATStart(), dbr.GetFATType(),
                                                         dbr.GetFATSize(), 0, 0x200, dbr.GetClusterCount()));
  ASSERT_FALSE(second->HasPrimary());
  ASSERT_TRUE(second->HasSecondary());
  for (uint32_t c = 0; c < 4096 && c < dbr.GetClusterCount() + 2; ++c) {
    ASSERT_EQ(fat->GetEntry(c), second->GetEntry(c)) << c;
  }
  Volume vol{d, start, dbr, *fat};
  const std::vector<Found> found = vol.WalkAll();

  // fls: every entry, live and deleted, and nothing more.
  std::vector<std::string> fl = {"fls", "-r", "-p"};
  if (start) fl.insert(fl.end(), {"-o", std::to_string(first512)});
  if (sectorSize != 512) fl.insert(fl.end(), {"-b", std::to_string(sectorSize)});
  fl.push_back(image);
  std::istringstream flIn(Tool(fl));
  std::map<std::string, std::pair<bool, std::string>> fls;  // lower path -> (deleted, inode)
  for (std::string line; std::getline(flIn, line);) {
    if (line.find("(Volume Label Entry)") != std::string::npos || line.rfind("v/v", 0) == 0 ||
        line.rfind("V/V", 0) == 0)
      continue;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const bool deleted = line.find(" * ") != std::string::npos;
    std::string inode = line.substr(0, tab);
    inode = inode.substr(inode.find_last_of(' ') + 1);
    inode.pop_back();  // ':'
    fls[Lower(line.substr(tab + 1))] = {deleted, inode};
  }
  EXPECT_EQ(found.size(), fls.size());
  int fragmented = 0;
  for (const Found& f : found) {
    // Sleuthkit shows a deleted entry's lost first character as '_' and
    // sometimes its 8.3 name.
    auto match = fls.find(Lower(f.path));
    if (match == fls.end() && f.deleted) {
      for (std::string cand : {f.path, f.shortPath}) {
        const size_t slash = cand.find_last_of('/');
        cand[slash == std::string::npos ? 0 : slash + 1] = '_';
        match = fls.find(Lower(cand));
        if (match != fls.end()) break;
      }
    }
    ASSERT_NE(match, fls.end()) << f.path;
    EXPECT_EQ(match->second.first, f.deleted) << f.path;
    if (f.deleted || f.cluster == 0) continue;

    // istat: the chain's sectors, up to the file size.
    std::vector<std::string> is = {"istat"};
    if (start) is.insert(is.end(), {"-o", std::to_string(first512)});
    if (sectorSize != 512) is.insert(is.end(), {"-b", std::to_string(sectorSize)});
    is.push_back(image);
    is.push_back(match->second.second);
    const std::string text = Tool(is);
    std::istringstream sin(text.substr(text.find("Sectors:") + 8));
    std::vector<uint64_t> theirs;
    for (uint64_t s; sin >> s;) {
      if (s != 0) theirs.push_back(s);
    }
    std::vector<uint64_t> mine = vol.Sectors(f.cluster);
    if (!f.dir) mine.resize(std::min<size_t>(mine.size(), (f.size + sectorSize - 1) / sectorSize));
    EXPECT_EQ(mine, theirs) << f.path;
    const auto chain = vol.Chain(f.cluster);
    for (size_t i = 1; i < chain.size(); ++i) {
      if (chain[i] != chain[i - 1] + 1) {
        ++fragmented;
        break;
      }
    }
  }
  if (expectFragmented) {
    EXPECT_GT(fragmented, 0);
  }
}

}  // namespace

TEST_F(FatImages, Fat16) { CheckVolume(Image("fat16.img"), 512, 0, 1, "FAT16 VOL", true); }
TEST_F(FatImages, Fat32Superfloppy) { CheckVolume(Image("fat32.img"), 512, 0, 2, "SUPER FLOP", true); }
TEST_F(FatImages, Fat16With4KiBSectors) { CheckVolume(Image("fat16_4k.img"), 4096, 0, 1, "FOUR K 16", true); }
TEST_F(FatImages, Fat32With4KiBSectors) { CheckVolume(Image("fat32_4k.img"), 4096, 0, 2, "FOUR K 32", true); }
TEST_F(FatImages, PartitionsOfAnMbrDisk) {
  // Partition starts from sleuthkit's reading of the table.
  std::istringstream in(Tool({"mmls", Image("disk.img")}));
  std::vector<uint64_t> starts;
  for (std::string line; std::getline(in, line);) {
    if (line.find("FAT") == std::string::npos) continue;
    std::istringstream row(line);
    std::string slot, part;
    uint64_t start = 0;
    row >> slot >> part >> start;
    starts.push_back(start);
  }
  ASSERT_EQ(starts.size(), 2u);
  CheckVolume(Image("disk.img"), 512, starts[0], 1, "FAT16 VOL", true);
  CheckVolume(Image("disk.img"), 512, starts[1], 2, "SUPER FLOP", true);
}

// FAT12 is not taken for a FAT16/FAT32 volume; its 12-bit table still reads
// the chains sleuthkit reads.
TEST_F(FatImages, Fat12) {
  ImageFileDevice dev(Image("fat12.img"));
  std::vector<uint8_t> boot(512);
  ASSERT_TRUE(dev.ReadSectors(boot.data(), 0, 1));
  CFATDBR dbr(boot.data(), 512);
  EXPECT_EQ(dbr.GetFATType(), 9);
  EXPECT_TRUE(dbr.IsFAT12());
  auto bl = testutil::Run({"blkid", "-p", "-o", "value", "-s", "VERSION", Image("fat12.img")});
  EXPECT_EQ(Trim(bl.output), "FAT12");
  const uint32_t reserved = dbr.GetReservedSectorCount();
  const uint32_t fatSize = boot[22] | (boot[23] << 8);
  const uint32_t spc = boot[13];
  const uint64_t data = reserved + 2ull * fatSize + dbr.GetRootEntryCount() * 32 / 512;
  std::unique_ptr<IRealFATTable> fat(CreateRealFATTable(&dev, 0, reserved, fatSize));
  ASSERT_TRUE(fat);
  // The big file: find its inode and first cluster through sleuthkit.
  std::istringstream in(Tool({"fls", Image("fat12.img")}));
  std::string inode;
  for (std::string line; std::getline(in, line);) {
    if (line.find("A very long file name") != std::string::npos) inode = line.substr(4, line.find(':') - 4);
  }
  ASSERT_FALSE(inode.empty());
  const std::string text = Tool({"istat", Image("fat12.img"), inode});
  std::istringstream sin(text.substr(text.find("Sectors:") + 8));
  std::vector<uint64_t> theirs;
  for (uint64_t s; sin >> s;) {
    if (s != 0) theirs.push_back(s);
  }
  ASSERT_FALSE(theirs.empty());
  std::vector<uint64_t> mine;
  std::unordered_set<uint32_t> seen;
  for (uint32_t c = static_cast<uint32_t>((theirs[0] - data) / spc + 2); c >= 2 && c < 0xFF8 && seen.insert(c).second;
       c = fat->GetEntry(c)) {
    for (uint32_t i = 0; i < spc; ++i) mine.push_back(data + (c - 2) * spc + i);
  }
  mine.resize(theirs.size());
  EXPECT_EQ(mine, theirs);
}

// Damaged copies of a real FAT32 volume: every reader answers, with an
// error where the damage hides the answer, and none crashes or hangs.
TEST_F(FatImages, DamagedVolumes) {
  const std::string original = testutil::ReadFile(Image("fat32.img"));
  ASSERT_GT(original.size(), 2000u * 512);
  struct Case {
    const char* what;
    void (*damage)(std::vector<uint8_t>&);
    int type;          // expected boot-sector type
    bool primaryFAT;   // primary copy accepted
    bool label;        // label found
  };
  const Case cases[] = {
      {"intact", [](std::vector<uint8_t>&) {}, 2, true, true},
      {"zeroed boot sector", [](std::vector<uint8_t>& d) { std::fill(d.begin(), d.begin() + 512, 0); }, 9, false,
       false},
      {"random boot sector",
       [](std::vector<uint8_t>& d) {
         uint32_t x = 12345;
         for (int i = 0; i < 510; ++i) d[i] = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
       },
       9, false, false},
      {"truncated inside the first FAT", [](std::vector<uint8_t>& d) { d.resize(600 * 512); }, 2, false, false},
      {"cyclic chain in the FAT",
       [](std::vector<uint8_t>& d) {
         // clusters 3 -> 4 -> 3 (the first FAT starts at sector 32)
         for (uint32_t c : {3u, 4u}) {
           const uint32_t v = c == 3 ? 4 : 3;
           for (int i = 0; i < 4; ++i) d[32 * 512 + c * 4 + i] = static_cast<uint8_t>(v >> (8 * i));
         }
       },
       2, false, true},
      {"chain past the last cluster",
       [](std::vector<uint8_t>& d) {
         // inside the FAT's 80640 entries, past the volume's last cluster 80629
         const uint32_t v = 80635;
         for (int i = 0; i < 4; ++i) d[32 * 512 + 3 * 4 + i] = static_cast<uint8_t>(v >> (8 * i));
       },
       2, false, true},
      {"root chain loops on itself",
       [](std::vector<uint8_t>& d) {
         // root cluster 2 -> 2, label entry wiped so the walk must go on
         for (int i = 0; i < 4; ++i) d[32 * 512 + 2 * 4 + i] = static_cast<uint8_t>(2 >> (8 * i));
         d[1292 * 512 + 11] = 0x20;
       },
       2, false, false},
      {"root directory of random bytes",
       [](std::vector<uint8_t>& d) {
         uint32_t x = 777;
         for (int i = 0; i < 512; ++i) d[1292 * 512 + i] = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
       },
       2, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bytes(original.begin(), original.end());
    c.damage(bytes);
    MemoryDevice dev(bytes);
    CFATDBR dbr(dev.Bytes().data(), 512);
    EXPECT_EQ(dbr.GetFATType(), c.type);
    if (c.type == 2) {
      EXPECT_EQ(dbr.FitsDevice(0, dev.GetSectorCount()), bytes.size() == original.size());
    }
    std::unique_ptr<CDoubleFATTable> fat(CreateFATTable(&dev, dbr.GetFATStart(), dbr.GetFATType(), dbr.GetFATSize(),
                                                        0x80, 0x200, dbr.GetClusterCount()));
    EXPECT_EQ(fat->HasPrimary(), c.primaryFAT);
    std::string label;
    EXPECT_EQ(CFATVolumeLabelReader(&dev).ReadLabel(0, dbr, label), c.label);
    if (c.label) {
      EXPECT_EQ(label, "SUPER FLOP");
    }
    if (c.type == 2 && !c.primaryFAT && dev.GetSectorCount() > 1292) {
      // The second copy is intact and takes over.
      EXPECT_TRUE(fat->HasSecondary());
    }
  }
}

// Volumes other systems made (Ext2, HFS+, Windows NTFS) are not taken for FAT.
TEST(FatRealVolumes, OtherFileSystemsAreRefused) {
  std::string ext2, hfsplus, lastAccess, ptrn;
  VT_REQUIRE_REAL_VOLUME(ext2, testutil::RealVolume("ext2.raw"));
  VT_REQUIRE_REAL_VOLUME(hfsplus, testutil::RealVolume("hfsplus.raw"));
  VT_REQUIRE_REAL_VOLUME(lastAccess, testutil::RealVolume("ntfs-lastaccess.raw.gz"));
  VT_REQUIRE_REAL_VOLUME(ptrn, testutil::RealVolume("ntfs-ptrn.raw.gz"));
  testutil::TempDir tmp("fatreal");
  struct Volume {
    std::string file;
    uint64_t start;
  };
  auto unpack = [&](const std::string& gz) {
    const std::string out = tmp.file(gz.substr(gz.rfind('/') + 1) + ".head");
    // The MBR and the partition's first sectors are enough.
    testutil::Shell("gunzip -c '" + gz + "' 2>/dev/null | head -c 1048576 > '" + out + "'");
    return out;
  };
  const Volume volumes[] = {
      {ext2, 0},
      {hfsplus, 0},
      {unpack(lastAccess), 128},
      {unpack(ptrn), 128},
  };
  for (const Volume& v : volumes) {
    SCOPED_TRACE(v.file);
    ImageFileDevice dev(v.file);
    ASSERT_GT(dev.GetSectorCount(), v.start + 8);
    for (uint64_t s = 0; s < 8; ++s) {
      std::vector<uint8_t> sector(512);
      ASSERT_TRUE(dev.ReadSectors(sector.data(), v.start + s, 1));
      CFATDBR dbr(sector.data(), 512);
      EXPECT_EQ(dbr.GetFATType(), 9);
      std::string label;
      EXPECT_FALSE(CFATVolumeLabelReader(&dev).ReadLabel(v.start, dbr, label));
      int type = 0;
      EXPECT_FALSE(DetectFATTypeFromFAT(sector.data(), type));
    }
  }
}
