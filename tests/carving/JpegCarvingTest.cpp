// JPEG pictures made by ImageMagick and cjpeg and tagged by exiftool
// (tests/fixtures/make-jpeg-files.sh), and two JPEGs that qtbase5-dev
// installs: the Exif reader must read what `exiftool -n` reads, and the JPEG
// analyser must carve each picture whole from a device of 512- and of
// 4096-byte sectors (djpeg decodes every carved copy).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CExifReader.h"
#include "CRawFileInfo.h"
#include "CarvingFixtures.h"
#include "FileJPGAnalyser.h"
#include "MemoryDevice.h"
#include "TestUtil.h"

namespace {

using Tags = std::map<std::string, std::string>;

class JpegFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* tool : {"convert", "exiftool", "cjpeg", "djpeg"})
      if (!testutil::HaveTool(tool)) return;
    std::string error;
    s_folder = testutil::SharedFixture("make-jpeg-files.sh", {}, "", error);
    if (s_folder.empty()) ADD_FAILURE() << error;
  }
  void SetUp() override {
    if (s_folder.empty()) GTEST_SKIP() << "needs convert, exiftool, cjpeg and djpeg (scripts/install-deps)";
  }
  static std::string Path(const std::string& name) { return s_folder + "/" + name + ".jpg"; }
  static std::string Bytes(const std::string& name) { return testutil::ReadFile(Path(name)); }
  // What `exiftool -n -args` read from the picture.
  static Tags ExiftoolTags(const std::string& name) {
    Tags tags;
    std::istringstream lines(testutil::ReadFile(s_folder + "/" + name + ".args"));
    for (std::string line; std::getline(lines, line);) {
      const size_t eq = line.find('=');
      if (line.size() > 1 && line[0] == '-' && eq != std::string::npos)
        tags[line.substr(1, eq - 1)] = line.substr(eq + 1);
    }
    return tags;
  }
  static std::string s_folder;
};
std::string JpegFiles::s_folder;

double Number(const Tags& tags, const std::string& tag) {
  const auto it = tags.find(tag);
  EXPECT_NE(it, tags.end()) << tag;
  return it == tags.end() ? NAN : std::stod(it->second);
}

float InchFactor(double unit) {
  return unit == 3 ? 0.3937008f : unit == 4 ? 0.03937008f : unit == 5 ? 0.00003937008f : 1.0f;
}

struct Carved {
  int matched = 0;
  uint64_t size = 0;
  std::string prefix, date, rawName;
  int rawType = -1;
  std::string bytes;  // the carved copy
};

// The picture at sector 3 of a device: three sectors of other bytes before
// it, its last sector padded with zeros, two sectors of other bytes after it.
Carved Carve(const std::string& picture, int sectorSize) {
  const size_t ss = static_cast<size_t>(sectorSize);
  const std::vector<uint8_t> before = testutil::PatternBytes(0, 3 * ss);
  const std::vector<uint8_t> after = testutil::PatternBytes(7 * ss, 2 * ss);
  std::string disk(before.begin(), before.end());
  disk += picture;
  disk.resize((disk.size() + ss - 1) / ss * ss, '\0');
  disk.append(after.begin(), after.end());
  testutil::MemoryDevice dev(disk, sectorSize);

  FileJPGAnalyser analyser;
  CRawFileInfo info;
  Carved c;
  c.matched = analyser.MatchHeader(reinterpret_cast<const uint8_t*>(disk.data()) + 3 * ss, &info);
  info.SetStartSector(3);
  analyser.FindFileSize(&info, &dev);
  c.size = info.GetFileSize();
  c.prefix = analyser.GetNamePrefix();
  c.date = analyser.GetDateText();
  analyser.GetRawFileType(&c.rawType, c.rawName);
  EXPECT_EQ(info.GetNamePrefix(), c.prefix);
  EXPECT_EQ(info.GetDateText(), c.date);
  EXPECT_EQ(info.GetRawFileTypeId(), c.rawType);
  c.bytes = disk.substr(3 * ss, static_cast<size_t>(std::min<uint64_t>(c.size, disk.size() - 3 * ss)));
  return c;
}

}  // namespace

