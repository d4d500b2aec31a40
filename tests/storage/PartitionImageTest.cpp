// The partition-table parser and the volume analysers on disk images made
// by sfdisk, sgdisk and the mkfs tools, checked against sfdisk --json, mmls,
// blkid -p and fsstat.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CBasicPartitionDevice.h"
#include "CPartitionTableAnalyze.h"
#include "CVolumeAnalyzeList.h"
#include "GptPartitionTypeTable.h"
#include "ImageFileDevice.h"
#include "MemoryDevice.h"
#include "TestUtil.h"
#include "VolumeAnalysers.h"
#include "VolumeTypeServices.h"

using testutil::MemoryDevice;

namespace {

// The partitions are probed by the analysers the program registers at start.
const bool kAnalysersRegistered = (RegisterVolumeAnalysers(), true);

// The images, made once for every test process of the build.
std::string ImageDir() {
  static std::string dir, error;
  if (dir.empty() && error.empty())
    dir = testutil::SharedFixture("make-partition-images.sh", {std::string(VANTOREL_BIN_DIR) + "/hfsgen"}, "", error);
  if (dir.empty()) ADD_FAILURE() << error;
  return dir;
}

struct Part {
  uint64_t start = 0, size = 0;
  std::string type;  // MBR type (hex) or GPT type GUID
  bool operator<(const Part& o) const { return start < o.start || (start == o.start && size < o.size); }
  bool operator==(const Part& o) const { return start == o.start && size == o.size; }
};
std::ostream& operator<<(std::ostream& os, const Part& p) { return os << "{" << p.start << "," << p.size << "}"; }

// The partitions sfdisk lists, extended containers and GPT types this
// program does not list left out.
std::vector<Part> SfdiskParts(const std::string& json, std::string* label) {
  std::vector<Part> out;
  const QJsonObject table = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object()["partitiontable"].toObject();
  *label = table["label"].toString().toStdString();
  for (const QJsonValue& v : table["partitions"].toArray()) {
    const QJsonObject p = v.toObject();
    Part part{uint64_t(p["start"].toDouble()), uint64_t(p["size"].toDouble()), p["type"].toString().toStdString()};
    if (*label == "dos" && (part.type == "5" || part.type == "f" || part.type == "85")) continue;
    out.push_back(part);
  }
  return out;
}

// The allocated slots of mmls (partition rows, not Meta or unallocated).
std::vector<Part> MmlsParts(const std::string& text) {
  std::vector<Part> out;
  std::istringstream in(text);
  std::string line;
  const std::regex row(R"(^\d+:\s+(\d+(:\d+)?)\s+(\d+)\s+(\d+)\s+(\d+)\s*(.*)$)");
  std::smatch m;
  while (std::getline(in, line))
    if (std::regex_match(line, m, row)) out.push_back({std::stoull(m[3]), std::stoull(m[5]), m[6]});
  return out;
}

std::map<std::string, std::string> Blkid(const std::string& image, uint64_t byteOffset) {
  testutil::CommandResult r =
      testutil::Run({"blkid", "-p", "-O", std::to_string(byteOffset), "-o", "export", image});
  std::map<std::string, std::string> out;
  std::istringstream in(r.output);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value;  // blkid escapes blanks and other characters with '\\'
    for (size_t i = eq + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value += line[i];
    }
    out[line.substr(0, eq)] = value;
  }
  return out;
}

// The file system blkid reports, in this program's kinds.
EFileSystemType ExpectedKind(const std::map<std::string, std::string>& b) {
  auto it = b.find("TYPE");
  if (it == b.end()) return EFileSystemType::Unknown;
  const std::string& t = it->second;
  if (t == "ntfs") return EFileSystemType::NTFS;
  if (t == "ext2") return EFileSystemType::Ext2;
  if (t == "ext3") return EFileSystemType::Ext3;
  if (t == "exfat") return EFileSystemType::exFAT;
  if (t == "hfsplus") return EFileSystemType::HFSPlus;
  if (t == "vfat") {
    auto v = b.find("VERSION");
    if (v != b.end() && v->second == "FAT32") return EFileSystemType::FAT32;
    if (v != b.end() && v->second == "FAT16") return EFileSystemType::FAT16;
  }
  return EFileSystemType::Unknown;
}

