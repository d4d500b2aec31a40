// vtctl recover as a test or benchmark drives it: its usage and exit codes,
// the refusals of the extraction target, and that it never writes to what
// it scans (a read-only loop device's image keeps its sha256).
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DiskTable.h"
#include "ExFatImagePatch.h"
#include "LoopDevice.h"
#include "PathOnDisk.h"
#include "RealVolumes.h"
#include "RecoveryRun.h"
#include "TestUtil.h"
#include "VolumeFixtures.h"
#include "VtctlRecover.h"

namespace {

using Outcome = testutil::RecoverOutcome;

class RecoverCommand : public ::testing::Test {
 protected:
  // vtctl recover with `args` over the disks `disks`, its run log in the
  // test's folder.
  Outcome Recover(const std::string& disks, const std::vector<std::string>& args) {
    return testutil::RunVtctlRecover(m_dir, disks, args);
  }
  std::string Sha256(const std::string& path) {
    const testutil::CommandResult r = testutil::Run({"sha256sum", path});
    return r.exitCode == 0 ? r.output.substr(0, 64) : "unreadable: " + r.output;
  }
  // A FAT16 image with a few files, some deleted.
  void MakeFatImage(const std::string& image) {
    ASSERT_EQ(testutil::Run({"truncate", "-s", "16M", image}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"mkfs.fat", "-F", "16", "-n", "RECOVER", image}).exitCode, 0);
    const std::string file = m_dir.file("payload.txt");
    testutil::WriteFile(file, std::string(9000, 'p'));
    const auto r = testutil::Shell("export MTOOLS_SKIP_CHECK=1; mcopy -i '" + image + "' '" + file +
                                   "' ::/keep.txt && mcopy -i '" + image + "' '" + file + "' ::/gone.txt && mdel -i '" +
                                   image + "' ::/gone.txt");
    ASSERT_EQ(r.exitCode, 0) << r.output;
  }
  // The letter `vtctl letters` gives the volume on `node`; 0 without one.
  char LetterOf(const std::string& disks, const std::string& node) {
    const std::string out = testutil::Shell("VANTOREL_DISKS='" + disks + "' VANTOREL_PROGRAM_DIR='" + m_dir.path() +
                                            "' '" + VANTOREL_BIN_DIR + "/vtctl' letters 2>/dev/null")
                                .output;
    size_t at = out.find(node);
    if (at == std::string::npos) return 0;
    const size_t lineStart = out.rfind('\n', at);
    return out[lineStart == std::string::npos ? 0 : lineStart + 1];
  }

  testutil::TempDir m_dir{"recover"};
};

TEST_F(RecoverCommand, UsageAndEngineErrors) {
  VT_REQUIRE_TOOL("mkfs.fat");
  VT_REQUIRE_TOOL("mcopy");
  const std::string image = m_dir.file("fat.img");
  MakeFatImage(image);
  const char letter = LetterOf(image, image);
  ASSERT_NE(letter, 0) << "no letter for the image";
  const std::string volume(1, letter);
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* says;  // on standard error
  } cases[] = {
      {{}, 2, "usage: vtctl recover"},
      {{"0", "--bogus"}, 2, "unexpected argument --bogus"},
      {{"0", "--engines", "ntfs,btrfs"}, 2, "unknown engine 'btrfs'"},
      {{"0", "--extract", "a.txt"}, 2, "unexpected argument --extract"},
      {{"0", "1"}, 2, "unexpected argument 1"},
      {{"toolong"}, 2, "not a disk number or a drive letter"},
      // The NTFS search reads the FAT disk and finds no partition of its own.
      {{"0", "--engines", "ntfs"}, 1, ""},
      // Engines without a read-only search yet: nothing can run.
      {{"0", "--engines", "hfsplus"}, 3, "no recovery engine is registered"},
      // Without the RAW switch the RAW engine alone has nothing to run.
      {{"0", "--engines", "raw"}, 3, "no recovery engine is registered"},
      // The RAW search alone runs over the empty file system and carves nothing.
      {{"0", "--raw", "--engines", "raw"}, 1, ""},
      {{volume, "--complete", "--engines", "hfsplus"}, 3, "no recovery engine is registered"},
      {{volume, "--complete", "--engines", "raw"}, 3, "no recovery engine is registered"},
      // FAT's quick search is the scrub: the deleted-file recovery refuses.
      {{volume}, 3, "use --complete"},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    const Outcome o = Recover(image, c.args);
    EXPECT_EQ(o.exitCode, c.exitCode) << shown << o.err;
    EXPECT_NE(o.err.find(c.says), std::string::npos) << shown << o.err;
    EXPECT_EQ(o.out, "") << shown;
  }
}

