// The Exif segment reader on segments built byte by byte: what it stores,
// and a table of damaged segments (each parsed from a buffer of exactly its
// own length, so the sanitizer build catches any read past it).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "CExifReader.h"
#include "TestUtil.h"

namespace {

struct Entry {
  uint16_t tag;
  uint16_t format;
  uint32_t count;
  uint32_t value;  // the value itself (left-aligned) or its offset
};

// A TIFF structure in either byte order; offsets count from its header.
class Tiff {
 public:
  explicit Tiff(bool motorola = false, uint32_t firstDirectory = 8, size_t size = 256)
      : m_mm(motorola), m_b(std::max<size_t>(size, 8)) {
    m_b[0] = m_b[1] = motorola ? 'M' : 'I';
    Put16(2, 42);
    Put32(4, firstDirectory);
  }
  void Put16(size_t at, uint16_t v) {
    Grow(at + 2);
    m_b[at + (m_mm ? 0 : 1)] = static_cast<uint8_t>(v >> 8);
    m_b[at + (m_mm ? 1 : 0)] = static_cast<uint8_t>(v);
  }
  void Put32(size_t at, uint32_t v) {
    Grow(at + 4);
    for (int i = 0; i < 4; ++i) m_b[at + (m_mm ? 3 - i : i)] = static_cast<uint8_t>(v >> (8 * i));
  }
  void PutText(size_t at, const std::string& text) {
    Grow(at + text.size());
    memcpy(m_b.data() + at, text.data(), text.size());
  }
  // A directory at `at`; SHORT values of one component sit in the upper
  // half of the value field, as the format places them.
  void Directory(size_t at, const std::vector<Entry>& entries, uint32_t next = 0) {
    Put16(at, static_cast<uint16_t>(entries.size()));
    size_t e = at + 2;
    for (const Entry& x : entries) {
      Put16(e, x.tag);
      Put16(e + 2, x.format);
      Put32(e + 4, x.count);
      if (x.format == 3 && x.count == 1) {
        Put16(e + 8, static_cast<uint16_t>(x.value));
        Put16(e + 10, 0);
      } else {
        Put32(e + 8, x.value);
      }
      e += 12;
    }
    Put32(e, next);
  }
  size_t Size() const { return m_b.size(); }
  void Resize(size_t n) { m_b.resize(n); }
  // The APP1 segment: two length bytes, "Exif", two zero bytes, the TIFF
  // bytes; `lengthField` -1 gives the true length.
  std::vector<uint8_t> Segment(int lengthField = -1) const {
    const size_t length = lengthField < 0 ? 8 + m_b.size() : static_cast<size_t>(lengthField);
    std::vector<uint8_t> s = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 'E', 'x', 'i', 'f', 0, 0};
    s.insert(s.end(), m_b.begin(), m_b.end());
    return s;
  }

 private:
  void Grow(size_t n) {
    if (m_b.size() < n) m_b.resize(n);
  }
  bool m_mm;
  std::vector<uint8_t> m_b;
};

struct Outcome {
  int result = -1;
  std::string error;
  int walked = 0;
};

Outcome Parse(const std::vector<uint8_t>& segment, ExifInfo& info, int lengthField = -1) {
  // Exactly the segment's bytes, on the heap.
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[segment.size()]);
  memcpy(bytes.get(), segment.data(), segment.size());
  const int length = lengthField < 0 ? static_cast<int>(segment.size()) : lengthField;
  CExifReader reader(&info);
  Outcome o;
  o.result = reader.ParseExifSegment(bytes.get(), segment.size(), 4, length);
  o.error = reader.GetErrorText();
  o.walked = reader.GetDirectoriesWalked();
  return o;
}

constexpr uint16_t kAscii = 2, kShort = 3, kLong = 4, kRational = 5;

}  // namespace

TEST(ExifReader, BothByteOrdersGiveTheSameRecord) {
  ExifInfo records[2];
  for (int mm = 0; mm < 2; ++mm) {
    Tiff t(mm == 1);
    t.Directory(8, {{0x010F, kAscii, 6, 100}, {0x0110, kAscii, 12, 110}, {0x0112, kShort, 1, 3},
                    {0x011A, kRational, 1, 130}, {0x0128, kShort, 1, 3}, {0x8827, kShort, 1, 40}});
    t.PutText(100, "Maker");
    t.PutText(110, "Model Z-9");
    t.Put32(130, 720);
    t.Put32(134, 3);
    const Outcome o = Parse(t.Segment(), records[mm]);
    ASSERT_EQ(o.result, 1) << o.error;
    EXPECT_STREQ(records[mm].cameraMake, "Maker");
    EXPECT_STREQ(records[mm].cameraModel, "Model Z-9");
    EXPECT_EQ(records[mm].orientation, 3);
    EXPECT_FLOAT_EQ(records[mm].xResolution, 240.0f);
    EXPECT_FLOAT_EQ(records[mm].resolutionUnit, 0.3937008f);
    EXPECT_EQ(records[mm].isoEquivalent, 8000);  // below 50: a factor of 200
  }
  EXPECT_EQ(memcmp(records[0].cameraModel, records[1].cameraModel, sizeof records[0].cameraModel), 0);
}