// fsstat's sector count of an NTFS volume (its "Total Sector Range").
uint64_t FsstatNtfsSectors(const std::string& image, int ss, uint64_t start) {
  testutil::CommandResult r = testutil::Run(
      {"fsstat", "-f", "ntfs", "-b", std::to_string(ss), "-o", std::to_string(start), image});
  std::smatch m;
  if (!std::regex_search(r.output, m, std::regex(R"(Total Sector Range: 0 - (\d+))"))) return 0;
  return std::stoull(m[1]) + 1;
}

struct ImageCase {
  const char* file;
  int sectorSize;
  bool needsRoot;
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.file; }

class PartitionImageTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(PartitionImageTest, MatchesIndependentReaders) {
  for (const char* tool : {"sfdisk", "sgdisk", "mmls", "blkid", "fsstat", "mkntfs", "mke2fs", "mkfs.exfat", "mkfs.fat"})
    VT_REQUIRE_TOOL(tool);
  const ImageCase& c = GetParam();
  if (c.needsRoot) VT_REQUIRE_ROOT();
  const std::string dir = ImageDir();
  const std::string image = dir + "/" + c.file;
  ASSERT_TRUE(std::filesystem::exists(image)) << image;

  std::string json;
  if (c.sectorSize == 512) json = testutil::Run({"sfdisk", "--json", image}).output;
  else json = testutil::ReadFile(dir + "/gpt4k.json");
  std::string label;
  std::vector<Part> want = SfdiskParts(json, &label);
  const std::string mmls = testutil::Run({"mmls", "-b", std::to_string(c.sectorSize), image}).output;
  std::vector<Part> mmlsParts = MmlsParts(mmls);
  std::vector<Part> sortedWant = want;
  std::sort(sortedWant.begin(), sortedWant.end());
  std::sort(mmlsParts.begin(), mmlsParts.end());
  EXPECT_EQ(mmlsParts, sortedWant) << mmls;
  // The GPT entry of an unlisted type is known to both readers but is no
  // partition this program lists.
  if (label == "gpt" && std::string(c.file) == "gpt.img") {
    want.erase(std::remove_if(want.begin(), want.end(),
                              [](const Part& p) {
                                const bool unlisted = p.type == "11111111-2222-3333-4444-555555555555";
                                return unlisted;
                              }),
               want.end());
    EXPECT_LT(want.size(), sortedWant.size());
  }

  ImageFileDevice disk(image, c.sectorSize);
  PartitionRecordList list;
  uint32_t problems = 99;
  AnalyzePartitionTable(&disk, list, &problems);
  EXPECT_EQ(problems, 0u);
  std::vector<Part> got;
  for (const PartitionRecord* r : list) got.push_back({r->startSector, r->sectorCount, ""});
  // A file system from sector 0 and no partition table: the whole disk.
  const auto whole = Blkid(image, 0);
  if (whole.count("USAGE") && whole.at("USAGE") == "filesystem") want = {{0, disk.GetSectorCount(), ""}};
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);

  for (const PartitionRecord* r : list) {
    const auto b = Blkid(image, r->startSector * uint64_t(c.sectorSize));
    const EFileSystemType kind = ExpectedKind(b);
    EXPECT_EQ(r->fileSystem, kind) << r->startSector;
    std::string wantLabel = kind == EFileSystemType::Unknown || !b.count("LABEL") ? "" : b.at("LABEL");
    if (kind == EFileSystemType::HFSPlus) wantLabel += " (HFS+)";
    EXPECT_EQ(std::string(r->label), wantLabel) << r->startSector;
    ASSERT_TRUE(r->device);
    EXPECT_EQ(r->device->GetStartSector(), r->startSector);
    EXPECT_EQ(r->device->GetSectorCount(), r->sectorCount);
    EXPECT_LE(r->fileSystemSectors, r->sectorCount);
    if (kind == EFileSystemType::NTFS) {
      EXPECT_EQ(r->fileSystemSectors, FsstatNtfsSectors(image, c.sectorSize, r->startSector)) << r->startSector;
    }
  }
  DeletePartitionRecords(list);
}

