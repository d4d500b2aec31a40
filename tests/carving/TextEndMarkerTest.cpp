// FindBytes and the search for a text file's end marker, on a 512-byte and
// then a 4096-byte device in one process.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "CRawFileInfo.h"
#include "CScanOptions.h"
#include "MemoryDevice.h"
#include "TextEndMarker.h"

using testutil::MemoryDevice;

namespace {

TextEndMarker Marker(const std::string& text, uint64_t limit = 0) {
  TextEndMarker m;
  std::memset(&m, 0, sizeof m);
  std::memcpy(m.marker, text.data(), text.size());
  m.markerLength = static_cast<int>(text.size());
  m.sizeLimit = limit;
  return m;
}

// A device of `sectors` sectors of text ('a' to 'z', no zero byte) that
// callers then shape.
std::vector<uint8_t> TextSectors(uint64_t sectors, int ss) {
  std::vector<uint8_t> b(sectors * ss);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>('a' + i % 26);
  return b;
}

void Put(std::vector<uint8_t>& b, size_t at, const std::string& s) {
  std::memcpy(b.data() + at, s.data(), s.size());
}
void Zero(std::vector<uint8_t>& b, size_t from, size_t to) {
  std::memset(b.data() + from, 0, to - from);
}

uint64_t SizeFound(std::vector<uint8_t> bytes, int ss, uint64_t start, const TextEndMarker& m, int exact) {
  MemoryDevice dev(std::move(bytes), ss);
  CRawFileInfo info;
  info.SetStartSector(start);
  EXPECT_EQ(FindTextEndMarker(&info, &dev, m, exact), 1);
  return info.GetFileSize();
}

}  // namespace

TEST(FindBytes, Table) {
  const uint8_t buf[] = {'x', 'y', 'a', 'b', 'c'};
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(FindBytes(buf, 5, abc, 3), buf + 2);
  EXPECT_EQ(FindBytes(buf, 2, abc, 3), nullptr);
  EXPECT_EQ(FindBytes(buf, 4, abc, 3), nullptr);  // would end past the buffer
  EXPECT_EQ(FindBytes(buf, 5, abc, 0), nullptr);
  EXPECT_EQ(FindBytes(nullptr, 5, abc, 3), nullptr);
  EXPECT_EQ(FindBytes(buf, 5, nullptr, 3), nullptr);
  EXPECT_EQ(FindBytes(buf, 0, abc, 1), nullptr);
  EXPECT_EQ(FindBytes(buf, 5, buf, 5), buf);
  const uint8_t rep[] = {'a', 'a', 'a', 'b'};
  const uint8_t aab[] = {'a', 'a', 'b'};
  EXPECT_EQ(FindBytes(rep, 4, aab, 3), rep + 1);  // a first-byte hit that fails, then the match
}

TEST(FindTextEndMarker, CasesAtBothSectorSizes) {
  for (int ss : {512, 4096}) {
    SCOPED_TRACE(ss);
    const size_t s = static_cast<size_t>(ss);
    {
      // Marker in the middle of the third sector, zeros to its end, more
      // text after: size up to the marker's last byte.
      auto b = TextSectors(10, ss);
      Put(b, 2 * s + s / 2, "</html>");
      Zero(b, 2 * s + s / 2 + 7, 3 * s);
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</html>"), 1), 2 * s + s / 2 + 7);
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</HTML>"), 0), 2 * s + s / 2 + 7);
      // Upper case in the data is found by the case-insensitive search only.
      Put(b, 2 * s + s / 2, "</HTML>");
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</Html>"), 0), 2 * s + s / 2 + 7);
      // An exact search meets the eight zero bytes and stops there.
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</html>"), 1), s);
    }
    {
      // Marker split over the boundary of sectors 4 and 5.
      auto b = TextSectors(12, ss);
      Put(b, 5 * s - 4, "</ht");
      Put(b, 5 * s, "ml>");
      Zero(b, 5 * s + 3, 6 * s);
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</html>"), 1), 5 * s + 3);
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</html>"), 0), 5 * s + 3);
      // The same file starting at sector 3 of the device.
      std::vector<uint8_t> shifted(3 * s, 'q');
      shifted.insert(shifted.end(), b.begin(), b.end());
      EXPECT_EQ(SizeFound(shifted, ss, 3, Marker("</html>"), 1), 5 * s + 3);
    }
    {
      // A zero-tailed sector without the marker is passed by the
      // case-insensitive search, which goes on to the real end.
      auto b = TextSectors(12, ss);
      Zero(b, 2 * s - 2, 2 * s);
      Put(b, 7 * s + 10, "</body></html>");
      Zero(b, 7 * s + 24, 8 * s);
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</html>"), 0), 7 * s + 24);
    }
    {
      // No zero-tailed sector before the limit: the first sector boundary
      // past the limit.
      auto b = TextSectors(40, ss);
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</html>", 10 * s + 1), 1), 11 * s);
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</html>", 10 * s), 0), 11 * s);
      // Nor before the device's end: the size ends there.
      EXPECT_EQ(SizeFound(b, ss, 0, Marker("</html>", 1000 * s), 1), 40 * s);
      EXPECT_EQ(SizeFound(b, ss, 30, Marker("</html>"), 0), 10 * s);
      // A marker at the very end of the device.
      Put(b, 40 * s - 9, "</html>");
      Zero(b, 40 * s - 2, 40 * s);
      EXPECT_EQ(SizeFound(b, ss, 30, Marker("</html>"), 0), 10 * s - 2);
    }
  }
}

TEST(FindTextEndMarker, OddInputsStillGiveASize) {
  auto b = TextSectors(8, 512);
  Zero(b, 3 * 512 - 8, 3 * 512);
  // An empty marker finds nothing; an over-long length is cut to 64.
  TextEndMarker empty = Marker("");
  EXPECT_EQ(SizeFound(b, 512, 0, empty, 1), 512u);  // stepped back from the zero-tailed sector
  TextEndMarker tooLong = Marker("</html>");
  tooLong.markerLength = 1000;
  EXPECT_LE(SizeFound(b, 512, 0, tooLong, 1), 8u * 512);
  tooLong.markerLength = -5;
  EXPECT_LE(SizeFound(b, 512, 0, tooLong, 0), 8u * 512);
  // No device: nothing to read, size 0. A file past the device's end: 0.
  CRawFileInfo info;
  info.SetFileSize(77);
  EXPECT_EQ(FindTextEndMarker(&info, nullptr, Marker("x"), 1), 1);
  EXPECT_EQ(info.GetFileSize(), 0u);
  EXPECT_EQ(SizeFound(b, 512, 100, Marker("x"), 1), 0u);
  EXPECT_EQ(FindTextEndMarker(nullptr, nullptr, Marker("x"), 1), 1);
}