TEST_F(RecoverCommand, ExtractionRefusesAnExistingFileAndOneOnTheScannedDisk) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mke2fs");
  VT_REQUIRE_TOOL("losetup");
  // An Ext2 disk mounted through a loop device: a file in its folder would
  // be written onto the disk the recovery reads.
  const std::string image = m_dir.file("ext2.img");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "8M", image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-t", "ext2", "-F", image}).exitCode, 0);
  testutil::LoopDevice loop(image, 512, 0);
  ASSERT_TRUE(loop.ok()) << loop.error();
  const std::string mnt = m_dir.file("mnt");
  volfix::TestMount mount(mnt, {"mount", "-t", "ext2", loop.Path(), mnt});
  ASSERT_TRUE(mount.ok()) << mount.output();
  const std::string existing = m_dir.file("existing.bin");
  testutil::WriteFile(existing, "mine");

  const struct {
    const char* disks;  // "image" or "loop"
    std::string out;
    int exitCode;
    const char* says;
  } cases[] = {
      {"image", existing, 2, "exists"},
      {"image", mnt + "/out.bin", 2, "lies on the scanned disk"},
      {"loop", mnt + "/out.bin", 2, "lies on the scanned disk"},
      {"image", m_dir.file("missing/out.bin"), 2, "does not exist"},
      // Elsewhere the target is taken, and the run goes on to its engines,
      // which list no a.txt.
      {"image", m_dir.file("fresh.bin"), 1, "no file a.txt was listed"},
  };
  for (const auto& c : cases) {
    const std::string disks = std::string(c.disks) == "loop" ? loop.Path() : image;
    const Outcome o = Recover(disks, {"0", "--extract", "1:a.txt", c.out});
    EXPECT_EQ(o.exitCode, c.exitCode) << c.out << " on " << c.disks << ": " << o.err;
    EXPECT_NE(o.err.find(c.says), std::string::npos) << c.out << ": " << o.err;
  }
  EXPECT_EQ(testutil::ReadFile(existing), "mine");
  EXPECT_FALSE(testutil::Run({"test", "-e", mnt + "/out.bin"}).exitCode == 0);
  EXPECT_FALSE(testutil::Run({"test", "-e", m_dir.file("fresh.bin")}).exitCode == 0);

  // The same answers in process, with the disk entry as the table has it.
  volfix::EnvGuard env(image);
  platform::DiskEntry disk;
  ASSERT_TRUE(platform::GetDiskEntry(volfix::DiskNumberOf(image), &disk));
  EXPECT_TRUE(platform::PathLiesOnDisk(mnt, disk));
  EXPECT_FALSE(platform::PathLiesOnDisk(m_dir.path(), disk));
  EXPECT_EQ(RefuseExtractTarget(m_dir.file("fresh.bin"), disk), "");
}

TEST_F(RecoverCommand, AReadOnlyLoopDeviceKeepsItsBytes) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mkfs.fat");
  VT_REQUIRE_TOOL("mcopy");
  VT_REQUIRE_TOOL("sha256sum");
  const std::string image = m_dir.file("fat.img");
  MakeFatImage(image);
  const std::string before = Sha256(image);
  {
    testutil::LoopDevice loop(image, 512, testutil::LoopDevice::kReadOnly);
    ASSERT_TRUE(loop.ok()) << loop.error();
    const char letter = LetterOf(loop.Path(), loop.Path());
    ASSERT_NE(letter, 0);
    const std::string volume(1, letter);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"0"}, {"0", "--raw"}, {volume}, {volume, "--complete"}}) {
      const Outcome o = Recover(loop.Path(), args);
      EXPECT_NE(o.exitCode, 2) << o.err;
    }
  }
  EXPECT_EQ(Sha256(image), before);
}