TEST(ExifReader, TextsAreCutToTheirFieldAndTheirByteCount) {
  Tiff t;
  t.Directory(8, {{0x010F, kAscii, 40, 100}, {0x0110, kAscii, 3, 0x44434241}, {0x9003, kAscii, 25, 150}});
  t.PutText(100, std::string(40, 'M'));   // no terminator
  t.PutText(150, "2020:01:02 03:04:05 and more");
  t.Put32(8 + 2 + 12 + 8, 0x44434241);    // "ABCD" inline, three of them counted
  ExifInfo info;
  ASSERT_EQ(Parse(t.Segment(), info).result, 1);
  EXPECT_EQ(std::string(info.cameraMake), std::string(31, 'M'));
  EXPECT_STREQ(info.cameraModel, "ABC");
  EXPECT_STREQ(info.dateTimeOriginal, "2020:01:02 03:04:05");
}

TEST(ExifReader, UnknownResolutionUnitKeepsThePreviousFactor) {
  Tiff t;
  t.Directory(8, {{0x0128, kShort, 1, 4}, {0x0128, kShort, 1, 7}, {0x8827, kShort, 1, 50}});
  ExifInfo info;
  ASSERT_EQ(Parse(t.Segment(), info).result, 1);
  EXPECT_FLOAT_EQ(info.resolutionUnit, 0.03937008f);
  EXPECT_EQ(info.isoEquivalent, 50);
}

TEST(ExifReader, ThumbnailDirectoryGivesOnlyTheThumbnail) {
  Tiff t;
  t.Directory(8, {{0x011A, kRational, 1, 200}}, 40);
  t.Directory(40, {{0x011A, kRational, 1, 208}, {0x0201, kLong, 1, 100}, {0x0202, kLong, 1, 20}});
  t.Put32(200, 300);
  t.Put32(204, 1);
  t.Put32(208, 72);
  t.Put32(212, 1);
  ExifInfo info;
  info.flags = ExifInfo::kCopyThumbnail;
  ASSERT_EQ(Parse(t.Segment(), info).result, 1);
  EXPECT_FLOAT_EQ(info.xResolution, 300.0f);
  EXPECT_EQ(info.thumbnailSize, 20u);
  EXPECT_EQ(info.thumbnail.size(), 20u);
}

