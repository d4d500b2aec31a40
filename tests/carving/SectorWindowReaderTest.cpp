// The sector-window reader over the memory device and the fault-injecting
// device of the test-support layer, at 512- and 4096-byte sectors. Each
// test walks both sizes in one process.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "CRawSearchProgress.h"
#include "CSectorWindowReader.h"
#include "FaultInjectingDevice.h"
#include "IScanProgressSink.h"
#include "MemoryDevice.h"

using testutil::FaultInjectingDevice;
using testutil::FaultPlan;
using testutil::MemoryDevice;

namespace {

const int kSectorSizes[] = {512, 4096};

// Whether `n` bytes at `p` are those of the device at byte `offset`.
bool SameAsDevice(MemoryDevice& dev, uint64_t offset, const uint8_t* p, size_t n) {
  return offset + n <= dev.Bytes().size() && std::memcmp(dev.Bytes().data() + offset, p, n) == 0;
}

class CountingSink : public IScanProgressSink {
 public:
  void OnStatus(const ScanStatusRecord*) override {}
  int ShouldContinue() override {
    ++asked;
    return goOn;
  }
  int asked = 0;
  int goOn = 1;
};

}  // namespace

TEST(SectorWindowReader, OneReadPerWindow) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    MemoryDevice dev(400, ss);
    const uint64_t w = 128ull * ss;
    CSectorWindowReader reader(&dev, 0);
    ASSERT_EQ(reader.GetWindowBytes(), w);
    size_t avail = 0;
    const uint8_t* p = reader.GetData(0, avail);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(avail, 129u * ss);
    EXPECT_TRUE(SameAsDevice(dev, 0, p, avail));
    p = reader.GetData(w - 1, avail);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(avail, static_cast<size_t>(ss) + 1);  // the rest of the window and the overlap sector
    EXPECT_TRUE(SameAsDevice(dev, w - 1, p, avail));
    EXPECT_EQ(dev.reads, 1);
    p = reader.GetData(w, avail);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(SameAsDevice(dev, w, p, avail));
    ASSERT_EQ(dev.reads, 2);
    EXPECT_EQ(dev.readLog[1], std::make_pair(uint64_t{128}, uint64_t{129}));

    // Offsets count from the file's start sector.
    MemoryDevice dev2(400, ss);
    CSectorWindowReader from7(&dev2, 7);
    p = from7.GetData(w + 3, avail);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(SameAsDevice(dev2, 7ull * ss + w + 3, p, avail));
    EXPECT_EQ(dev2.readLog.at(0), std::make_pair(uint64_t{135}, uint64_t{129}));
  }
}

TEST(SectorWindowReader, WindowCrossingTheDeviceEnd) {
  // (device sectors, file start, offset in sectors): what is available
  // there ends at the device's end.
  const struct {
    uint64_t deviceSectors, start, offsetSectors, availableSectors;
  } cases[] = {
      {200, 0, 128, 72},   // the last window is short
      {256, 0, 128, 128},  // exactly 128 sectors left
      {257, 0, 128, 129},  // one more than a window
      {129, 0, 127, 2},    // the overlap sector is the device's last
      {128, 0, 127, 1},    // no overlap sector at all
      {300, 250, 10, 40},  // a file near the end
      {300, 299, 0, 1},
  };
  for (int ss : kSectorSizes) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << ss << " " << c.deviceSectors << " " << c.start << " " << c.offsetSectors);
      MemoryDevice dev(c.deviceSectors, ss);
      CSectorWindowReader reader(&dev, c.start);
      size_t avail = 0;
      const uint64_t offset = c.offsetSectors * ss;
      const uint8_t* p = reader.GetData(offset, avail);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(avail, c.availableSectors * ss);
      EXPECT_TRUE(SameAsDevice(dev, c.start * ss + offset, p, avail));
      EXPECT_EQ(dev.reads, 1);
      // The byte after the device's last one is not there.
      const uint64_t end = (c.deviceSectors - c.start) * ss;
      EXPECT_EQ(reader.GetData(end, avail), nullptr);
      EXPECT_EQ(avail, 0u);
      EXPECT_NE(reader.GetData(end - 1, avail), nullptr);
      EXPECT_EQ(avail, 1u);
    }
    // A file that starts past the device's end sees nothing.
    MemoryDevice dev(10, ss);
    CSectorWindowReader beyond(&dev, 10);
    size_t avail = 7;
    EXPECT_EQ(beyond.GetData(0, avail), nullptr);
    EXPECT_EQ(avail, 0u);
    CSectorWindowReader huge(&dev, ~0ull - 5);
    EXPECT_EQ(huge.GetData(~0ull, avail), nullptr);
  }
}

TEST(SectorWindowReader, UnreadableSectorEndsTheData) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    MemoryDevice mem(400, ss);
    FaultInjectingDevice dev(&mem, std::make_shared<FaultPlan>());
    dev.Plan().SetBadSector(40);
    dev.Plan().SetBadSector(256);  // the overlap sector of window 1
    CSectorWindowReader reader(&dev, 0);
    size_t avail = 0;
    const uint8_t* p = reader.GetData(100, avail);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(avail, 40u * ss - 100);
    EXPECT_TRUE(SameAsDevice(mem, 100, p, avail));
    EXPECT_EQ(reader.GetData(40ull * ss, avail), nullptr);
    EXPECT_EQ(reader.GetData(41ull * ss, avail), nullptr);
    // The next window is whole up to the bad overlap sector.
    p = reader.GetData(128ull * ss, avail);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(avail, 128u * ss);
    EXPECT_TRUE(SameAsDevice(mem, 128ull * ss, p, avail));
    // Read stops where the data does.
    std::vector<uint8_t> buf(50ull * ss, 0xEE);
    EXPECT_EQ(reader.Read(30ull * ss, buf.data(), buf.size()), 10u * ss);
    EXPECT_TRUE(SameAsDevice(mem, 30ull * ss, buf.data(), 10u * ss));
  }
}