// The deleted-file recovery of an Ext2, Ext3 or Ext4 volume on a read-only
// loop device: the file deleted with debugfs is listed under the root with
// its name, its bytes come back whole, live files are not listed, and the
// image keeps its sha256.
TEST_F(RecoverCommand, ExtVolumesListAndGiveBackTheirDeletedFilesReadOnly) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mke2fs");
  VT_REQUIRE_TOOL("debugfs");
  VT_REQUIRE_TOOL("sha256sum");
  const std::string tree = m_dir.file("tree");
  ASSERT_EQ(testutil::Run({"mkdir", "-p", tree + "/docs"}).exitCode, 0);
  std::string payload;
  for (int i = 0; payload.size() < 300000; ++i) payload += "line " + std::to_string(i) + " of the report\n";
  testutil::WriteFile(tree + "/docs/report.txt", payload);
  testutil::WriteFile(tree + "/keep.txt", "kept");
  for (const char* type : {"ext2", "ext3", "ext4"}) {
    SCOPED_TRACE(type);
    const std::string image = m_dir.file(std::string(type) + ".img");
    ASSERT_EQ(testutil::Run({"truncate", "-s", "32M", image}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-t", type, "-d", tree, "-F", image}).exitCode, 0);
    const auto rm = testutil::Run({"debugfs", "-w", "-R", "rm /docs/report.txt", image});
    ASSERT_EQ(rm.exitCode, 0) << rm.output;
    const std::string before = Sha256(image);
    const std::string out = m_dir.file(std::string(type) + "-report.txt");
    {
      testutil::LoopDevice loop(image, 512, testutil::LoopDevice::kReadOnly);
      ASSERT_TRUE(loop.ok()) << loop.error();
      const char letter = LetterOf(loop.Path(), loop.Path());
      ASSERT_NE(letter, 0);
      const std::string volume(1, letter);
      const Outcome listed = Recover(loop.Path(), {volume});
      EXPECT_EQ(listed.exitCode, 0) << listed.err;
      EXPECT_NE(listed.out.find("\tf\tdeleted\t" + std::to_string(payload.size()) + "\t"), std::string::npos)
          << listed.out;
      EXPECT_NE(listed.out.find("\treport.txt\n"), std::string::npos) << listed.out;
      EXPECT_EQ(listed.out.find("keep.txt"), std::string::npos) << listed.out;
      const Outcome extracted = Recover(loop.Path(), {volume, "--extract", "1:report.txt", out});
      EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
    }
    EXPECT_EQ(testutil::ReadFile(out), payload);
    EXPECT_EQ(Sha256(image), before);
  }
}

// The deleted files of the exFAT volumes of make-exfat-images.sh as
// `fls -r -d -p` lists them: their paths.
std::set<std::string> FlsDeletedFiles(const std::string& image) {
  std::set<std::string> out;
  std::istringstream lines(testutil::Run({"fls", "-f", "exfat", "-r", "-d", "-p", image}).output);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t tab = line.find('\t');
    if (tab != std::string::npos && line.rfind("r/r", 0) == 0) out.insert(line.substr(tab + 1));
  }
  return out;
}

// The paths of the deleted files of tree 1 in a vtctl recover listing.
std::set<std::string> ListedDeletedFiles(const std::string& listing) {
  std::set<std::string> out;
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("node\t1\tf\tdeleted\t", 0) != 0) continue;
    out.insert(line.substr(line.rfind('\t') + 1));
  }
  return out;
}

