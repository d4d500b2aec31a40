// The sector-window reader and the end-marker search over real files and
// devices: an image file, a loop device of 4096-byte sectors, and a real
// html page written into an image. `dd` reads the same bytes for
// comparison.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CRawFileInfo.h"
#include "CSectorWindowReader.h"
#include "CVolumeDevice.h"
#include "ImageFileDevice.h"
#include "LoopDevice.h"
#include "MemoryDevice.h"
#include "TestUtil.h"
#include "TextEndMarker.h"

namespace {

// `length` bytes at `offset` of `path`, as dd reads them.
std::string DdRead(const std::string& path, uint64_t offset, uint64_t length) {
  const testutil::CommandResult r =
      testutil::Run({"dd", "if=" + path, "iflag=skip_bytes,count_bytes", "skip=" + std::to_string(offset),
                     "count=" + std::to_string(length), "bs=65536", "status=none"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return r.output;
}

std::string ReaderRead(IStorageDevice* dev, uint64_t start, uint64_t offset, size_t length) {
  CSectorWindowReader reader(dev, start);
  std::string out(length, '\0');
  out.resize(reader.Read(offset, out.data(), length));
  return out;
}

void WritePatternImage(const std::string& path, uint64_t bytes) {
  const std::vector<uint8_t> b = testutil::PatternBytes(0, static_cast<size_t>(bytes));
  testutil::WriteFile(path, std::string(b.begin(), b.end()));
}

}  // namespace

TEST(CarvingImage, ReadAcrossWindowsOfAnImageFile) {
  VT_REQUIRE_TOOL("dd");
  testutil::TempDir dir("carving");
  const std::string image = dir.file("pattern.img");
  const uint64_t bytes = (1034ull << 12);  // 1034 sectors of 4096 bytes
  WritePatternImage(image, bytes);
  for (int ss : {512, 4096}) {
    SCOPED_TRACE(ss);
    ImageFileDevice dev(image, ss);
    ASSERT_EQ(dev.GetSectorCount(), bytes / ss);
    const uint64_t w = 128ull * ss;
    const uint64_t start = 9;
    // From late in window 1 across windows 2 and 3 into window 4.
    const uint64_t offset = 2 * w - 333;
    const size_t length = static_cast<size_t>(2 * w + 1000);
    EXPECT_EQ(ReaderRead(&dev, start, offset, length), DdRead(image, start * ss + offset, length));
    // To the image's end: the reader stops where dd does.
    const uint64_t last = bytes - start * ss - 777;
    const std::string tail = ReaderRead(&dev, start, last, 5000);
    EXPECT_EQ(tail.size(), 777u);
    EXPECT_EQ(tail, DdRead(image, start * ss + last, 5000));
  }
}

TEST(CarvingImage, ReadAcrossWindowsOfALoopDeviceWith4096ByteSectors) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("losetup");
  VT_REQUIRE_TOOL("dd");
  testutil::TempDir dir("carving");
  const std::string image = dir.file("loop4k.img");
  const uint64_t bytes = (1034ull << 12);
  WritePatternImage(image, bytes);
  testutil::LoopDevice loop(image, 4096, testutil::LoopDevice::kReadOnly);
  ASSERT_TRUE(loop.ok()) << loop.error();
  {
    CVolumeDevice dev(loop.Path(), true);
    ASSERT_EQ(dev.GetSectorSize(), 4096);
    ASSERT_EQ(dev.GetSectorCount(), 1034u);
    const uint64_t w = 128ull * 4096;
    EXPECT_EQ(ReaderRead(&dev, 3, w - 100, static_cast<size_t>(2 * w + 300)),
              DdRead(loop.Path(), 3 * 4096 + w - 100, 2 * w + 300));
    // The last window holds the 10 sectors the device has left.
    CSectorWindowReader reader(&dev, 0);
    size_t available = 0;
    const uint8_t* p = reader.GetData(8 * w + 5, available);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(available, 10u * 4096 - 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p), available), DdRead(loop.Path(), 8 * w + 5, 10 * 4096 - 5));
    EXPECT_EQ(reader.GetData(8 * w + 10 * 4096, available), nullptr);
  }
  EXPECT_TRUE(loop.Detach());
}

TEST(CarvingImage, HtmlPageEndsAfterItsClosingTag) {
  const std::string pagePath = "/usr/share/doc/libffi-dev/html/index.html";
  const std::string page = testutil::ReadFile(pagePath);
  if (page.empty()) GTEST_SKIP() << "needs libffi-dev's html manual (scripts/install-deps)";
  ASSERT_LT(page.find("<html>"), 200u);
  const size_t close = page.rfind("</html>");
  ASSERT_NE(close, std::string::npos);
  testutil::TempDir dir("carving");
  for (int ss : {512, 4096}) {
    SCOPED_TRACE(ss);
    // Text before and after the page, the page at a sector boundary and
    // zero-padded to the end of its last sector.
    const size_t s = static_cast<size_t>(ss);
    std::string bytes(7 * s, 'T');
    bytes += page;
    bytes.resize((bytes.size() + s - 1) / s * s, '\0');
    bytes += std::string(20 * s, 'U');
    const std::string image = dir.file("page" + std::to_string(ss) + ".img");
    testutil::WriteFile(image, bytes);
    ImageFileDevice dev(image, ss);
    TextEndMarker marker = {};
    const std::string closing = "</html>";
    std::copy(closing.begin(), closing.end(), marker.marker);
    marker.markerLength = static_cast<int>(closing.size());
    for (int exact : {0, 1}) {
      CRawFileInfo info;
      info.SetStartSector(7);
      EXPECT_EQ(FindTextEndMarker(&info, &dev, marker, exact), 1);
      EXPECT_EQ(info.GetFileSize(), close + closing.size()) << "exact " << exact;
      // What dd reads over that length is the page up to its closing tag.
      EXPECT_EQ(DdRead(image, 7 * s, info.GetFileSize()), page.substr(0, close + closing.size()));
    }
  }
}