TEST_F(JpegFiles, ExifRecordEqualsWhatExiftoolReads) {
  for (const char* name : {"exif-II", "exif-MM", "exif-first"}) {
    SCOPED_TRACE(name);
    const Tags t = ExiftoolTags(name);
    ExifInfo info;
    std::string error;
    ASSERT_EQ(LoadJpegExifInfo(Path(name).c_str(), &info, &error), 1) << error;
    EXPECT_EQ(info.hasExif, 1);
    EXPECT_EQ(info.cameraMake, t.at("Make"));
    EXPECT_EQ(info.cameraModel, t.at("Model"));
    EXPECT_EQ(info.dateTimeOriginal, t.at("DateTimeOriginal"));
    EXPECT_EQ(info.dateTimeDigitized, t.at("CreateDate"));
    EXPECT_EQ(info.exifVersion, t.at("ExifVersion"));
    EXPECT_EQ(info.orientation, Number(t, "Orientation"));
    EXPECT_FLOAT_EQ(info.xResolution, Number(t, "XResolution"));
    EXPECT_FLOAT_EQ(info.yResolution, Number(t, "YResolution"));
    EXPECT_FLOAT_EQ(info.resolutionUnit, InchFactor(Number(t, "ResolutionUnit")));
    EXPECT_FLOAT_EQ(info.exposureTime, Number(t, "ExposureTime"));
    EXPECT_FLOAT_EQ(info.aperture, Number(t, "FNumber"));
    EXPECT_FLOAT_EQ(info.focalLength, Number(t, "FocalLength"));
    EXPECT_FLOAT_EQ(info.exposureBias, Number(t, "ExposureCompensation"));
    EXPECT_EQ(info.isoEquivalent, Number(t, "ISO"));
    EXPECT_EQ(info.flashUsed, (static_cast<int>(Number(t, "Flash")) & 7) != 0);
    EXPECT_EQ(info.exposureProgram, Number(t, "ExposureProgram"));
    EXPECT_EQ(info.meteringMode, Number(t, "MeteringMode"));
    EXPECT_EQ(info.lightSource, Number(t, "LightSource"));
    EXPECT_FLOAT_EQ(info.focalPlaneXResolution, Number(t, "FocalPlaneXResolution"));
    const float unit = InchFactor(Number(t, "FocalPlaneResolutionUnit"));
    EXPECT_FLOAT_EQ(info.focalPlaneUnits, unit);
    const double widest = std::max(Number(t, "ExifImageWidth"), Number(t, "ExifImageHeight"));
    EXPECT_FLOAT_EQ(info.ccdWidth, static_cast<float>(widest * unit / Number(t, "FocalPlaneXResolution")));
    EXPECT_EQ(info.thumbnailOffset, Number(t, "ThumbnailOffset"));
    EXPECT_EQ(info.thumbnailSize, Number(t, "ThumbnailLength"));
    EXPECT_EQ(info.width, Number(t, "ImageWidth"));
    EXPECT_EQ(info.height, Number(t, "ImageHeight"));
    EXPECT_EQ(info.isColor, Number(t, "ColorComponents") == 3);
    EXPECT_EQ(info.process, 0xC0 + Number(t, "EncodingProcess"));

    // The thumbnail copied out is the one exiftool finds.
    ExifInfo copy;
    copy.flags = ExifInfo::kCopyThumbnail;
    ASSERT_EQ(LoadJpegExifInfo(Path(name).c_str(), &copy), 1);
    const std::string file = Bytes(name);
    ASSERT_EQ(copy.thumbnail.size(), info.thumbnailSize);
    EXPECT_EQ(std::string(copy.thumbnail.begin(), copy.thumbnail.end()),
              file.substr(info.thumbnailOffset, info.thumbnailSize));
  }
}