// The deleted-file recovery of exFAT volumes on read-only loop devices
// (512- and 4096-byte sectors): every deleted file fls lists is listed at
// the same path, deleted files come back byte for byte (a fragmented one
// as far as its FAT chain survives), the recycled file takes its old name,
// and the images keep their sha256.
TEST_F(RecoverCommand, ExFatVolumesListAndGiveBackTheirDeletedFilesReadOnly) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mkfs.exfat");
  VT_REQUIRE_TOOL("mount.exfat-fuse");
  VT_REQUIRE_TOOL("fls");
  VT_REQUIRE_TOOL("sha256sum");
  if (!testutil::HaveFuse()) GTEST_SKIP() << "no FUSE";
  std::string error;
  const std::string folder = testutil::SharedFixture("make-exfat-images.sh", {}, "", error);
  ASSERT_FALSE(folder.empty()) << error;
  const struct {
    const char* name;
    int sectorSize;
    uint32_t clusterSize;
  } volumes[] = {{"exfat-4k", 512, 4096}, {"exfat-128k", 512, 131072}, {"exfat-4kn", 4096, 32768}};
  for (const auto& v : volumes) {
    SCOPED_TRACE(v.name);
    const std::string image = folder + "/" + v.name + ".img";
    const std::string kept = folder + "/gone/" + v.name + "/";
    const std::string before = Sha256(image);
    const std::set<std::string> deleted = FlsDeletedFiles(image);
    ASSERT_EQ(deleted.size(), 5u);
    {
      testutil::LoopDevice loop(image, v.sectorSize, testutil::LoopDevice::kReadOnly);
      ASSERT_TRUE(loop.ok()) << loop.error();
      const char letter = LetterOf(loop.Path(), loop.Path());
      ASSERT_NE(letter, 0);
      const std::string volume(1, letter);
      const Outcome listed = Recover(loop.Path(), {volume});
      EXPECT_EQ(listed.exitCode, 0) << listed.err;
      const std::set<std::string> ours = ListedDeletedFiles(listed.out);
      for (const std::string& path : deleted) EXPECT_EQ(ours.count(path), 1u) << path << "\n" << listed.out;
      EXPECT_EQ(ours.count("$RECYCLE.BIN/S-1-5-21-1004336348-1177238915-682003330-1001/old-report.txt"), 0u)
          << "a live recycled file is no deleted file";
      EXPECT_NE(listed.out.find("\t$RECYCLE.BIN/S-1-5-21-1004336348-1177238915-682003330-1001/old-report.txt\n"),
                std::string::npos)
          << listed.out;
      EXPECT_EQ(listed.out.find("top.txt"), std::string::npos) << listed.out;
      int n = 0;
      for (const char* path : {"gone-big.bin", "doomed/two.bin", "frag/odd.bin"}) {
        const std::string out = m_dir.file(std::string(v.name) + "-" + std::to_string(++n));
        const Outcome extracted = Recover(loop.Path(), {volume, "--extract", std::string("1:") + path, out});
        EXPECT_EQ(extracted.exitCode, 0) << path << ": " << extracted.err;
        const std::string original = testutil::ReadFile(kept + path);
        const std::string got = testutil::ReadFile(out);
        if (std::string(path) == "frag/odd.bin") {
          EXPECT_GE(got.size(), v.clusterSize);
          EXPECT_TRUE(original.compare(0, got.size(), got) == 0) << path;
        } else {
          EXPECT_TRUE(got == original) << path;
        }
      }
    }
    EXPECT_EQ(Sha256(image), before);
  }
}

// Data and folders more than 2 TiB into the cluster heap: a 3 TiB sparse
// volume whose deleted file far.bin is moved there (its stream entry
// rewritten, known bytes written there with dd's help), and whose folder
// far/ (holding the deleted inner.txt) is copied there too.
TEST_F(RecoverCommand, ExFatDataPastTwoTebibytesIsReadFromItsOwnSectors) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("mkfs.exfat");
  VT_REQUIRE_TOOL("mount.exfat-fuse");
  if (!testutil::HaveFuse()) GTEST_SKIP() << "no FUSE";
  const std::string image = m_dir.file("big.img");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "3T", image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mkfs.exfat", image}).exitCode, 0);
  const std::string payload = std::string(3000, 'x') + "far beyond two tebibytes";
  {
    testutil::LoopDevice loop(image, 512, 0);
    ASSERT_TRUE(loop.ok()) << loop.error();
    const std::string mnt = m_dir.file("mnt");
    volfix::TestMount mount(mnt, {"mount.exfat-fuse", loop.Path(), mnt});
    ASSERT_TRUE(mount.ok()) << mount.output();
    testutil::WriteFile(mnt + "/far.bin", std::string(payload.size(), 'n'));
    ASSERT_EQ(testutil::Run({"mkdir", mnt + "/far"}).exitCode, 0);
    testutil::WriteFile(mnt + "/far/inner.txt", "inside the far folder");
    ASSERT_EQ(testutil::Run({"rm", mnt + "/far.bin", mnt + "/far/inner.txt"}).exitCode, 0);
  }
  testutil::ExFatLayout l;
  ASSERT_TRUE(testutil::ReadExFatLayout(image, l));
  const uint64_t set = testutil::FindRootEntrySet(image, l, "far.bin");
  ASSERT_NE(set, 0u);
  // 2.5 TiB into the heap: past what a 32-bit sector product can reach.
  const uint32_t cluster = static_cast<uint32_t>((5ull << 39) / l.clusterSize) + 2;
  ASSERT_LT(cluster, l.clusterCount + 2);
  ASSERT_TRUE(testutil::PatchExFatStream(image, set, cluster, true));
  const std::string dd = "printf '%s' '" + payload + "' | dd of='" + image +
                         "' bs=512 seek=" + std::to_string(l.ClusterOffset(cluster) / 512) +
                         " conv=notrunc status=none";
  ASSERT_EQ(testutil::Shell(dd).exitCode, 0);
  const uint64_t folderSet = testutil::FindRootEntrySet(image, l, "far");
  ASSERT_NE(folderSet, 0u);
  std::vector<uint8_t> stream(32), folder(l.clusterSize);
  ASSERT_TRUE(testutil::ReadBytesAt(image, folderSet + 32, stream));
  ASSERT_TRUE(testutil::ReadBytesAt(image, l.ClusterOffset(testutil::ExFatLE32(&stream[20])), folder));
  ASSERT_TRUE(testutil::WriteBytesAt(image, l.ClusterOffset(cluster + 1), folder));
  ASSERT_TRUE(testutil::PatchExFatStream(image, folderSet, cluster + 1, true));
  // What a 32-bit product would read instead holds other bytes.
  const uint64_t wrapped = l.heapOffset + ((uint64_t(cluster - 2) * (l.clusterSize / 512)) & 0xFFFFFFFFull) * 512;
  ASSERT_TRUE(testutil::WriteBytesAt(image, wrapped, std::vector<uint8_t>(payload.size(), 'w')));

  const char letter = LetterOf(image, image);
  ASSERT_NE(letter, 0);
  const std::string out = m_dir.file("far.out");
  const Outcome o = Recover(image, {std::string(1, letter), "--extract", "1:far.bin", out});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(testutil::ReadFile(out), payload);
  EXPECT_EQ(ListedDeletedFiles(o.out), (std::set<std::string>{"far.bin", "far/inner.txt"})) << o.out;
}

