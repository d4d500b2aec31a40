// Erases files through vtctl on real ext4 and NTFS volumes (loop devices),
// then searches the raw image for any copy of their content.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "LoopDevice.h"
#include "TestUtil.h"

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

const std::string kMarker = "VtErase-Marker-7c41e9b2-";
const std::string kKeep = "VtKeep-Marker-0d93aa51-";

size_t Count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
  return n;
}

std::string Repeat(const std::string& s, size_t bytes) {
  std::string out;
  while (out.size() < bytes) out += s + std::to_string(out.size()) + "\n";
  return out.substr(0, bytes);
}

// One loop device over an image, mounted; undone in reverse whatever happens.
class LoopMount {
 public:
  ~LoopMount() { Release(); }
  bool Attach(const std::string& image) {
    m_loop = std::make_unique<testutil::LoopDevice>(image, 512, 0);
    EXPECT_TRUE(m_loop->ok()) << m_loop->error();
    return m_loop->ok();
  }
  bool Mount(const std::string& kind, const std::string& at) {
    fs::create_directories(at);
    const std::string& device = m_loop->Path();
    auto r = kind == "ntfs" ? testutil::Run({"ntfs-3g", device, at}) : testutil::Run({"mount", "-t", kind, device, at});
    if (r.exitCode != 0) {
      ADD_FAILURE() << "mount failed: " << r.output;
      return false;
    }
    m_mounted = at;
    return true;
  }
  // ntfs-3g may hold the device a moment after the unmount returns: the
  // loop device's detach waits for it.
  void Release() {
    if (!m_mounted.empty()) {
      for (int i = 0; i < 50 && testutil::Run({"umount", m_mounted}).exitCode != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      m_mounted.clear();
    }
    m_loop.reset();
  }

 private:
  std::unique_ptr<testutil::LoopDevice> m_loop;
  std::string m_mounted;
};

struct FsCase {
  const char* kind;
  std::vector<std::string> mkfs;  // the image path is appended
  std::vector<std::string> fsck;  // the image path is appended; exit 0 = clean
  const char* passes;
};

void PrintTo(const FsCase& c, std::ostream* os) { *os << c.kind; }

class EraseOnImage : public ::testing::TestWithParam<FsCase> {};

TEST_P(EraseOnImage, NoCopyOfTheContentRemains) {
  const FsCase& c = GetParam();
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL(c.mkfs[0]);
  VT_REQUIRE_TOOL(c.fsck[0]);
  VT_REQUIRE_TOOL("losetup");
  if (std::string(c.kind) == "ntfs") VT_REQUIRE_TOOL("ntfs-3g");
  const std::string vtctl = std::string(VANTOREL_BIN_DIR) + "/vtctl";
  ASSERT_EQ(access(vtctl.c_str(), X_OK), 0) << vtctl;

  testutil::TempDir dir("img");
  const std::string image = dir.file("volume.img");
  WriteFile(image, "");
  ASSERT_EQ(truncate(image.c_str(), 24 << 20), 0);
  std::vector<std::string> mkfs = c.mkfs;
  mkfs.push_back(image);
  auto made = testutil::Run(mkfs);
  ASSERT_EQ(made.exitCode, 0) << made.output;

  const std::string mnt = dir.file("mnt");
  std::string history = dir.file("DataBase.db");
  {
    LoopMount loop;
    ASSERT_TRUE(loop.Attach(image));
    ASSERT_TRUE(loop.Mount(c.kind, mnt));
    fs::create_directories(mnt + "/chosen/sub/empty");
    WriteFile(mnt + "/keep.txt", Repeat(kKeep, 3000));
    WriteFile(mnt + "/chosen/small.txt", Repeat(kMarker, 100));      // resident in an NTFS record
    WriteFile(mnt + "/chosen/mid.bin", Repeat(kMarker, 20000));
    WriteFile(mnt + "/chosen/sub/big.bin", Repeat(kMarker, 300000));
    WriteFile(mnt + "/single.txt", Repeat(kMarker, 5000));
    ASSERT_EQ(symlink("../keep.txt", (mnt + "/chosen/link").c_str()), 0);
    testutil::Run({"sync"});
    ASSERT_GT(Count(ReadFile(image), kMarker), 0u) << "the content never reached the image";

    auto r = testutil::Run({vtctl, "erase", "--passes", c.passes, "--history", history, mnt + "/chosen", mnt + "/single.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(fs::exists(fs::symlink_status(mnt + "/chosen")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(mnt + "/single.txt")));
    EXPECT_EQ(ReadFile(mnt + "/keep.txt"), Repeat(kKeep, 3000));  // reached by the link, kept
    loop.Release();
  }
  const std::string raw = ReadFile(image);
  EXPECT_EQ(Count(raw, kMarker), 0u);
  EXPECT_GT(Count(raw, kKeep), 0u);
  std::vector<std::string> fsck = c.fsck;
  fsck.push_back(image);
  auto checked = testutil::Run(fsck);
  EXPECT_EQ(checked.exitCode, 0) << checked.output;

  auto h = testutil::Run({vtctl, "history", "--db", history});
  EXPECT_EQ(h.exitCode, 0);
  EXPECT_NE(h.output.find("Erased\t0\t"), std::string::npos) << h.output;
  EXPECT_EQ(h.output.find("Failed"), std::string::npos) << h.output;
  EXPECT_NE(h.output.find(mnt + "/chosen/sub/big.bin"), std::string::npos) << h.output;
}

INSTANTIATE_TEST_SUITE_P(
    Volumes, EraseOnImage,
    ::testing::Values(FsCase{"ext4", {"mkfs.ext4", "-q", "-F"}, {"e2fsck", "-fn"}, "3"},
                      FsCase{"ntfs", {"mkntfs", "-q", "-F", "-f"}, {"ntfsfix", "-n"}, "1"}),
    [](const ::testing::TestParamInfo<FsCase>& info) { return std::string(info.param.kind); });

}  // namespace
