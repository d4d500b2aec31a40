// The file-type table, the extension map and the name splitting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CFileExtensionMap.h"
#include "RawFileTypeTable.h"

namespace {

std::u16string Widen(const std::string& s) {
  std::u16string w;
  for (char c : s) w += static_cast<char16_t>(static_cast<unsigned char>(c));
  return w;
}

uint16_t NarrowId(const std::string& name) {
  return CFileExtensionMap::GetTypeIdOfNarrowName(name.data(), static_cast<uint8_t>(name.size()));
}

uint16_t WideId(const std::u16string& name) {
  return CFileExtensionMap::GetTypeIdOfWideName(name.data(), static_cast<uint8_t>(name.size()));
}

}  // namespace

TEST(FileTypeTable, RowsKeepTheirTexts) {
  const struct {
    int id;
    const char* extension;
    const char* description;
  } rows[] = {
      {0, "Raw", "Raw"},
      {13, "CDR", "COREL Darw file"},
      {25, "DXF", "AutoCad DX File"},
      {29, "FH11", "Freehand 10 file"},
      {71, "XLS", "Microsoft Excel XML Documents"},
      {80, "AIFF", "AIForAIFF file"},
      {86, "RAW", "RAW file"},
      {89, "RAF", "FUJIFILMCCD-RAW file"},
      {91, "SVG", "ScalableVectorGraphics"},
      {99, "3FR", "3FR"},
      {110, "FCPEVENT", "Final Cut Pro Event"},
  };
  for (const auto& r : rows) {
    EXPECT_STREQ(GetRawFileExtension(r.id), r.extension) << r.id;
    EXPECT_STREQ(GetRawFileDescription(r.id), r.description) << r.id;
  }
  for (int id = -1; id <= kRawFileTypeRows; ++id) {
    const bool fixed = id >= 0 && id <= 110;
    EXPECT_EQ(std::strlen(GetRawFileExtension(id)) > 0, fixed) << id;
    EXPECT_EQ(std::strlen(GetRawFileDescription(id)) > 0, fixed) << id;
    EXPECT_LE(std::strlen(GetRawFileExtension(id)), kMaxRawExtensionLength) << id;
  }
}

TEST(FileTypeTable, NamesToIdsNarrowAndWide) {
  const struct {
    const char* name;
    uint16_t id;
  } cases[] = {
      {"photo.JPG", 35},    {"photo.jpg", 35},    {"photo.Jpg", 35},    {"a.tar", 63},    {"notes.txt", 0},
      {"archive.accdb", 0}, {"clip.fcpevent", 0}, {"clip.FCPEV", 0},    {"x.gz", 31},     {"ab", 0},
      {".gz", 0},           {"name.", 0},         {"my.photo.jpg", 35}, {"scan.raw", 86}, {"a.Raw", 86},
      {"book.fh11", 29},    {"x.3fr", 99},        {"pic.jpeg", 0},      {"a.tar.gz", 31}, {"a.b", 0},
      {"dir.x/file", 0},    {"s.svg", 91},        {"m.MP3", 43},        {"d.docx", 73},   {"r.rmvb", 95},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NarrowId(c.name), c.id) << c.name;
    EXPECT_EQ(WideId(Widen(c.name)), c.id) << c.name;
  }
}

TEST(FileTypeTable, EveryShortExtensionFindsItsRow) {
  // Extensions of at most 4 characters can be split off a name; each finds
  // its own row (none of them repeats an earlier one).
  for (int id = 1; id <= 110; ++id) {
    const std::string ext = GetRawFileExtension(id);
    if (ext.size() > 4) continue;
    EXPECT_EQ(NarrowId("file." + ext), id) << ext;
  }
  // The keys of the longer ones are in the map but no name reaches them.
  EXPECT_EQ(CFileExtensionMap::GetTypeId(u"ACCDB", 5), 76);
  EXPECT_EQ(CFileExtensionMap::GetTypeId(u"fcpevent", 8), 110);
  EXPECT_EQ(CFileExtensionMap::GetTypeId(u"jpg\0x", 5), 35);
  EXPECT_EQ(CFileExtensionMap::GetTypeId(nullptr, 3), 0);
}

