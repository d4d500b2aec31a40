// The free-space wipe run on real ext2, FAT32 and NTFS volumes of loop
// devices: deleted content is gone from the raw partition, live files and
// the user's own "norvanta" folder stay, the checker of the type is clean,
// the volume is mounted where it was (or unmounted again when the run
// mounted it), and no filler is left on any exit path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "ByteOrder.h"
#include "CFATQuickSearch.h"
#include "CHistoryDataBase.h"
#include "CNTFSQuickSearch.h"
#include "CWipeFreeSpaceRun.h"
#include "DriveLetters.h"
#include "EraseResult.h"
#include "FillerFolders.h"
#include "IQuickFileSystemSearchController.h"
#include "IStorageDevice.h"
#include "ScanEngineRegistry.h"
#include "ScrubDeletedRecords.h"
#include "TestUtil.h"
#include "VolumeFixtures.h"
#include "VolumeLock.h"
#include "VolumeMount.h"

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

const std::string kMarker = "VtFree-Deleted-5a1f07c3-";
constexpr uint64_t kStart = 2048;
constexpr uint64_t kSectors = 131072 - kStart;  // a 64 MiB image, one partition

struct FsCase {
  const char* name;
  EFileSystemType type;
  platform::VolumeFsKind kind;
};

const FsCase kExt2{"ext2", EFileSystemType::Ext2, platform::VolumeFsKind::Ext2};
const FsCase kFat32{"fat32", EFileSystemType::FAT32, platform::VolumeFsKind::FAT};
const FsCase kNtfs{"ntfs", EFileSystemType::NTFS, platform::VolumeFsKind::NTFS};

size_t Count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
  return n;
}

std::string Marked(size_t bytes) {
  std::string out;
  while (out.size() < bytes) out += kMarker + std::to_string(out.size()) + "\n";
  return out.substr(0, bytes);
}

std::string Random(size_t bytes, unsigned seed) {
  std::mt19937 gen(seed);
  std::string out(bytes, '\0');
  for (char& c : out) c = static_cast<char>(gen());
  return out;
}

constexpr uint32_t kCompressed = 0x800;

// The NTFS attributes ntfs-3g shows; 0 elsewhere.
uint32_t NtfsAttrib(int fd) {
  uint8_t be[4];
  if (fgetxattr(fd, "system.ntfs_attrib_be", be, 4) != 4) return 0;
  return ReadBE32(be);
}

// Counts the writes of each pass and can cancel or fail at a given write.
struct WriteCounter {
  std::vector<uint64_t> bytes;
  int cancelAt = -1;  // write number that cancels the run
  int failAt = -1;    // write number that fails with EIO
  int writes = 0;
  int compressedWrites = 0;  // writes into a file NTFS compresses
  CWipeFreeSpaceRun* run = nullptr;
  CWipeFreeSpaceRun::FillerWriter Writer() {
    return [this](int pass, int fd, const void* buffer, size_t length) -> ssize_t {
      if (writes == failAt) {
        errno = EIO;
        return -1;
      }
      if (writes++ == cancelAt) run->Cancel();
      if (NtfsAttrib(fd) & kCompressed) ++compressedWrites;
      const ssize_t r = ::write(fd, buffer, length);
      if (r > 0) {
        if (bytes.size() <= static_cast<size_t>(pass)) bytes.resize(static_cast<size_t>(pass) + 1);
        bytes[static_cast<size_t>(pass)] += static_cast<uint64_t>(r);
      }
      return r;
    };
  }
};

struct DoneWatch : IFreeSpaceObserver {
  void Started() override { ++started; }
  void Progress(int, uint64_t, uint64_t) override {}
  void Done(int r, bool c) override {
    ++done;
    result = r;
    cancelled = c;
  }
  int started = 0, done = 0, result = -1;
  bool cancelled = false;
};

class FreeSpaceImage : public ::testing::Test {
 protected:
  void SetUp() override {
    // As the program does at start; stub cases replace them.
    RegisterNTFSQuickSearch();
    RegisterFATQuickSearch();
    if (!testutil::IsRoot()) GTEST_SKIP() << "needs root (loop devices, mounts)";
    for (const char* tool : {"losetup", "sfdisk", "blockdev", "partx"})
      if (!testutil::HaveTool(tool)) GTEST_SKIP() << "needs " << tool;
    platform::ForgetDriveLettersForTest();
  }