TEST(SectorWindowReader, FailedLoadLeavesNoWindow) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    MemoryDevice mem(400, ss);
    FaultInjectingDevice dev(&mem, std::make_shared<FaultPlan>());
    CSectorWindowReader reader(&dev, 0);
    const uint64_t w = 128ull * ss;
    size_t avail = 0;
    ASSERT_NE(reader.GetData(10, avail), nullptr);
    EXPECT_EQ(reader.GetLoadedWindow(), 0);
    // Window 1 cannot be read at all.
    dev.Plan().SetBadSector(128);
    EXPECT_EQ(reader.GetData(w + 5, avail), nullptr);
    EXPECT_EQ(reader.GetLoadedWindow(), -1);
    // Window 0 is read again, not served from the emptied buffer.
    const uint8_t* p = reader.GetData(10, avail);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(SameAsDevice(mem, 10, p, avail));
    // Once the sector reads again, so does window 1.
    dev.Plan().ClearBadSectors();
    p = reader.GetData(w + 5, avail);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(SameAsDevice(mem, w + 5, p, avail));
    // A vanished device gives nothing, and nothing stale.
    dev.Plan().SetVanished(true);
    EXPECT_EQ(reader.GetData(2 * w, avail), nullptr);
    EXPECT_EQ(reader.GetData(w + 5, avail), nullptr);
  }
}

TEST(SectorWindowReader, ReadCrossesWindows) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    MemoryDevice dev(600, ss);
    CSectorWindowReader reader(&dev, 3);
    const uint64_t w = 128ull * ss;
    // From the end of window 0 to 300 bytes into window 3.
    const uint64_t offset = w - 100;
    std::vector<uint8_t> buf(2 * w + 300);
    EXPECT_EQ(reader.Read(offset, buf.data(), buf.size()), buf.size());
    EXPECT_TRUE(SameAsDevice(dev, 3ull * ss + offset, buf.data(), buf.size()));
    // Windows 0, 1 and 2; the overlap sector of window 2 holds the rest.
    EXPECT_EQ(dev.reads, 3);
    // Up to the device's end and no further.
    const uint64_t left = (600 - 3) * static_cast<uint64_t>(ss) - 1000;
    std::vector<uint8_t> tail(5000);
    EXPECT_EQ(reader.Read(left, tail.data(), tail.size()), 1000u);
    EXPECT_TRUE(SameAsDevice(dev, 3ull * ss + left, tail.data(), 1000));
    EXPECT_EQ(reader.Read(~0ull - 10, tail.data(), 100), 0u);
  }
}

TEST(SectorWindowReader, LiveReadersKeepTheirOwnWindows) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    MemoryDevice a(300, ss), b(std::vector<uint8_t>(300ull * ss, 0x5A), ss);
    CSectorWindowReader ra(&a, 0);
    CSectorWindowReader rb(&b, 0);
    size_t availA = 0, availB = 0;
    const uint8_t* pa = ra.GetData(1000, availA);
    const uint8_t* pb = rb.GetData(1000, availB);
    ASSERT_NE(pa, nullptr);
    ASSERT_NE(pb, nullptr);
    EXPECT_TRUE(SameAsDevice(a, 1000, pa, availA));
    EXPECT_TRUE(SameAsDevice(b, 1000, pb, availB));
    // A reader made and dropped in between takes no live reader's buffer.
    { CSectorWindowReader(&b, 0).GetData(0, availB); }
    EXPECT_TRUE(SameAsDevice(a, 1000, ra.GetData(1000, availA), availA));
    EXPECT_EQ(a.reads, 1);
  }
  // No device: nothing to read.
  CSectorWindowReader none(nullptr, 0);
  size_t avail = 3;
  EXPECT_EQ(none.GetData(0, avail), nullptr);
  EXPECT_EQ(avail, 0u);
  EXPECT_EQ(none.GetWindowBytes(), 128u * 512);
}

TEST(SectorWindowReader, ProgressIsAskedOncePerWindowLoad) {
  CountingSink sink;
  CRawSearchProgress& progress = CRawSearchProgress::Instance();
  EXPECT_EQ(progress.Continue(), 1);
  progress.SetSink(&sink);
  MemoryDevice dev(400, 512);
  {
    CSectorWindowReader reader(&dev, 0);
    size_t avail = 0;
    for (uint64_t off = 0; off < 2 * 65536; off += 7) ASSERT_NE(reader.GetData(off, avail), nullptr);
    EXPECT_EQ(sink.asked, 2);
    // A stop ends the walk at the next window.
    sink.goOn = 0;
    EXPECT_NE(reader.GetData(65536 + 9, avail), nullptr);
    EXPECT_EQ(reader.GetData(2 * 65536, avail), nullptr);
    EXPECT_EQ(dev.reads, 2);
  }
  progress.ClearSink();
  EXPECT_EQ(progress.Continue(), 1);
}
