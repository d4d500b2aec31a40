// The read-ahead ring of the RAW search over memory devices, at 512- and
// 4096-byte sectors.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CBufferStorageDevice.h"
#include "MemoryDevice.h"

using testutil::MemoryDevice;

namespace {

const int kSectorSizes[] = {512, 4096};

// Appends blocks [0, blocks) of `dev` (each `bs` sectors) to the ring.
void Feed(CBufferStorageDevice& ring, MemoryDevice& dev, uint64_t bs, uint64_t fromBlock, uint64_t blocks) {
  const uint64_t ss = static_cast<uint64_t>(dev.GetSectorSize());
  for (uint64_t b = fromBlock; b < blocks; ++b) {
    const uint64_t first = b * bs;
    const uint64_t count = std::min(bs, dev.GetSectorCount() - first);
    ring.AppendBlock(dev.Bytes().data() + first * ss, count);
  }
}

bool ReadMatches(CBufferStorageDevice& ring, MemoryDevice& dev, uint64_t first, uint64_t n) {
  const uint64_t ss = static_cast<uint64_t>(dev.GetSectorSize());
  std::vector<uint8_t> buf(n * ss, 0xEE);
  if (!ring.ReadSectors(buf.data(), first, n)) return false;
  return std::memcmp(buf.data(), dev.Bytes().data() + first * ss, buf.size()) == 0;
}

}  // namespace

TEST(BufferStorageDevice, WindowFillAndSlide) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    MemoryDevice dev(4 * 30, ss);
    CBufferStorageDevice ring;
    ring.Attach(&dev, 0, ss, 4, 20);
    EXPECT_EQ(ring.GetHeldSectors(), 0u);
    EXPECT_FALSE(ring.IsRingFull());
    // The device's end bounds what analysers read, not the ring's fill.
    EXPECT_EQ(ring.GetSectorCount(), dev.GetSectorCount());
    EXPECT_EQ(ring.GetSectorSize(), ss);
    Feed(ring, dev, 4, 0, 19);
    EXPECT_FALSE(ring.IsRingFull());
    Feed(ring, dev, 4, 19, 20);
    EXPECT_TRUE(ring.IsRingFull());
    EXPECT_EQ(ring.GetHeldSectors(), 80u);
    Feed(ring, dev, 4, 20, 23);
    EXPECT_EQ(ring.GetWindowStart(), 12u);
    EXPECT_EQ(ring.GetHeldSectors(), 80u);

    // (first, count, from memory)
    const struct {
      uint64_t first, count;
      bool memory;
    } cases[] = {
        {12, 1, true},  {91, 1, true}, {11, 1, false},
        {92, 1, false}, {90, 2, true}, {80, 4, true},  // ring slots 0..3 after the wrap
        {79, 2, true},                                 // the ring's last slot and its first: two copies
        {10, 4, false},                                // begins before the window
        {91, 2, false},                                // runs past the held sectors
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(c.first);
      EXPECT_EQ(ring.Holds(c.first, c.count), c.memory);
      const int before = dev.reads;
      EXPECT_TRUE(ReadMatches(ring, dev, c.first, c.count));
      EXPECT_EQ(dev.reads - before, c.memory ? 0 : 1);
    }
  }
}

TEST(BufferStorageDevice, UnreadableBlockKeepsItsPlace) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    MemoryDevice dev(4 * 30, ss);
    CBufferStorageDevice ring;
    ring.Attach(&dev, 0, ss, 4, 20);
    Feed(ring, dev, 4, 0, 3);
    ring.AppendUnreadableBlock(4);  // block 3: sectors 12..15
    Feed(ring, dev, 4, 4, 10);
    EXPECT_TRUE(ring.Holds(16, 24));  // aligned after the hole
    EXPECT_FALSE(ring.Holds(14, 1));
    EXPECT_FALSE(ring.Holds(10, 4));  // touches the hole
    const int before = dev.reads;
    EXPECT_TRUE(ReadMatches(ring, dev, 11, 3));
    EXPECT_EQ(dev.reads - before, 1);
    EXPECT_TRUE(ReadMatches(ring, dev, 20, 5));
    EXPECT_EQ(dev.reads - before, 1);
    // Once the hole slides out of the window, its slots serve again.
    Feed(ring, dev, 4, 10, 25);
    EXPECT_EQ(ring.GetWindowStart(), 20u);
    EXPECT_TRUE(ring.Holds(20, 80));
  }
}

TEST(BufferStorageDevice, ShortLastBlockNeverAnswersPastTheEnd) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    MemoryDevice dev(4 * 5 + 3, ss);  // the last block holds 3 sectors
    CBufferStorageDevice ring;
    ring.Attach(&dev, 0, ss, 4, 20);
    Feed(ring, dev, 4, 0, 6);
    EXPECT_EQ(ring.GetHeldSectors(), 23u);
    EXPECT_TRUE(ring.Holds(20, 3));
    EXPECT_FALSE(ring.Holds(20, 4));
    std::vector<uint8_t> buf(4u * ss);
    EXPECT_EQ(ring.ReadSectors(buf.data(), 21, 3), 0);  // the device refuses it too
    EXPECT_TRUE(ReadMatches(ring, dev, 18, 5));
  }
}

TEST(BufferStorageDevice, DetachedAndClosed) {
  MemoryDevice dev(40, 512);
  CBufferStorageDevice ring;
  std::vector<uint8_t> buf(512);
  EXPECT_FALSE(ring.IsRingFull());
  EXPECT_EQ(ring.ReadSectors(buf.data(), 0, 1), 0);  // no device yet
  ring.AppendBlock(dev.Bytes().data(), 4);           // not attached: nothing
  EXPECT_EQ(ring.GetHeldSectors(), 0u);
  ring.Attach(&dev, 0, 0, 4, 2);
  EXPECT_EQ(ring.GetSectorSize(), 512);
  Feed(ring, dev, 4, 0, 2);
  EXPECT_TRUE(ring.IsRingFull());
  EXPECT_EQ(ring.Close(), 1);
  EXPECT_EQ(ring.Close(), 1);
  EXPECT_FALSE(ring.Holds(0, 1));
  const int before = dev.reads;
  EXPECT_TRUE(ReadMatches(ring, dev, 0, 1));
  EXPECT_EQ(dev.reads - before, 1);
}