  // Formats, mounts (unless `mount` is false), fills with live and deleted
  // content, and gives the volume its letter. False with a skip or a
  // failure recorded.
  bool Build(const FsCase& c, bool mount = true, bool readOnly = false) {
    m_case = c;
    m_image = m_dir.file("disk.img");
    if (!volfix::MakePartitionedImage(m_image, 64, {"start=2048, type=83"})) return Fail("sfdisk failed");
    m_loop = std::make_unique<testutil::LoopDevice>(m_image);
    if (!m_loop->ok() || !m_loop->WaitForPartition()) return Fail("no loop partition node");
    m_part = m_loop->Part1();
    m_env = std::make_unique<volfix::EnvGuard>(m_loop->Path());
    std::vector<std::string> mkfs;
    if (c.type == EFileSystemType::Ext2) mkfs = {"mke2fs", "-q", "-t", "ext2", m_part};
    if (c.type == EFileSystemType::FAT32) mkfs = {"mkfs.fat", "-F", "32", m_part};
    if (c.type == EFileSystemType::NTFS) mkfs = {"mkntfs", "-Q", "-f", m_part};
    if (!testutil::HaveTool(mkfs[0])) return Skip("needs " + mkfs[0]);
    auto made = testutil::Run(mkfs);
    if (made.exitCode != 0) return Fail(made.output);
    m_mnt = m_dir.file("mnt");
    if (!MountHere(false)) return false;
    // Live content, the user's own "norvanta" folder, and deleted content.
    m_live1 = Random(3u << 20, 1);
    m_live2 = Random(70000, 2);
    fs::create_directories(m_mnt + "/sub");
    fs::create_directories(m_mnt + "/norvanta");
    WriteFile(m_mnt + "/live1.bin", m_live1);
    WriteFile(m_mnt + "/sub/live2.bin", m_live2);
    WriteFile(m_mnt + "/norvanta/mine.txt", "the user's own");
    if (c.type == EFileSystemType::FAT32) {
      // fusefat keeps directories in memory and drops the entry of a file
      // made and deleted in one mount: mtools leaves real deleted entries.
      m_mount.reset();
      if (!testutil::HaveTool("mcopy")) return Skip("needs mtools");
      WriteFile(m_dir.file("dead1"), Marked(6u << 20));
      WriteFile(m_dir.file("dead2"), Marked(300000));
      const std::string tools = "export MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0; i='" + m_part + "'; mcopy -i \"$i\" '" +
                                m_dir.file("dead1") + "' ::/dead1.bin && mcopy -i \"$i\" '" + m_dir.file("dead2") +
                                "' ::/sub/dead2.bin && mdel -i \"$i\" ::/dead1.bin ::/sub/dead2.bin";
      const auto made = testutil::Shell(tools);
      if (made.exitCode != 0) return Fail("mtools: " + made.output);
      if (!MountHere(false)) return false;
    } else {
      WriteFile(m_mnt + "/dead1.bin", Marked(6u << 20));
      WriteFile(m_mnt + "/sub/dead2.bin", Marked(300000));
      sync();
      fs::remove(m_mnt + "/dead1.bin");
      fs::remove(m_mnt + "/sub/dead2.bin");
    }
    sync();
    if (!mount || readOnly) {
      m_mount.reset();
      if (Count(RawPartition(), kMarker) == 0) return Fail("the deleted content never reached the disk");
      if (readOnly && !MountHere(true)) return false;
    }
    const int disk = volfix::DiskNumberOf(m_loop->Path());
    m_letter = platform::RegisterVolume(disk, kStart, kSectors, c.kind);
    if (m_letter == 0) return Fail("no letter");
    return true;
  }

  bool MountHere(bool readOnly) {
    std::vector<std::string> argv;
    const std::string ro = readOnly ? "ro" : "rw";
    if (m_case.type == EFileSystemType::Ext2) argv = {"mount", "-t", "ext2", "-o", ro, m_part, m_mnt};
    if (m_case.type == EFileSystemType::NTFS) argv = {"ntfs-3g", "-o", ro, m_part, m_mnt};
    if (m_case.type == EFileSystemType::FAT32) {
      if (platform::KernelHasFileSystem("vfat"))
        argv = {"mount", "-t", "vfat", "-o", ro, m_part, m_mnt};
      else if (testutil::HaveTool("fusefat"))
        argv = {"fusefat", "-o", readOnly ? "ro" : "rw+", m_part, m_mnt};
      else
        return Skip("no FAT mounter here: neither the kernel's vfat nor fusefat");
    }
    if (!testutil::HaveTool(argv[0])) return Skip("needs " + argv[0]);
    m_mount = std::make_unique<volfix::TestMount>(m_mnt, argv);
    return m_mount->ok() || Fail("mount failed: " + m_mount->output());
  }

  std::vector<std::string> Mounts() const {
    platform::LetteredVolume v;
    return platform::GetLetteredVolume(m_letter, &v) ? v.mountPoints : std::vector<std::string>{"?"};
  }

  // The raw partition as it is on the disk now.
  std::string RawPartition() {
    testutil::Run({"blockdev", "--flushbufs", m_part});
    return ReadFile(m_part);
  }

  // What every run must leave: the live files, the user's folder, no
  // filler; then, unmounted: no deleted content in the raw partition and a
  // clean checker.
  void CheckAfterRun(bool expectMounted) {
    EXPECT_EQ(volfix::IsMountedAt(m_mnt), expectMounted);
    // Mounted where it was and nowhere else (other processes may use
    // /run/vantorel/X for their own letters, so the folder itself says
    // nothing).
    EXPECT_EQ(Mounts(), expectMounted ? std::vector<std::string>{m_mnt} : std::vector<std::string>{});
    if (!expectMounted) {
      ASSERT_TRUE(MountHere(false));
    }
    for (const auto& e : fs::directory_iterator(m_mnt))
      EXPECT_EQ(e.path().filename().string().rfind(".norvanta", 0), std::string::npos) << e.path();
    EXPECT_TRUE(ReadFile(m_mnt + "/live1.bin") == m_live1);
    EXPECT_TRUE(ReadFile(m_mnt + "/sub/live2.bin") == m_live2);
    EXPECT_EQ(ReadFile(m_mnt + "/norvanta/mine.txt"), "the user's own");
    m_mount.reset();
    ASSERT_FALSE(volfix::IsMountedAt(m_mnt));
    EXPECT_EQ(Count(RawPartition(), kMarker), 0u) << "deleted content left in the free space";
    testutil::CommandResult check;
    if (m_case.type == EFileSystemType::Ext2) check = testutil::Run({"e2fsck", "-fn", m_part});
    if (m_case.type == EFileSystemType::FAT32) check = testutil::Run({"fsck.fat", "-n", m_part});
    if (m_case.type == EFileSystemType::NTFS) check = testutil::Run({"ntfsfix", "-n", m_part});
    EXPECT_EQ(check.exitCode, 0) << check.output;
  }