// The deleted-file recovery of HFS+ volumes on read-only loop devices: what
// the journals of volumes with 512-, 4096- and 8192-byte blocks still name
// after the files and folders were deleted is listed, exactly, at its
// folders and given back whole (a compressed one at its inflated size),
// live files are not listed, the Mac OS X volume (not journaled) lists
// nothing deleted, and every image keeps its sha256.
TEST_F(RecoverCommand, HfsVolumesListWhatTheirJournalsRememberReadOnly) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("sha256sum");
  std::string gone;
  for (int i = 0; gone.size() < 70000; ++i) gone += "gone line " + std::to_string(i) + "\n";
  const std::string host = m_dir.file("gone.src");
  testutil::WriteFile(host, gone);
  std::vector<std::string> images;
  for (const char* blockSize : {"512", "4096", "8192"}) {
    images.push_back(m_dir.file(std::string("hfs") + blockSize + ".img"));
    const testutil::CommandResult made = testutil::Run({std::string(VANTOREL_BIN_DIR) + "/hfsgen",
                                                        "-o",
                                                        images.back(),
                                                        "--size",
                                                        "8M",
                                                        "--blocksize",
                                                        blockSize,
                                                        "--journal",
                                                        "256K",
                                                        "--folder",
                                                        "/docs",
                                                        "--text",
                                                        "/docs/keep.txt=kept",
                                                        "--deleted",
                                                        "/docs/gone.txt=" + host + ":3",
                                                        "--deleted-folder",
                                                        "/olddir",
                                                        "--deleted-text",
                                                        "/olddir/inner.txt=inner bytes",
                                                        "--deleted-compressed-fork",
                                                        "/olddir/packed.txt=" + host + ":9"});
    ASSERT_EQ(made.exitCode, 0) << made.output;
  }
  const testutil::RealVolumeLookup real = testutil::RealVolume("hfsplus.raw");
  if (!real.path.empty()) {
    images.push_back(m_dir.file("mac.img"));
    ASSERT_EQ(testutil::Run({"cp", real.path, images.back()}).exitCode, 0);
  }
  const std::string size = std::to_string(gone.size());
  for (const std::string& path : images) {
    SCOPED_TRACE(path);
    const bool mac = path == m_dir.file("mac.img");
    const std::string before = Sha256(path);
    const std::string out = path + ".gone", inner = path + ".inner";
    {
      testutil::LoopDevice loop(path, 512, testutil::LoopDevice::kReadOnly);
      ASSERT_TRUE(loop.ok()) << loop.error();
      const char letter = LetterOf(loop.Path(), loop.Path());
      ASSERT_NE(letter, 0);
      const std::string volume(1, letter);
      const Outcome listed = Recover(loop.Path(), {volume});
      EXPECT_EQ(listed.out.find("Return Error"), std::string::npos) << listed.out;
      // Every deleted entry of tree 1: kind, size and path.
      std::set<std::string> deleted;
      for (const std::string& line : testutil::Lines(listed.out)) {
        const std::vector<std::string> f = testutil::Fields(line);
        if (f.size() == 7 && f[0] == "node" && f[1] == "1" && f[3] == "deleted")
          deleted.insert(f[2] + " " + (f[2] == "f" ? f[4] : "-") + " " + f[6]);
      }
      if (mac) {
        EXPECT_TRUE(deleted.empty()) << listed.out;
        continue;
      }
      EXPECT_EQ(listed.exitCode, 0) << listed.err;
      EXPECT_EQ(deleted, (std::set<std::string>{"f " + size + " docs/gone.txt", "d - olddir", "f 11 olddir/inner.txt",
                                                "f " + size + " olddir/packed.txt"}))
          << listed.out;
      for (const auto& [file, to] :
           {std::make_pair("1:docs/gone.txt", out), std::make_pair("1:olddir/inner.txt", inner)}) {
        const Outcome extracted = Recover(loop.Path(), {volume, "--extract", file, to});
        EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
      }
    }
    EXPECT_EQ(Sha256(path), before);
    if (mac) continue;
    EXPECT_TRUE(testutil::ReadFile(out) == gone);
    EXPECT_EQ(testutil::ReadFile(inner), "inner bytes");
  }
}

}  // namespace

