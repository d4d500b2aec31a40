// Every test that reads a volume made by another system fails with the
// reason where CI requires the volumes and they are missing, and skips with
// the reason elsewhere. Each runs in a child process pointed at a folder
// that does not exist.
#include <gtest/gtest.h>

#include <string>

#include "TestUtil.h"

namespace {

struct RealVolumeTest {
  const char* program;  // in the build tree's tests/bin
  const char* filter;
  const char* volume;  // the first volume it looks for
};

const RealVolumeTest kTests[] = {
    {"ext2_tests", "Ext2Volume.RealVolumeMadeByLinux", "ext2.raw"},
    {"hfsplus_image_tests", "HfsVolumeImages.ProbeAgreesWithFsstatOnTheMacVolume", "hfsplus.raw"},
    {"hfsgen_tests", "HfsGenHpfsck.MacVolumeDrawsTheSameReport", "hfsplus.raw"},
    {"fat_image_tests", "FatRealVolumes.*", "ext2.raw"},
    {"ntfs_image_tests", "Real/NTFSWindowsVolume.*", "ntfs-"},
    {"ntfs_properties_image_tests", "Real/NTFSWindowsLog.*", "ntfs-"},
    {"ntfs_scrub_tests", "Real/NTFSScrubWindows.*", "ntfs-"},
};

bool Has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

TEST(RealVolumes, MissingVolumeFailsWhereRequiredAndSkipsElsewhere) {
  testutil::TempDir dir("realvol");
  const std::string absent = dir.file("absent");
  for (const RealVolumeTest& t : kTests) {
    SCOPED_TRACE(std::string(t.program) + " " + t.filter);
    const std::string program = testutil::BuildDir() + "/tests/bin/" + t.program;
    const std::string folder = "VANTOREL_TEST_REAL_DATA_FOLDER=" + absent;
    const std::string filter = std::string("--gtest_filter=") + t.filter;
    const std::string reason = std::string("real volume ") + t.volume;

    const auto required = testutil::Run({"env", "VANTOREL_REQUIRE_REAL_DATA=1", folder, program, filter});
    EXPECT_NE(required.exitCode, 0) << required.output;
    EXPECT_TRUE(Has(required.output, "[ RUN      ]")) << required.output;
    EXPECT_FALSE(Has(required.output, "[       OK ]") || Has(required.output, "[  SKIPPED ]")) << required.output;
    EXPECT_TRUE(Has(required.output, reason) && Has(required.output, absent)) << required.output;
    EXPECT_TRUE(Has(required.output, "VANTOREL_REQUIRE_REAL_DATA=1 requires it")) << required.output;

    const auto optional = testutil::Run({"env", "-u", "VANTOREL_REQUIRE_REAL_DATA", folder, program, filter});
    EXPECT_EQ(optional.exitCode, 0) << optional.output;
    EXPECT_TRUE(Has(optional.output, "[  SKIPPED ]")) << optional.output;
    EXPECT_FALSE(Has(optional.output, "[       OK ]") || Has(optional.output, "[  FAILED  ]")) << optional.output;
    EXPECT_TRUE(Has(optional.output, reason)) << optional.output;
  }
}

}  // namespace