  // The outcome a complete fill has for the type: a skipped scrub is no
  // full success.
  void ExpectFillOutcome(const CWipeFreeSpaceRun& run) {
    EXPECT_EQ(run.FillResult(), ERASE_COMPLETED);
    if (m_case.type == EFileSystemType::Ext2) {
      // A completed run that says the names of deleted files stay.
      EXPECT_EQ(run.Scrub().outcome, EScrubOutcome::NotApplicable);
      EXPECT_EQ(run.Result(), ERASE_FREESPACE_NAMES_NOT_SCRUBBED);
      EXPECT_TRUE(EraseResultSucceeded(ERASE_MODE_FREESPACE, run.Result()));
      EXPECT_NE(run.HistoryText().find("names of deleted files not scrubbed"), std::string::npos);
    } else if (!HasQuickSearch(m_case.type)) {
      EXPECT_EQ(run.Scrub().outcome, EScrubOutcome::SkippedUnavailable);
      EXPECT_EQ(run.Result(), ERASE_FREESPACE_WRITE_FAILED);
    } else {
      EXPECT_EQ(run.Scrub().outcome, EScrubOutcome::Done);
      EXPECT_EQ(run.Result(), ERASE_COMPLETED);
    }
  }

  // Runs `run` on the built volume with the counting writer.
  void RunCounted(CWipeFreeSpaceRun& run, WriteCounter& counter, int passes = 1) {
    counter.run = &run;
    run.SetVolume(m_letter, m_case.type);
    run.SetPasses(passes);
    run.SetFillerWriter(counter.Writer());
    run.Run();
  }

  bool Fail(const std::string& why) {
    ADD_FAILURE() << why;
    return false;
  }
  bool Skip(const std::string& why) {
    m_skip = why;
    return false;
  }

  testutil::TempDir m_dir{"freespace"};
  FsCase m_case = kExt2;
  std::string m_image, m_part, m_mnt, m_skip, m_live1, m_live2;
  char m_letter = 0;
  // Declared so that the mount goes before the loop device, and the
  // environment last.
  std::unique_ptr<volfix::EnvGuard> m_env;
  std::unique_ptr<testutil::LoopDevice> m_loop;
  std::unique_ptr<volfix::TestMount> m_mount;
};

#define BUILD_OR_STOP(...)                              \
  do {                                                  \
    if (!Build(__VA_ARGS__)) {                          \
      if (!m_skip.empty()) GTEST_SKIP() << m_skip;      \
      return;                                           \
    }                                                   \
  } while (0)

class FreeSpaceFill : public FreeSpaceImage, public ::testing::WithParamInterface<FsCase> {};

TEST_P(FreeSpaceFill, OverwritesDeletedContentAndKeepsTheVolume) {
  BUILD_OR_STOP(GetParam());
  DoneWatch watch;
  CWipeFreeSpaceRun run;
  run.SetVolume(m_letter, GetParam().type);
  run.SetObserver(&watch);
  run.Run();
  ExpectFillOutcome(run);
  EXPECT_EQ(watch.done, 1);
  EXPECT_EQ(watch.result, run.Result());
  EXPECT_FALSE(watch.cancelled);
  ASSERT_EQ(run.PassBytes().size(), 1u);
  EXPECT_GT(run.PassBytes()[0], 40u << 20);
  EXPECT_EQ(run.MountPoint(), m_mnt);
  CheckAfterRun(true);
}

// The types with a deleted-record scrub (ext2 has none).
class ScrubbedTypes : public FreeSpaceImage, public ::testing::WithParamInterface<FsCase> {};

// The records of deleted files (FAT directory entries, NTFS MFT records)
// are the scrub's part.
TEST_P(ScrubbedTypes, ScrubsDeletedNames) {
  if (!HasQuickSearch(GetParam().type))
    GTEST_SKIP() << "the " << GetParam().name << " deleted-record scrub is not registered in this build";
  if (!testutil::HaveTool("fls")) GTEST_SKIP() << "needs fls (sleuthkit)";
  BUILD_OR_STOP(GetParam());
  CWipeFreeSpaceRun run;
  run.SetVolume(m_letter, GetParam().type);
  run.Run();
  EXPECT_EQ(run.Result(), ERASE_COMPLETED);
  EXPECT_EQ(run.Scrub().outcome, EScrubOutcome::Done);
  EXPECT_TRUE(volfix::IsMountedAt(m_mnt));
  m_mount.reset();
  // FAT keeps a deleted name without its first letter.
  const auto listed = testutil::Run({"fls", "-rd", m_part});
  EXPECT_EQ(listed.output.find("ead1.bin"), std::string::npos) << listed.output;
  EXPECT_EQ(listed.output.find("ead2.bin"), std::string::npos) << listed.output;
}

// A cancel flag already set reaches the engine through the controller:
// it stops before its first write, says so, and the volume is mounted
// again with its deleted records as they were.
TEST_P(ScrubbedTypes, CancelledScrubStopsBeforeItWrites) {
  if (!HasQuickSearch(GetParam().type))
    GTEST_SKIP() << "the " << GetParam().name << " deleted-record scrub is not registered in this build";
  if (!testutil::HaveTool("fls")) GTEST_SKIP() << "needs fls (sleuthkit)";
  BUILD_OR_STOP(GetParam());
  m_mount.reset();
  const auto before = testutil::Run({"fls", "-rd", m_part});
  ASSERT_NE(before.output.find("ead1.bin"), std::string::npos) << before.output;
  ASSERT_TRUE(MountHere(false));
  std::atomic<int> cancel{1};
  ScrubOptions options;
  options.cancel = &cancel;
  const ScrubReport report = ScrubDeletedRecords(m_letter, GetParam().type, options);
  EXPECT_EQ(report.outcome, EScrubOutcome::Cancelled);
  EXPECT_FALSE(ScrubSucceeded(GetParam().type, report.engineCode));
  EXPECT_TRUE(report.remounted);
  EXPECT_FALSE(ScrubComplete(report));
  EXPECT_TRUE(volfix::IsMountedAt(m_mnt));
  m_mount.reset();
  const auto listed = testutil::Run({"fls", "-rd", m_part});
  EXPECT_NE(listed.output.find("ead1.bin"), std::string::npos) << listed.output;
}