TEST(ExifReader, DamagedSegments) {
  struct Case {
    const char* name;
    std::function<std::vector<uint8_t>()> segment;
    int result;
    const char* error;
    std::function<void(const ExifInfo&, const Outcome&)> check;
  };
  auto none = [](const ExifInfo&, const Outcome&) {};
  auto thumbnailUntouched = [](const ExifInfo& i, const Outcome&) {
    EXPECT_EQ(i.thumbnailSize, 0u);
    EXPECT_EQ(i.thumbnailOffset, 0u);
  };
  // A chain of `depth` directories, each linking the next three times
  // over (Exif link, interoperability link, next link).
  auto fanOut = [](int depth) {
    Tiff t(false, 8, 0);
    for (int i = 0; i < depth; ++i) {
      const uint32_t at = 8 + 42 * i, child = 8 + 42 * (i + 1);
      t.Directory(at, {{0x8769, kLong, 1, child}, {0xA005, kLong, 1, child}, {0x0110, kAscii, 2, 0x41}}, child);
    }
    t.Directory(8 + 42 * depth, {});
    return t.Segment();
  };
  const std::vector<Case> cases = {
      {"first directory at 7",
       [] {
         Tiff t(false, 7);
         t.Directory(8, {});
         return t.Segment();
       },
       0, "Suspicious offset of first IFD value", none},
      {"first directory at 17",
       [] {
         Tiff t(true, 17);
         t.Directory(17, {});
         return t.Segment();
       },
       0, "Suspicious offset of first IFD value", none},
      {"first directory at 16",
       [] {
         Tiff t(false, 16);
         t.Directory(16, {{0x0112, kShort, 1, 8}});
         return t.Segment();
       },
       1, "", [](const ExifInfo& i, const Outcome&) { EXPECT_EQ(i.orientation, 8); }},
      {"format 13",
       [] {
         Tiff t;
         t.Directory(8, {{0x010F, 13, 1, 0}});
         return t.Segment();
       },
       0, "Illegal format code in EXIF dir", none},
      {"format 0",
       [] {
         Tiff t;
         t.Directory(8, {{0x010F, 0, 1, 0}});
         return t.Segment();
       },
       0, "Illegal format code in EXIF dir", none},
      {"orientation 9",
       [] {
         Tiff t;
         t.Directory(8, {{0x0112, kShort, 1, 9}, {0x010F, kAscii, 3, 0x00594B}});
         return t.Segment();
       },
       1, "Undefined rotation value",
       [](const ExifInfo& i, const Outcome&) {
         EXPECT_EQ(i.orientation, 0);
         EXPECT_STREQ(i.cameraMake, "KY");  // parsing went on
       }},
      {"not Exif",
       [] {
         std::vector<uint8_t> s = Tiff().Segment();
         s[2] = 'J';
         return s;
       },
       0, "Incorrect Exif header", none},
      {"byte order XX",
       [] {
         std::vector<uint8_t> s = Tiff().Segment();
         s[8] = s[9] = 'X';
         return s;
       },
       0, "Invalid Exif alignment marker.", none},
      {"not 42",
       [] {
         Tiff t;
         t.Put16(2, 43);
         return t.Segment();
       },
       0, "Invalid Exif start (1)", none},
      {"entry count past the end",
       [] {
         Tiff t(false, 8, 40);
         t.Put16(8, 3);
         return t.Segment();
       },
       0, "Illegally sized directory", none},
      {"value offset wraps in 32 bits",
       [] {
         Tiff t;
         t.Directory(8, {{0x010F, kAscii, 16, 0xFFFFFFF8}});
         return t.Segment();
       },
       0, "Illegal pointer offset value in EXIF.", none},
      {"value one byte past the end",
       [] {
         Tiff t(false, 8, 64);
         t.Directory(8, {{0x010F, kAscii, 9, 56}});
         return t.Segment();
       },
       0, "Illegal pointer offset value in EXIF.", none},
      {"value exactly to the end",
       [] {
         Tiff t(false, 8, 64);
         t.Directory(8, {{0x010F, kAscii, 8, 56}});
         t.PutText(56, "LastByte");
         return t.Segment();
       },
       1, "", [](const ExifInfo& i, const Outcome&) { EXPECT_STREQ(i.cameraMake, "LastByte"); }},
      {"thumbnail offset wraps in 32 bits",
       [] {
         Tiff t;
         t.Directory(8, {{0x0201, kLong, 1, 0xFFFFFFF8}, {0x0202, kLong, 1, 16}});
         return t.Segment();
       },
       1, "", thumbnailUntouched},
      {"thumbnail one byte past the end",
       [] {
         Tiff t(false, 8, 100);
         t.Directory(8, {{0x0201, kLong, 1, 80}, {0x0202, kLong, 1, 21}});
         return t.Segment();
       },
       1, "", thumbnailUntouched},
      {"sub-directory at the segment's end",
       [] {
         Tiff t(false, 8, 64);
         t.Directory(8, {{0x8769, kLong, 1, 64}});
         return t.Segment();
       },
       0, "Illegal subdirectory link", none},
      {"sub-directory one byte before the segment's end",
       [] {
         Tiff t(false, 8, 64);
         t.Directory(8, {{0x8769, kLong, 1, 63}});
         return t.Segment();
       },
       0, "Illegal subdirectory link", none},
      {"next directory at the segment's end",
       [] {
         Tiff t(false, 8, 64);
         t.Directory(8, {}, 64);
         return t.Segment();
       },
       0, "Illegal subdirectory link", none},
      {"self-linked directory",
       [] {
         Tiff t;
         t.Directory(8, {{0x8769, kLong, 1, 8}, {0x010F, kAscii, 4, 0x00656E4F}}, 8);
         return t.Segment();
       },
       1, "",
       [](const ExifInfo& i, const Outcome& o) {
         EXPECT_EQ(o.walked, 1);
         EXPECT_STREQ(i.cameraMake, "One");
       }},
      {"three-way fan-out 20 deep", [&] { return fanOut(20); }, 1, "",
       [](const ExifInfo&, const Outcome& o) { EXPECT_EQ(o.walked, 21); }},
      {"chain of 100 directories", [&] { return fanOut(100); }, 0, "Too many directories in EXIF",
       [](const ExifInfo&, const Outcome& o) { EXPECT_EQ(o.walked, CExifReader::kMaxDirectories); }},
      {"number with no components",
       [] {
         Tiff t(false, 8, 22);  // the entry's value field ends the segment
         t.Directory(8, {{0x011A, 12, 0, 0x12345678}});
         t.Resize(22);
         return t.Segment();
       },
       1, "", none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExifInfo info;
    const auto started = std::chrono::steady_clock::now();
    const Outcome o = Parse(c.segment(), info);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_EQ(o.result, c.result);
    EXPECT_EQ(o.error, c.error);
    c.check(info, o);
  }
}

TEST(ExifReader, SegmentLengthsBelowSixteenOrBeyondTheBytesAreRefused) {
  Tiff t;
  t.Directory(8, {});
  const std::vector<uint8_t> segment = t.Segment();
  for (int length = 0; length < CExifReader::kMinSegmentLength; ++length) {
    SCOPED_TRACE(length);
    ExifInfo info;
    const Outcome o = Parse(std::vector<uint8_t>(segment.begin(), segment.begin() + std::max(length, 2)), info, length);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.error, "Invalid Exif segment length");
  }
  ExifInfo info;
  EXPECT_EQ(Parse(segment, info, static_cast<int>(segment.size()) + 1).result, 0);
  EXPECT_EQ(Parse(segment, info, static_cast<int>(segment.size())).result, 1);
}