INSTANTIATE_TEST_SUITE_P(Images, PartitionImageTest,
                         ::testing::Values(ImageCase{"mbr4.img", 512, false}, ImageCase{"mbrext.img", 512, false},
                                           ImageCase{"gpt.img", 512, false}, ImageCase{"ntfsfloppy.img", 512, false},
                                           ImageCase{"fat32floppy.img", 512, false},
                                           ImageCase{"gpt4k.img", 4096, true}),
                         [](const ::testing::TestParamInfo<ImageCase>& info) {
                           std::string name = info.param.file;
                           return name.substr(0, name.find('.'));
                         });

TEST(PartitionImage, NtfsSmallerThanItsPartitionIsListedOnce) {
  VT_REQUIRE_TOOL("sgdisk");
  VT_REQUIRE_TOOL("mkntfs");
  ImageFileDevice disk(ImageDir() + "/gpt.img");
  PartitionRecordList list;
  AnalyzePartitionTable(&disk, list);
  int seen = 0;
  for (const PartitionRecord* r : list) {
    if (r->startSector != 26624) continue;
    ++seen;
    EXPECT_EQ(r->fileSystem, EFileSystemType::NTFS);
    EXPECT_EQ(r->sectorCount, 24576u);        // the GPT entry: what a wipe covers
    EXPECT_EQ(r->fileSystemSectors, 8191u);   // the boot sector's count
    EXPECT_STREQ(r->label, "NtSmall");
  }
  EXPECT_EQ(seen, 1);
  DeletePartitionRecords(list);
}

TEST(PartitionImage, FirstAnalyserInListOrderWins) {
  VT_REQUIRE_TOOL("mkntfs");
  VT_REQUIRE_TOOL("mke2fs");
  testutil::TempDir tmp("ntfs-ext2");
  // An NTFS volume whose sectors 2 and 3 also hold an Ext2 superblock.
  const std::string both = tmp.file("both.img");
  std::filesystem::copy_file(ImageDir() + "/ntfsfloppy.img", both);
  ASSERT_EQ(testutil::Run({"truncate", "-s", "4M", tmp.file("e.img")}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", "-L", "Shadow", tmp.file("e.img")}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"dd", "if=" + tmp.file("e.img"), "of=" + both, "bs=1024", "skip=1", "seek=1", "count=2",
                           "conv=notrunc", "status=none"})
                .exitCode,
            0);
  ImageFileDevice disk(both);
  CVolumeAnalyzeList analysers(&disk, 0);
  std::vector<EFileSystemType> kinds;
  for (IVolume* v : analysers.Analyzers()) kinds.push_back(v->GetFileSystemType());
  ASSERT_GE(kinds.size(), 2u);
  EXPECT_EQ(kinds.front(), EFileSystemType::NTFS);
  EXPECT_EQ(kinds.back(), EFileSystemType::Ext2);
  EXPECT_EQ(analysers.GetRecognizedVolume()->GetFileSystemType(), EFileSystemType::NTFS);

  // Nothing at a start: the last analyser answers, Unknown.
  CVolumeAnalyzeList none(&disk, 100);
  ASSERT_TRUE(none.GetRecognizedVolume());
  EXPECT_EQ(none.GetRecognizedVolume()->GetFileSystemType(), EFileSystemType::Unknown);
}

TEST(PartitionImage, Fat12IsNotRecognised) {
  VT_REQUIRE_TOOL("mkfs.fat");
  testutil::TempDir tmp("fat12");
  ASSERT_EQ(testutil::Run({"mkfs.fat", "-C", "-F", "12", "-n", "SMALL", tmp.file("f.img"), "2048"}).exitCode, 0);
  ImageFileDevice disk(tmp.file("f.img"));
  PartitionRecordList list;
  EXPECT_EQ(AnalyzePartitionTable(&disk, list), 0);
  CVolumeAnalyzeList analysers(&disk, 0);
  EXPECT_EQ(analysers.GetRecognizedVolume()->GetFileSystemType(), EFileSystemType::Unknown);
}