INSTANTIATE_TEST_SUITE_P(Types, ScrubbedTypes, ::testing::Values(kFat32, kNtfs),
                         [](const ::testing::TestParamInfo<FsCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Types, FreeSpaceFill, ::testing::Values(kExt2, kFat32, kNtfs),
                         [](const ::testing::TestParamInfo<FsCase>& info) { return std::string(info.param.name); });

// An unmounted volume is mounted at /run/vantorel/X for the run and
// unmounted after it; every pass writes the free space once more.
TEST_F(FreeSpaceImage, ThreePassesOnAVolumeMountedOnDemand) {
  BUILD_OR_STOP(kExt2, false);
  WriteCounter counter;
  CWipeFreeSpaceRun run;
  RunCounted(run, counter, 3);
  EXPECT_EQ(run.Result(), ERASE_FREESPACE_NAMES_NOT_SCRUBBED);
  // Its own folder, unless another process holds that one.
  EXPECT_EQ(run.MountPoint().rfind(platform::OnDemandMountPoint(m_letter), 0), 0u) << run.MountPoint();
  ASSERT_EQ(counter.bytes.size(), 3u);
  ASSERT_EQ(run.PassBytes().size(), 3u);
  for (size_t pass = 0; pass < 3; ++pass) {
    EXPECT_EQ(counter.bytes[pass], run.PassBytes()[pass]);
    // Each pass ends at the full volume, short only of what the filler's
    // own block maps take.
    EXPECT_GE(counter.bytes[pass], run.FreeBytes() / 100 * 97) << "pass " << pass;
    EXPECT_LE(counter.bytes[pass], run.FreeBytes());
  }
  CheckAfterRun(false);
}

// Cancel and a failed write both remove the filler; neither is success.
TEST_F(FreeSpaceImage, CancelAndWriteFailureRemoveTheFiller) {
  BUILD_OR_STOP(kExt2);
  struct Case {
    int cancelAt, failAt, result;
  } cases[] = {{5, -1, ERASE_FREESPACE_CANCELLED}, {-1, 7, ERASE_FREESPACE_WRITE_FAILED}};
  for (const Case& c : cases) {
    WriteCounter counter;
    counter.cancelAt = c.cancelAt;
    counter.failAt = c.failAt;
    DoneWatch watch;
    CWipeFreeSpaceRun run;
    run.SetObserver(&watch);
    RunCounted(run, counter, 3);
    EXPECT_EQ(run.Result(), c.result);
    EXPECT_EQ(watch.cancelled, c.result == ERASE_FREESPACE_CANCELLED);
    EXPECT_EQ(counter.bytes.size(), 1u) << "a stopped run starts no further pass";
    EXPECT_FALSE(run.FillerFolder().empty());
    EXPECT_FALSE(fs::exists(run.FillerFolder()));
  }
  // The file system is whole and the user's files are there.
  for (const auto& e : fs::directory_iterator(m_mnt))
    EXPECT_EQ(e.path().filename().string().rfind(".norvanta", 0), std::string::npos) << e.path();
  EXPECT_EQ(ReadFile(m_mnt + "/norvanta/mine.txt"), "the user's own");
  EXPECT_TRUE(ReadFile(m_mnt + "/live1.bin") == m_live1);
  m_mount.reset();
  const auto check = testutil::Run({"e2fsck", "-fn", m_part});
  EXPECT_EQ(check.exitCode, 0) << check.output;
}

// A read-only volume says so; nothing is written.
TEST_F(FreeSpaceImage, ReadOnlyVolumeIsRefusedWithItsOwnMessage) {
  BUILD_OR_STOP(kExt2, true, true);
  WriteCounter counter;
  CWipeFreeSpaceRun run;
  RunCounted(run, counter);
  EXPECT_EQ(run.Result(), ERASE_FREESPACE_ACCESS_DENIED);
  EXPECT_EQ(counter.writes, 0);
  EXPECT_NE(std::string(EraseResultText(ERASE_MODE_FREESPACE, run.Result())).find("read-only"), std::string::npos);
  EXPECT_TRUE(volfix::IsMountedAt(m_mnt));
}

// The folder beneath a mount point that is not there is never filled.
TEST_F(FreeSpaceImage, VolumeThatCannotBeMountedIsNotFilledElsewhere) {
  BUILD_OR_STOP(kExt2, false);
  // Wipe the file system's signature: the volume can no longer be mounted.
  const int fd = open(m_part.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const std::string zeros(4096, '\0');
  ASSERT_EQ(pwrite(fd, zeros.data(), zeros.size(), 0), 4096);
  close(fd);
  WriteCounter counter;
  CWipeFreeSpaceRun run;
  RunCounted(run, counter);
  EXPECT_EQ(run.Result(), ERASE_FREESPACE_OPEN_FAILED);
  EXPECT_EQ(counter.writes, 0);
  EXPECT_TRUE(Mounts().empty());
}

// A stand-in for the engine's quick search: notes how it was called and
// what it saw of the volume.
struct StubScrub {
  int calls = 0;
  int deviceNumber = -1;
  uint64_t startSector = 0;
  bool mountedDuring = true;
  bool lockedDuring = false;
  bool readBootSector = false;
  int answer = 0;
  std::string mountPoint;
};

class StubQuickSearch : public IQuickFileSystemSearchController {
 public:
  explicit StubQuickSearch(StubScrub* s) : m_s(s) {}
  void SetTreeBuilder(IDirecotryTreeBuilder*) override {}
  void GetPartitions(std::vector<CSearchedPartitionInfo*>&) override {}
  void SetOptions(int deviceNumber, uint64_t startSector) override {
    m_s->deviceNumber = deviceNumber;
    m_s->startSector = startSector;
  }
  int QuickSearchFiles(IStorageDevice* volume, IScanProgressSink*) override {
    ++m_s->calls;
    m_s->mountedDuring = volfix::IsMountedAt(m_s->mountPoint);
    m_s->lockedDuring = platform::HasLockedVolume(m_s->deviceNumber);
    std::vector<char> sector(static_cast<size_t>(volume->GetSectorSize()));
    m_s->readBootSector = volume->ReadSectors(sector.data(), 0, 1) != 0;
    return m_s->answer;
  }

 private:
  StubScrub* m_s;
};

struct ScrubCase {
  FsCase fs;
  bool busy;        // a file on the volume is held open
  int answer;       // what the quick search returns
  EScrubOutcome outcome;
  int result;
};

class FreeSpaceScrub : public FreeSpaceImage, public ::testing::WithParamInterface<ScrubCase> {
 protected:
  void TearDown() override { RegisterQuickSearch(GetParam().fs.type, nullptr); }
};

// The scrub runs on the locked (unmounted) volume through a strict device
// of the run's own, with the volume's disk and start as the write target;
// the volume is mounted again where it was before the fill. A busy volume
// or a failing search is reported, and the fill goes on.
TEST_P(FreeSpaceScrub, RunsOnTheLockedVolumeAndRemountsIt) {
  const ScrubCase& c = GetParam();
  BUILD_OR_STOP(c.fs);
  StubScrub stub;
  stub.answer = c.answer;
  stub.mountPoint = m_mnt;
  RegisterQuickSearch(c.fs.type, [&stub] { return new StubQuickSearch(&stub); });
  int holder = -1;
  if (c.busy) holder = open((m_mnt + "/live1.bin").c_str(), O_RDONLY);
  CWipeFreeSpaceRun run;
  run.SetVolume(m_letter, c.fs.type);
  run.Run();
  if (holder >= 0) close(holder);
  EXPECT_EQ(run.Scrub().outcome, c.outcome);
  EXPECT_EQ(run.Result(), c.result);
  EXPECT_EQ(run.FillResult(), ERASE_COMPLETED);
  if (c.busy) {
    EXPECT_EQ(stub.calls, 0);
    EXPECT_EQ(run.Scrub().winError, 5u);
    // Its own words, not those of a failed fill.
    EXPECT_STREQ(EraseResultTitle(ERASE_MODE_FREESPACE, run.Result()), "Partly completed!");
    EXPECT_NE(std::string(EraseResultText(ERASE_MODE_FREESPACE, run.Result())).find("in use"), std::string::npos);
    EXPECT_NE(run.HistoryText().find("not scrubbed: the partition was in use"), std::string::npos);
  } else {
    EXPECT_EQ(stub.calls, 1);
    EXPECT_EQ(stub.deviceNumber, volfix::DiskNumberOf(m_loop->Path()));
    EXPECT_EQ(stub.startSector, kStart);
    EXPECT_FALSE(stub.mountedDuring) << "scrubbed while mounted";
    EXPECT_TRUE(stub.lockedDuring);
    EXPECT_TRUE(stub.readBootSector);
  }
  CheckAfterRun(true);
}

INSTANTIATE_TEST_SUITE_P(
    Scrub, FreeSpaceScrub,
    ::testing::Values(ScrubCase{kFat32, false, 0, EScrubOutcome::Done, ERASE_COMPLETED},
                      ScrubCase{kNtfs, false, 0, EScrubOutcome::Done, ERASE_COMPLETED},
                      ScrubCase{kNtfs, false, 0x660005, EScrubOutcome::Failed, ERASE_FREESPACE_WRITE_FAILED},
                      ScrubCase{kNtfs, true, 0, EScrubOutcome::SkippedBusy, ERASE_FREESPACE_SCRUB_SKIPPED_BUSY}),
    [](const ::testing::TestParamInfo<ScrubCase>& info) {
      return std::string(info.param.fs.name) + (info.param.busy ? "_busy" : "") +
             (info.param.answer ? "_failing" : "");
    });

// A scrub that left records it could not confirm says so; the fill goes on
// and the run is no full success.
INSTANTIATE_TEST_SUITE_P(Incomplete, FreeSpaceScrub,
                         ::testing::Values(ScrubCase{kNtfs, false, engine_error::kScrubIncomplete,
                                                     EScrubOutcome::Incomplete, ERASE_FREESPACE_WRITE_FAILED}),
                         [](const ::testing::TestParamInfo<ScrubCase>& info) {
                           return std::string(info.param.fs.name);
                         });

// A quick search that runs until its cancel flag is set (or 20 s pass).
class WaitingQuickSearch : public IQuickFileSystemSearchController {
 public:
  explicit WaitingQuickSearch(std::atomic<int>* state) : m_state(state) {}
  void SetTreeBuilder(IDirecotryTreeBuilder*) override {}
  void GetPartitions(std::vector<CSearchedPartitionInfo*>&) override {}
  void SetOptions(int, uint64_t) override {}
  void SetCancelFlag(const std::atomic<int>* cancel) override { m_cancel = cancel; }
  int QuickSearchFiles(IStorageDevice*, IScanProgressSink*) override {
    m_state->store(1);
    for (int i = 0; i < 2000; ++i) {
      if (m_cancel && m_cancel->load() != 0) {
        m_state->store(2);
        return 0x4C7;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
  }

 private:
  std::atomic<int>* m_state;
  const std::atomic<int>* m_cancel = nullptr;
};

// Cancel pressed while the deleted records are scrubbed stops the scrub;
// the volume is mounted again and no filler is written.
TEST_F(FreeSpaceImage, CancelDuringTheScrubStopsIt) {
  BUILD_OR_STOP(kNtfs);
  std::atomic<int> state{0};  // 1: searching, 2: saw the cancel
  RegisterQuickSearch(EFileSystemType::NTFS, [&state] { return new WaitingQuickSearch(&state); });
  WriteCounter counter;
  CWipeFreeSpaceRun run;
  std::thread worker([&] { RunCounted(run, counter); });
  for (int i = 0; i < 2000 && state.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  run.Cancel();
  worker.join();
  RegisterNTFSQuickSearch();
  EXPECT_EQ(state.load(), 2);
  EXPECT_EQ(run.Scrub().outcome, EScrubOutcome::Cancelled);
  EXPECT_EQ(run.Result(), ERASE_FREESPACE_CANCELLED);
  EXPECT_EQ(counter.writes, 0);
  EXPECT_EQ(Mounts(), std::vector<std::string>{m_mnt});
  for (const auto& e : fs::directory_iterator(m_mnt))
    EXPECT_EQ(e.path().filename().string().rfind(".norvanta", 0), std::string::npos) << e.path();
  EXPECT_TRUE(ReadFile(m_mnt + "/live1.bin") == m_live1);
}

// vtctl finds the volume by letter from the disk table and drives the run
// and the scrub.
TEST_F(FreeSpaceImage, VtctlWipesAndScrubsByLetter) {
  BUILD_OR_STOP(kExt2);
  const std::string vtctl = testutil::BuildDir() + "/bin/vtctl";
  const auto letters = testutil::Run({vtctl, "letters"});
  ASSERT_EQ(letters.exitCode, 0) << letters.output;
  const size_t at = letters.output.find(m_part);
  ASSERT_NE(at, std::string::npos) << letters.output;
  const size_t lineStart = letters.output.rfind('\n', at);
  const std::string letter(1, letters.output[lineStart == std::string::npos ? 0 : lineStart + 1]);
  const auto scrub = testutil::Run({vtctl, "scrub", letter});
  EXPECT_EQ(scrub.exitCode, 0) << scrub.output;
  EXPECT_NE(scrub.output.find("scrub not applicable"), std::string::npos) << scrub.output;
  const std::string history = m_dir.file("history.db");
  const auto wipe = testutil::Run({vtctl, "wipe-free-space", "--passes", "3", "--history", history, letter});
  EXPECT_EQ(wipe.exitCode, 0) << wipe.output;
  EXPECT_NE(wipe.output.find("3 passes"), std::string::npos) << wipe.output;
  const auto runs = CHistoryDataBase(history).ReadAll();
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs.begin()->second.size(), 1u);
  EXPECT_NE(wipe.output.find("result 7: Completed!"), std::string::npos) << wipe.output;
  const std::string& text = runs.begin()->second[0].path;
  const std::string lead = "Wiped free space of partition " + letter + " (/dev/loop";
  const std::string tail = "); names of deleted files not scrubbed on this file system";
  EXPECT_EQ(text.compare(0, lead.size(), lead), 0) << text;
  EXPECT_TRUE(text.size() > tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0) << text;
  EXPECT_EQ(runs.begin()->second[0].algorithm, 3);
  EXPECT_EQ(runs.begin()->second[0].result, ERASE_COMPLETED);
  CheckAfterRun(true);
}

// A compressed NTFS root hands its compression down to new folders: 0xFF
// filler would take next to no space. The run's folder and files are not
// compressed, the user's root stays as it was, and the deleted content is
// overwritten.
TEST_F(FreeSpaceImage, CompressedNtfsFolderDoesNotCompressTheFiller) {
  BUILD_OR_STOP(kNtfs);
  const int root = open(m_mnt.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(root, 0);
  const uint32_t attrib = NtfsAttrib(root) | kCompressed;
  const unsigned char be[4] = {uint8_t(attrib >> 24), uint8_t(attrib >> 16), uint8_t(attrib >> 8), uint8_t(attrib)};
  ASSERT_EQ(fsetxattr(root, "system.ntfs_attrib_be", be, 4, 0), 0);
  ASSERT_TRUE(NtfsAttrib(root) & kCompressed);
  close(root);
  WriteCounter counter;
  CWipeFreeSpaceRun run;
  RunCounted(run, counter);
  EXPECT_EQ(run.FillResult(), ERASE_COMPLETED);
  EXPECT_GT(counter.writes, 0);
  EXPECT_EQ(counter.compressedWrites, 0);
  const int again = open(m_mnt.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(again, 0);
  EXPECT_TRUE(NtfsAttrib(again) & kCompressed) << "the user's folder was changed";
  close(again);
  CheckAfterRun(true);
}

// Many small filler files are spread over subfolders (FAT limits the
// entries of a folder); all of them go again.
TEST_F(FreeSpaceImage, FillerSpreadOverSubfoldersOnFat) {
  BUILD_OR_STOP(kFat32);
  std::set<std::string> folders;
  WriteCounter counter;
  CWipeFreeSpaceRun run;
  run.SetFillerLayout(1u << 20, 8);
  const auto inner = counter.Writer();
  run.SetFillerWriter([&](int pass, int fd, const void* buffer, size_t length) {
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n > 0) folders.insert(fs::path(std::string(target, static_cast<size_t>(n))).parent_path().string());
    return inner(pass, fd, buffer, length);
  });
  counter.run = &run;
  run.SetVolume(m_letter, kFat32.type);
  run.Run();
  EXPECT_EQ(run.FillResult(), ERASE_COMPLETED);
  // About 55 MiB free in files of 1 MiB, eight to a folder.
  EXPECT_GE(folders.size(), 6u);
  for (const auto& f : folders) EXPECT_FALSE(fs::exists(f)) << f;
  CheckAfterRun(true);
}

}  // namespace

namespace {

// Volumes that fill a whole image file (VANTOREL_DISKS names the file), as a
// user would wipe one: the run mounts them on demand through a loop device
// of its own, with fusefat or ntfs-3g. vtctl drives the runs, as a separate
// process that can be killed.
struct FileVolumeCase {
  const char* name;
  std::vector<std::string> mkfs;  // the image path is appended
  const char* roMount;            // ntfs-3g: its statvfs measures the free space
  bool killMidFill;
  uint64_t clusterBytes;  // FAT: fsck.fat's cluster count measures it
};

class FileVolume : public ::testing::TestWithParam<FileVolumeCase> {
 protected:
  void SetUp() override {
    if (!testutil::IsRoot()) GTEST_SKIP() << "needs root (loop devices, mounts)";
    if (!testutil::HaveFuse()) GTEST_SKIP() << "needs FUSE";
    for (const char* tool : {"losetup", "mcopy", GetParam().mkfs[0].c_str(), GetParam().roMount})
      if (!testutil::HaveTool(tool)) GTEST_SKIP() << "needs " << tool;
    m_image = m_dir.file("volume.img");
    ASSERT_EQ(testutil::Run({"truncate", "-s", "64M", m_image}).exitCode, 0);
    std::vector<std::string> mkfs = GetParam().mkfs;
    mkfs.push_back(m_image);
    const auto made = testutil::Run(mkfs);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    m_env = std::make_unique<volfix::EnvGuard>(m_image);
    m_vtctl = testutil::BuildDir() + "/bin/vtctl";
    const auto letters = testutil::Run({m_vtctl, "letters"});
    const size_t at = letters.output.find(m_image);
    ASSERT_NE(at, std::string::npos) << letters.output;
    const size_t lineStart = letters.output.rfind('\n', at);
    m_letter = letters.output.substr(lineStart == std::string::npos ? 0 : lineStart + 1, 1);
  }

  void TearDown() override {
    // Whatever a failed test left of a killed run goes here too.
    filler::CleanUpAfterEarlierRuns();
  }

  // Free bytes as fsck.fat counts them, or as ntfs-3g reports them
  // read-only (fusefat reports no counts for FAT32).
  uint64_t FreeBytes() {
    if (GetParam().clusterBytes) {
      const auto check = testutil::Run({"fsck.fat", "-n", m_image});
      unsigned long long used = 0, total = 0;
      const size_t at = check.output.find(" files, ");
      if (at == std::string::npos ||
          sscanf(check.output.c_str() + at, " files, %llu/%llu clusters", &used, &total) != 2) {
        ADD_FAILURE() << check.output;
        return 0;
      }
      return (total - used) * GetParam().clusterBytes;
    }
    const std::string mnt = m_dir.file("measure");
    volfix::TestMount mount(mnt, {GetParam().roMount, "-o", "ro", m_image, mnt});
    if (!mount.ok()) {
      ADD_FAILURE() << mount.output();
      return 0;
    }
    struct statvfs sv;
    if (statvfs(mnt.c_str(), &sv) != 0) return 0;
    return static_cast<uint64_t>(sv.f_bfree) * sv.f_frsize;
  }

  // Loop devices attached over the image now.
  size_t LoopsOverImage() {
    struct stat st;
    if (stat(m_image.c_str(), &st) != 0) return 0;
    size_t n = 0;
    for (const auto& loop : platform::ListLoopDevices())
      if (loop.backingDev == st.st_dev && loop.backingIno == st.st_ino) ++n;
    return n;
  }

  testutil::TempDir m_dir{"filevolume"};
  std::string m_image, m_vtctl, m_letter;
  std::unique_ptr<volfix::EnvGuard> m_env;
};

// A run killed at 1 s or in the middle of the fill leaves its mount, loop
// device and filler; the next run releases them first, fills the volume
// again and says so honestly, and leaves no mount and no loop device; the
// free space is what a complete run leaves (NTFS keeps a few clusters of
// the first run's metadata, so the baseline is taken after one).
TEST_P(FileVolume, NextRunCleansUpAfterAKilledRun) {
  const auto first = testutil::Run({m_vtctl, "wipe-free-space", m_letter});
  ASSERT_EQ(first.exitCode, 0) << first.output;
  const uint64_t baseline = FreeBytes();
  ASSERT_GT(baseline, 32u << 20);
  const std::string errors = m_dir.file("killed.err");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    dup2(fd, 1);
    execl(m_vtctl.c_str(), m_vtctl.c_str(), "wipe-free-space", m_letter.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  bool midFill = false;
  for (int i = 0; i < 3000; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!GetParam().killMidFill && i == 99) break;  // about 1 s
    const std::string said = ReadFile(errors);
    const size_t at = said.find("pass 1: ");
    if (at != std::string::npos && said.find("pass 1: ", at + 1) != std::string::npos) {
      midFill = true;  // the first report after the start: 20 MiB written
      break;
    }
  }
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  if (GetParam().killMidFill) {
    ASSERT_TRUE(midFill) << ReadFile(errors);
    EXPECT_EQ(LoopsOverImage(), 1u) << "the killed run held the volume through a loop device";
  }

  const std::string history = m_dir.file("history.db");
  const auto again = testutil::Run({m_vtctl, "--log-stderr", "wipe-free-space", "--history", history, m_letter});
  // The log says what was released. Any program start releases what a
  // gone process left, so under a parallel test run another test's vtctl may
  // have done it first: the lines are asked for when this run released
  // anything; the outcome below is checked either way.
  if (GetParam().killMidFill && again.output.find("Left by an earlier run: ") != std::string::npos) {
    EXPECT_NE(again.output.find("Left by an earlier run: removed the filler folder /run/vantorel/"), std::string::npos)
        << again.output;
    EXPECT_NE(again.output.find("Left by an earlier run: unmounted /run/vantorel/"), std::string::npos) << again.output;
    EXPECT_NE(again.output.find("Left by an earlier run: detached /dev/loop"), std::string::npos) << again.output;
  }
  EXPECT_EQ(again.exitCode, 0) << again.output;
  EXPECT_NE(again.output.find("result 0:"), std::string::npos) << again.output;
  EXPECT_NE(again.output.find("scrub done"), std::string::npos) << again.output;
  const auto runs = CHistoryDataBase(history).ReadAll();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs.begin()->second.at(0).result, ERASE_COMPLETED);
  EXPECT_EQ(LoopsOverImage(), 0u) << "a loop device stays over the volume";
  EXPECT_EQ(FreeBytes(), baseline);
}

INSTANTIATE_TEST_SUITE_P(
    Killed, FileVolume,
    ::testing::Values(FileVolumeCase{"fat32_at_1s", {"mkfs.fat", "-F", "32", "-s", "1"}, "fsck.fat", false, 512},
                      FileVolumeCase{"fat32_mid_fill", {"mkfs.fat", "-F", "32", "-s", "1"}, "fsck.fat", true, 512},
                      FileVolumeCase{"ntfs_at_1s", {"mkntfs", "-Q", "-F"}, "ntfs-3g", false, 0},
                      FileVolumeCase{"ntfs_mid_fill", {"mkntfs", "-Q", "-F"}, "ntfs-3g", true, 0}),
    [](const ::testing::TestParamInfo<FileVolumeCase>& info) { return std::string(info.param.name); });

// A FAT volume filled to its last cluster is a completed fill, whatever
// error the driver answers at the end (fusefat answers EPERM): result 0, a
// successful history row, no deleted content left, a clean checker, and the
// fill wrote all the free space but the clusters of its own two folders.
class FatFill : public FileVolume {};

TEST_P(FatFill, FullVolumeIsACompletedFill) {
  const std::string dead = m_dir.file("dead.bin");
  WriteFile(dead, Marked(5u << 20));
  const auto copied = testutil::Shell("export MTOOLS_SKIP_CHECK=1; mcopy -i '" + m_image + "' '" + dead +
                                      "' ::/dead.bin && mdel -i '" + m_image + "' ::/dead.bin");
  ASSERT_EQ(copied.exitCode, 0) << copied.output;
  ASSERT_GT(Count(ReadFile(m_image), kMarker), 0u);
  const uint64_t free = FreeBytes();
  const std::string history = m_dir.file("history.db");
  const auto run = testutil::Run({m_vtctl, "wipe-free-space", "--history", history, m_letter});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("result 0: Completed!"), std::string::npos) << run.output;
  const size_t at = run.output.find(" filler bytes written");
  ASSERT_NE(at, std::string::npos) << run.output;
  const uint64_t written = std::stoull(run.output.substr(run.output.rfind(' ', at - 1) + 1));
  const uint64_t cluster = GetParam().clusterBytes;
  EXPECT_GE(written, free - 2 * cluster) << run.output;
  EXPECT_LE(written, free);
  const auto runs = CHistoryDataBase(history).ReadAll();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs.begin()->second.at(0).result, ERASE_COMPLETED);
  EXPECT_EQ(runs.begin()->second.at(0).path, "Wiped free space of partition " + m_letter + " (" + m_image + " at byte 0)");
  EXPECT_EQ(Count(ReadFile(m_image), kMarker), 0u) << "deleted content left";
  const auto check = testutil::Run({"fsck.fat", "-n", m_image});
  EXPECT_EQ(check.exitCode, 0) << check.output;
  EXPECT_EQ(LoopsOverImage(), 0u);
  EXPECT_EQ(FreeBytes(), free);

  // The driver marked the FAT on its way (fusefat leaves FAT[1] = 0x8000):
  // a second run still scrubs before it fills.
  const auto second = testutil::Run({m_vtctl, "--log-stderr", "wipe-free-space", m_letter});
  EXPECT_EQ(second.exitCode, 0) << second.output;
  EXPECT_NE(second.output.find("scrub done"), std::string::npos) << second.output;
  EXPECT_EQ(testutil::Run({"fsck.fat", "-n", m_image}).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Types, FatFill,
    ::testing::Values(FileVolumeCase{"fat16", {"mkfs.fat", "-F", "16", "-s", "4"}, "fsck.fat", false, 2048},
                      FileVolumeCase{"fat32", {"mkfs.fat", "-F", "32", "-s", "1"}, "fsck.fat", false, 512}),
    [](const ::testing::TestParamInfo<FileVolumeCase>& info) { return std::string(info.param.name); });

}  // namespace