// Carving a disk image that holds two JPEG pictures Qt's documentation ships
// (qtbase5-dev), placed with dd between zeros: the carved lines, the files
// written by --extract-carved (byte-identical, never over an existing one),
// the type selection, and the image's bytes kept.
TEST_F(RecoverCommand, CarvedFilesAreListedAndWrittenOnce) {
  VT_REQUIRE_TOOL("dd");
  VT_REQUIRE_TOOL("sha256sum");
  std::string pictures[2];
  for (int i = 0; i < 2; ++i) {
    const auto r = testutil::Shell(std::string("dpkg-query -L qtbase5-dev | grep -m1 /Qt-") +
                                   (i ? "footer" : "header") + "-bg.jpg");
    pictures[i] = r.output.substr(0, r.output.find('\n'));
    ASSERT_FALSE(pictures[i].empty()) << "qtbase5-dev is not installed";
  }
  const std::string image = m_dir.file("raw.img");
  const auto made =
      testutil::Shell("dd if=/dev/zero of='" + image + "' bs=1M count=8 status=none && dd if='" + pictures[0] +
                      "' of='" + image + "' bs=512 seek=100 conv=notrunc status=none && " + "dd if='" + pictures[1] +
                      "' of='" + image + "' bs=512 seek=9001 conv=notrunc status=none");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const std::string before = Sha256(image);
  const std::string out = m_dir.file("carved");
  ASSERT_EQ(testutil::Run({"mkdir", out}).exitCode, 0);

  const std::string lines = "carved\t51200\t" + std::to_string(testutil::ReadFile(pictures[0]).size()) +
                            "\t35\tjpg\t-\ncarved\t4608512\t" + std::to_string(testutil::ReadFile(pictures[1]).size()) +
                            "\t35\tjpg\t-\n";
  Outcome o = Recover(image, {"0", "--raw-only", "--extract-carved", out});
  EXPECT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.out, lines);
  EXPECT_EQ(testutil::ReadFile(out + "/51200.jpg"), testutil::ReadFile(pictures[0]));
  EXPECT_EQ(testutil::ReadFile(out + "/4608512.jpg"), testutil::ReadFile(pictures[1]));

  // A second run finds the files there and leaves them alone.
  testutil::WriteFile(out + "/51200.jpg", "mine");
  o = Recover(image, {"0", "--raw", "--engines", "raw", "--types", "35", "--extract-carved", out});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_NE(o.err.find("cannot create"), std::string::npos) << o.err;
  EXPECT_EQ(testutil::ReadFile(out + "/51200.jpg"), "mine");

  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string out;
  } cases[] = {
      {{"0", "--raw-only", "--types", "35"}, 0, lines},
      {{"0", "--raw-only", "--types", "1,72"}, 1, ""},
      {{"0", "--raw-only", "--types", "35,x"}, 2, ""},
      {{"0", "--raw-only", "--extract-carved", m_dir.file("none")}, 2, ""},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    o = Recover(image, c.args);
    EXPECT_EQ(o.exitCode, c.exitCode) << shown << o.err;
    EXPECT_EQ(o.out, c.out) << shown;
  }
  EXPECT_EQ(Sha256(image), before);
}