TEST(PartitionImage, LdmServicesOnAVolume) {
  VT_REQUIRE_TOOL("mkntfs");
  ImageFileDevice volume(ImageDir() + "/ntfsfloppy.img");
  const LdmVolumeServices s = MakeLdmVolumeServices();
  std::vector<uint8_t> boot(512);
  ASSERT_TRUE(volume.ReadSectors(boot.data(), 0, 1));
  EXPECT_EQ(s.detectFromBootSector(boot.data(), 512), EFileSystemType::NTFS);
  EXPECT_EQ(s.bootSectorTotalSectors(boot.data(), 512, EFileSystemType::NTFS), 16383u);
  EXPECT_EQ(s.mbrTypeToFileSystem(0x07), EFileSystemType::NTFS);
  EXPECT_EQ(s.analyseVolume(&volume, EFileSystemType::FAT32), EFileSystemType::NTFS);
  char label[100];
  ASSERT_TRUE(s.volumeLabel(&volume, EFileSystemType::NTFS, label, sizeof label));
  EXPECT_STREQ(label, "NtFloppy");
  EXPECT_FALSE(s.volumeLabel(&volume, EFileSystemType::Ext2, label, sizeof label));
  char name[40];
  s.dynamicVolumeTypeName(EDynamicVolumeType::Raid5, name);
  EXPECT_STREQ(name, "RAID5");
  EXPECT_FALSE(s.isDynamicDisk(&volume));
  ImageFileDevice fat(ImageDir() + "/fat32floppy.img");
  ASSERT_TRUE(fat.ReadSectors(boot.data(), 0, 1));
  EXPECT_EQ(s.detectFromBootSector(boot.data(), 512), EFileSystemType::FAT32);
  EXPECT_EQ(s.bootSectorTotalSectors(boot.data(), 512, EFileSystemType::FAT32), 73728u);
  ASSERT_TRUE(s.volumeLabel(&fat, EFileSystemType::FAT32, label, sizeof label));
  EXPECT_STREQ(label, "FLOPPY32");
  EXPECT_EQ(s.analyseVolume(&fat, EFileSystemType::Unknown), EFileSystemType::FAT32);

  // A volume nothing recognises keeps the type it had.
  std::vector<unsigned char> zeros(2048 * 512, 0);
  MemoryDevice blank(zeros);
  EXPECT_EQ(s.analyseVolume(&blank, EFileSystemType::FAT16), EFileSystemType::FAT16);
}

TEST(PartitionImage, VtctlPrintsWhatTheParserFound) {
  VT_REQUIRE_TOOL("sfdisk");
  const std::string image = ImageDir() + "/mbrext.img";
  setenv("VANTOREL_DISKS", image.c_str(), 1);
  testutil::CommandResult r = testutil::Run({std::string(VANTOREL_BIN_DIR) + "/vtctl", "partitions", "0"});
  unsetenv("VANTOREL_DISKS");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("partitions 4, tables fine"), std::string::npos) << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex(R"(logical\s+12288\s+8192\s+8192\s+EXT3\s+0x83\s+ExtLog)")))
      << r.output;
  EXPECT_TRUE(std::regex_search(r.output, std::regex(R"(primary\s+2048\s+8192\s+8191\s+NTFS\s+0x07\s+NtOne)")))
      << r.output;
  EXPECT_NE(testutil::Run({std::string(VANTOREL_BIN_DIR) + "/vtctl", "partitions", "x"}).exitCode, 0);
}

// vtctl registers the analysers the program does: every kind on gpt.img
// (FAT16, Ext2, NTFS, exFAT, HFS+) is named with its label.
TEST(PartitionImage, VtctlNamesEveryFileSystemKind) {
  for (const char* tool : {"sgdisk", "mkntfs", "mke2fs", "mkfs.exfat", "mkfs.fat"}) VT_REQUIRE_TOOL(tool);
  const std::string image = ImageDir() + "/gpt.img";
  setenv("VANTOREL_DISKS", image.c_str(), 1);
  testutil::CommandResult r = testutil::Run({std::string(VANTOREL_BIN_DIR) + "/vtctl", "partitions", "0"});
  unsetenv("VANTOREL_DISKS");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const struct {
    const char* fs;
    const char* label;
  } kinds[] = {
      {"FAT16", "EFIFAT"}, {"EXT2", "GptExt"}, {"NTFS", "NtSmall"}, {"EXFAT", "GptExfat"}, {"HFS+", "Mac Data (HFS+)"}};
  for (const auto& k : kinds) {
    bool named = false;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
      const std::string label = std::string(" ") + k.label;
      if (line.size() >= label.size() && line.compare(line.size() - label.size(), label.size(), label) == 0)
        named = line.find(std::string(" ") + k.fs + " ") != std::string::npos;
    }
    EXPECT_TRUE(named) << k.fs << " " << k.label << "\n" << r.output;
  }
}

}  // namespace