TEST_F(JpegFiles, CarvedWholeAtBothSectorSizes) {
  struct Picture {
    std::string name;
    std::string bytes;
    std::string model;  // expected prefix and raw-type name; "" for none
    std::string date;
  };
  std::vector<Picture> pictures;
  for (const char* name : {"exif-II", "exif-MM", "exif-first", "jfif-baseline", "jfif-progressive", "large"}) {
    const Tags t = ExiftoolTags(name);
    pictures.push_back({name, Bytes(name), t.count("Model") ? t.at("Model") : "",
                        t.count("DateTimeOriginal") ? t.at("DateTimeOriginal") : ""});
  }
  // No APP0 at all: the picture starts FF D8 FF DB.
  const std::string jfif = Bytes("jfif-baseline");
  pictures.push_back({"quantisation table first", jfif.substr(0, 2) + jfif.substr(20), "", ""});
  ASSERT_EQ(pictures.back().bytes.substr(0, 4), "\xFF\xD8\xFF\xDB");
  // Exif first, with an empty first directory; 11,264 bytes, so FF D9 ends
  // a 512-byte sector.
  pictures.push_back({"Qt-header-bg", carvingtest::InstalledPackageFile("qtbase5-dev", "/Qt-header-bg.jpg"), "", ""});
  pictures.push_back({"Qt-footer-bg", carvingtest::InstalledPackageFile("qtbase5-dev", "/Qt-footer-bg.jpg"), "", ""});
  ASSERT_EQ(pictures[7].bytes.size(), 11264u) << "qtbase5-dev's Qt-header-bg.jpg (scripts/install-deps)";

  testutil::TempDir dir("jpeg");
  for (int ss : {512, 4096}) {
    for (const Picture& p : pictures) {
      SCOPED_TRACE(p.name + " at " + std::to_string(ss));
      const Carved c = Carve(p.bytes, ss);
      EXPECT_NE(c.matched, 0);
      EXPECT_EQ(c.size, p.bytes.size());
      EXPECT_EQ(c.prefix, p.model);
      EXPECT_EQ(c.rawName, p.model);
      EXPECT_EQ(c.rawType, p.model.empty() ? -1 : FileJPGAnalyser::kCameraRawType);
      EXPECT_EQ(c.date, p.date);
      const std::string copy = dir.file("carved.jpg");
      testutil::WriteFile(copy, c.bytes);
      const testutil::CommandResult djpeg = testutil::Run({"djpeg", "-outfile", "/dev/null", copy});
      EXPECT_EQ(djpeg.exitCode, 0) << djpeg.output;
    }
  }
}

TEST_F(JpegFiles, WhatIsNotCarvedOrCutShort) {
  for (int ss : {512, 4096}) {
    SCOPED_TRACE(ss);
    // An Exif picture with a progressive frame: not carved.
    const Carved progressive = Carve(Bytes("exif-first-progressive"), ss);
    EXPECT_NE(progressive.matched, 0);
    EXPECT_EQ(progressive.size, 0u);
    // "jfif" in lower case is taken for a JPEG, and then not sized.
    std::string lower = Bytes("jfif-baseline");
    lower.replace(6, 4, "jfif");
    const Carved l = Carve(lower, ss);
    EXPECT_NE(l.matched, 0);
    EXPECT_EQ(l.size, 0u);
    // Without APP0 a frame must have three components.
    const std::string jfif = Bytes("jfif-baseline");
    std::string grey = jfif.substr(0, 2) + jfif.substr(20);
    const size_t greySof = grey.find("\xFF\xC0");
    ASSERT_EQ(grey.substr(greySof + 4, 1), "\x08");  // the frame's precision
    grey[greySof + 9] = 1;
    EXPECT_EQ(Carve(grey, ss).size, 0u);
    // A frame so large that width x height x 3 passes 32 bits: the end
    // search still reaches the picture's end.
    std::string huge = Bytes("large");
    const size_t sof = huge.find("\xFF\xC0");
    ASSERT_EQ(huge.substr(sof + 4, 1), "\x08");
    huge.replace(sof + 5, 4, std::string("\x55\x56\xFF\xFF", 4));  // 21846 rows of 65535
    EXPECT_EQ(Carve(huge, ss).size, huge.size());
  }
  // A picture cut by the device's end: never sized past it.
  const std::string large = Bytes("large");
  const std::string cut = large.substr(0, 100000);
  testutil::MemoryDevice dev(std::string(512, 'x') + cut.substr(0, 99840), 512);
  FileJPGAnalyser analyser;
  CRawFileInfo info;
  info.SetStartSector(1);
  analyser.FindFileSize(&info, &dev);
  EXPECT_LE(info.GetFileSize(), 99840u);
}