TEST(ExifReader, FileScanOfSections) {
  testutil::TempDir dir("exif");
  struct Case {
    const char* name;
    std::string bytes;
    int result;
    const char* error;
  };
  const std::string soi = "\xFF\xD8";
  const std::string frame = std::string("\xFF\xC0\x00\x11\x08\x00\x30\x00\x40\x03", 10) + std::string(9, '\1');
  const std::string sos = std::string("\xFF\xDA\x00\x0C\x03", 5) + std::string(9, '\0');
  auto comment = [](const std::string& text) {
    const size_t n = text.size() + 2;
    return std::string("\xFF\xFE", 2) + static_cast<char>(n >> 8) + static_cast<char>(n) + text;
  };
  std::string twentyOne = soi;
  for (int i = 0; i < 21; ++i) twentyOne += std::string("\xFF\xE2\x00\x04\x00\x00", 6);
  const std::vector<Case> cases = {
      {"two comments", soi + comment("a\r\nb\x01") + comment("second") + frame + sos, 1, ""},
      {"end before the scan", soi + frame + "\xFF\xD9", -1, "No image in this jpeg file"},
      {"21 sections", twentyOne + sos, -1, "Too many sections in this jpg file"},
      {"not a JPEG", "GIF89a", -1, "File Format Error"},
      {"empty", "", -1, "Unexpect File End"},
      {"seven padding bytes", soi + std::string(7, '\xFF'), -1, "Too many padding unsigned chars"},
      {"length 1", soi + std::string("\xFF\xE2\x00\x01", 4), -1, "Invalid Marker"},
      {"cut section", soi + std::string("\xFF\xE2\x00\x40", 4) + "abc", -1, "Premature end of file?"},
      {"cut length", soi + std::string("\xFF\xE2\x00", 3), -1, "Unexpect File End"},
      {"short frame", soi + std::string("\xFF\xC0\x00\x03\x08", 5) + sos, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("case.jpg");
    testutil::WriteFile(path, c.bytes);
    ExifInfo info;
    std::string error;
    EXPECT_EQ(LoadJpegExifInfo(path.c_str(), &info, &error), c.result);
    EXPECT_EQ(error, c.error);
    if (std::string(c.name) == "two comments") {
      EXPECT_STREQ(info.comment, "a\nb?");
      EXPECT_EQ(info.width, 0x40);
      EXPECT_EQ(info.height, 0x30);
      EXPECT_EQ(info.isColor, 1);
      EXPECT_EQ(info.process, 0xC0);
    }
    if (std::string(c.name) == "short frame") {
      EXPECT_EQ(info.process, 0);
    }
  }
  std::string error;
  EXPECT_EQ(LoadJpegExifInfo(dir.file("missing.jpg").c_str(), nullptr, &error), -1);
  EXPECT_EQ(error, "Parameter incorreted! pExifInfo must not be NULL!");
  ExifInfo info;
  EXPECT_EQ(LoadJpegExifInfo(dir.file("missing.jpg").c_str(), &info, &error), -1);
  EXPECT_EQ(error, "JPG File Not Found!");
}