TEST(FileTypeTable, LengthsAreEightBitCharacterCounts) {
  // 300 characters are looked at as their first 44.
  std::string name(300, 'n');
  name.replace(40, 4, ".jpg");
  name.replace(296, 4, ".txt");
  EXPECT_EQ(NarrowId(name), 35);
  EXPECT_EQ(WideId(Widen(name)), 35);
  EXPECT_EQ(NarrowId(name.substr(0, 255)), 0);

  // A UTF-16 name of 12 characters is read as 12, not as its 24 bytes.
  const std::u16string memory =
      u"holiday1.jpg"
      u"garbage.txt!";
  EXPECT_EQ(CFileExtensionMap::GetTypeIdOfWideName(memory.data(), 12), 35);
  EXPECT_EQ(CFileExtensionMap::GetTypeIdOfWideName(memory.data(), 24), 0);
}

TEST(FileTypeTable, SplitExtension) {
  const struct {
    const char* name;
    int ok;
    const char* ext;
  } cases[] = {
      {"x.gz", 1, "gz"}, {"a.docx", 1, "docx"}, {"name.", 1, ""},   {"a.b.c", 1, "c"}, {"ab", 0, ""},
      {".gz", 0, ""},    {"abc", 0, ""},        {"a.jpeg1", 0, ""}, {"..", 0, ""},     {"a..", 1, ""},
  };
  for (const auto& c : cases) {
    char16_t out[4] = {};
    int count = -1;
    const uint8_t len = static_cast<uint8_t>(std::strlen(c.name));
    ASSERT_EQ(SplitExtensionNarrow(c.name, len, out, &count), c.ok) << c.name;
    const std::u16string wide = Widen(c.name);
    char16_t wout[4] = {};
    int wcount = -1;
    ASSERT_EQ(SplitExtensionWide(wide.data(), len, wout, &wcount), c.ok) << c.name;
    if (!c.ok) continue;
    EXPECT_EQ(std::u16string(out, static_cast<size_t>(count)), Widen(c.ext)) << c.name;
    EXPECT_EQ(std::u16string(wout, static_cast<size_t>(wcount)), Widen(c.ext)) << c.name;
  }
  // High 8-bit characters widen by zero extension.
  char16_t out[4] = {};
  int count = 0;
  ASSERT_EQ(SplitExtensionNarrow("a.\xE9t", 4, out, &count), 1);
  EXPECT_EQ(out[0], 0x00E9);
  int n = 0;
  EXPECT_EQ(SplitExtensionNarrow(nullptr, 5, out, &n), 0);
  EXPECT_EQ(SplitExtensionNarrow("a.jpg", 5, nullptr, &n), 0);
}

TEST(FileTypeTable, ScriptRowsAreSeenByTheAnalysersOnly) {
  CAnalyserFileTypeTable& table = CAnalyserFileTypeTable::Instance();
  const int first = table.ClaimScriptRow("qzx");
  ASSERT_GE(first, kFirstScriptFileType);
  EXPECT_EQ(table.ClaimScriptRow("QZX"), first);
  EXPECT_EQ(table.GetExtension(first), "qzx");
  EXPECT_EQ(table.GetExtension(35), "JPG");
  EXPECT_STREQ(GetRawFileExtension(first), "");
  EXPECT_EQ(NarrowId("f.qzx"), 0);
  EXPECT_EQ(table.ClaimScriptRow(""), -1);
  // A script's extension of up to 16 characters is kept whole; a longer
  // text never spills past its row.
  const int longRow = table.ClaimScriptRow("abcdefghijklmnop");
  EXPECT_EQ(table.GetExtension(longRow), "abcdefghijklmnop");
  EXPECT_EQ(table.ClaimScriptRow("abcdefghijklmnopqrs"), longRow);
  // The rows run out at 1999, and never further.
  int last = longRow;
  for (int i = 0; i < 1100; ++i) {
    const int id = table.ClaimScriptRow("e" + std::to_string(i));
    if (id < 0) break;
    last = id;
  }
  EXPECT_EQ(last, kLastScriptFileType);
  EXPECT_EQ(table.ClaimScriptRow("another"), -1);
  EXPECT_EQ(table.ClaimScriptRow("qzx"), first);
}
