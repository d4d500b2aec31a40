#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "CFileTypeEvidence.h"
#include "CFoundFileStore.h"
#include "CRawFileInfo.h"
#include "CSearchedPartitionInfo.h"

namespace {

constexpr uint16_t kJpg = 35, kZip = 51, kTar = 63, kGz = 31, kDocx = 73, kRaw = 86;

// What the lookup was last asked, to show which characters reach it.
std::u16string g_asked;
int g_askCount = 0;

uint16_t FakeLookup(const char16_t* extension, size_t count) {
  std::u16string e(extension, count);
  g_asked = e;
  ++g_askCount;
  for (char16_t& c : e)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  const struct {
    const char16_t* ext;
    uint16_t id;
  } kTable[] = {{u"JPG", kJpg}, {u"ZIP", kZip}, {u"TAR", kTar}, {u"GZ", kGz}, {u"DOCX", kDocx}, {u"RAW", kRaw}};
  for (const auto& row : kTable)
    if (e == row.ext) return row.id;
  return 0;
}

class FileTypeEvidence : public ::testing::Test {
 protected:
  void SetUp() override { RegisterFileTypeIdLookup(&FakeLookup); }
  void TearDown() override { RegisterFileTypeIdLookup(nullptr); }
};

std::u16string Wide(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

TEST_F(FileTypeEvidence, NamesGiveTheTypeOfTheirLastExtension) {
  const struct {
    std::string name;
    size_t length;  // npos: the whole name
    uint16_t id;
    const char16_t* asked;  // null: the lookup is not asked
  } kCases[] = {
      {"photo.JPG", std::string::npos, kJpg, u"JPG"},
      {"photo.Jpg", std::string::npos, kJpg, u"Jpg"},
      {"notes.txt", std::string::npos, 0, u"txt"},
      {"a.tar", std::string::npos, kTar, u"tar"},
      {"x.gz", std::string::npos, kGz, u"gz"},
      {"my.photo.jpg", std::string::npos, kJpg, u"jpg"},
      {"report.docx", std::string::npos, kDocx, u"docx"},
      {"scan.raw", std::string::npos, kRaw, u"raw"},
      {"photo.jpgz", 9, kJpg, u"jpg"},  // only `length` characters count
      {"archive.accdb", std::string::npos, 0, nullptr},
      {"ab", std::string::npos, 0, nullptr},
      {".gz", std::string::npos, 0, nullptr},
      {"photo.", std::string::npos, 0, nullptr},
      {"nodot", std::string::npos, 0, nullptr},
      {"a.jpg", 0, 0, nullptr},
      {"caf\xc3\xa9.jpg", std::string::npos, kJpg, u"jpg"},
      {"x.j\xc3\xa9", std::string::npos, 0, u"j\u00c3\u00a9"},  // bytes widened as they are
  };
  for (const auto& c : kCases) {
    const size_t length = c.length == std::string::npos ? c.name.size() : c.length;
    const std::u16string wide = Wide(c.name);
    g_askCount = 0;
    EXPECT_EQ(FileTypeIdOfName(c.name.data(), length), c.id) << c.name;
    EXPECT_EQ(g_askCount, c.asked ? 1 : 0) << c.name;
    if (c.asked) {
      EXPECT_EQ(g_asked, std::u16string(c.asked)) << c.name;
    }
    EXPECT_EQ(FileTypeIdOfName(wide.data(), length), c.id) << c.name;
  }
  // A wide name is counted in UTF-16 units: a character beyond U+00FF and a
  // surrogate pair are one and two units.
  const std::u16string name = u"\u65e5\u672c\U0001F600.jpg";
  EXPECT_EQ(FileTypeIdOfName(name.data(), name.size()), kJpg);
  EXPECT_EQ(FileTypeIdOfName(name.data(), name.size() - 1), 0);
  EXPECT_EQ(FileTypeIdOfName(static_cast<const char*>(nullptr), 9), 0);
  EXPECT_EQ(FileTypeIdOfName(static_cast<const char16_t*>(nullptr), 9), 0);
}

TEST_F(FileTypeEvidence, AnEntryIsFilledOnlyFromAKnownTypeAtKnownPlaces) {
  const struct {
    const char* name;
    int64_t cluster, sector;
    bool filled;
  } kCases[] = {
      {"a.jpg", 10, 100, true}, {"a.jpg", 0, 0, true},     {"a.jpg", -1, 100, false},
      {"a.jpg", 10, -1, false}, {"a.txt", 10, 100, false},
  };
  for (const auto& c : kCases) {
    CFileTypeEvidenceEntry narrow, wide;
    const std::u16string w = Wide(c.name);
    EXPECT_EQ(narrow.InitFromNarrowName(c.name, 5, c.cluster, c.sector), c.filled) << c.name << c.cluster;
    EXPECT_EQ(wide.InitFromWideName(w.data(), w.size(), c.cluster, c.sector), c.filled);
    for (const CFileTypeEvidenceEntry* e : {&narrow, &wide}) {
      EXPECT_EQ(e->GetTypeId(), c.filled ? kJpg : 0);
      EXPECT_EQ(e->GetFirstCluster(), c.filled ? c.cluster : -1);
      EXPECT_EQ(e->GetRecordSector(), c.filled ? c.sector : -1);
    }
  }
  CFileTypeEvidence evidence;
  EXPECT_TRUE(evidence.AddNarrowName("a.jpg", 5, 1, 1));
  EXPECT_FALSE(evidence.AddNarrowName("a.jpg", 5, -1, 1));
  EXPECT_FALSE(evidence.AddWideName(u"a.txt", 5, 1, 1));
  EXPECT_EQ(evidence.GetCount(), 1u);
  evidence.Clear();
  EXPECT_EQ(evidence.GetCount(), 0u);
}

TEST(FileTypeEvidenceWithoutLookup, NoNameGivesATypeAndNothingMatches) {
  RegisterFileTypeIdLookup(nullptr);
  EXPECT_EQ(FileTypeIdOfName("a.jpg", 5), 0);
  CFileTypeEvidence evidence;
  EXPECT_FALSE(evidence.AddNarrowName("a.jpg", 5, 10, 2048));
  CFoundFileStore store;
  store.AddFile(new CRawFileInfo(2128, 0, "", kJpg, "JPG"));
  CSearchedPartitionInfo candidate;
  candidate.SetStartSector(2048);
  candidate.SetClusterStartSector(2048);
  candidate.SetSectorCount(10000);
  candidate.SetSectorsPerCluster(8);
  EXPECT_EQ(evidence.CountRawMatches(&store, &candidate), 0u);
  EXPECT_EQ(candidate.GetRawMatchCount(), 0u);
}

struct Named {
  const char* name;
  int64_t cluster;
  int64_t recordSector;
};

struct Carved {
  uint64_t sector;
  int type;
};

struct CountCase {
  const char* what;
  uint64_t start, count, clusterStart;
  uint32_t sectorsPerCluster;
  std::vector<Named> named;
  std::vector<Carved> carved;
  uint64_t matches;
};

const uint64_t kU64Max = UINT64_MAX;
const int64_t kI64Max = INT64_MAX;

// Each row: the candidate's start sector, sector count, cluster start sector
// and sectors per cluster; the names {name, first cluster, record sector};
// the carved files {start sector, type}; the matches.
// Cluster 10 of 8 sectors counted from sector 2048 is sector 2128.
// clang-format off
const CountCase kCounts[] = {
    {"a carved file of the named type where the name says",
     2048, 10000, 2048, 8, {{"photo.jpg", 10, 2100}}, {{2128, kJpg}}, 1},
    {"one sector off",
     2048, 10000, 2048, 8, {{"photo.jpg", 10, 2100}}, {{2129, kJpg}}, 0},
    {"another type",
     2048, 10000, 2048, 8, {{"photo.jpg", 10, 2100}}, {{2128, kZip}}, 0},
    {"a DOCX carved by the ZIP analyser matches the docx name",
     2048, 10000, 2048, 8, {{"report.docx", 10, 2100}, {"report.zip", 20, 2101}}, {{2128, kDocx}, {2208, kDocx}}, 1},
    // FAT: run cluster 0 lies at the data start, 32 sectors into the partition.
    {"clusters count from the cluster start sector",
     2048, 10000, 2080, 8, {{"photo.jpg", 10, 2100}}, {{2128, kJpg}, {2160, kJpg}}, 1},
    {"a record before the candidate is passed over",
     2048, 10000, 2048, 8, {{"photo.jpg", 10, 2047}, {"b.jpg", 11, 2048}}, {{2128, kJpg}, {2136, kJpg}}, 1},
    {"a record at the candidate's end is outside",
     2048, 10000, 2048, 8, {{"photo.jpg", 10, 12048}, {"b.jpg", 11, 12047}}, {{2128, kJpg}, {2136, kJpg}}, 1},
    {"data past the candidate's end is outside",
     2048, 100, 2048, 8, {{"photo.jpg", 13, 2050}}, {{2152, kJpg}}, 0},
    {"data before the partition start is outside",
     2048, 10000, 1000, 8, {{"photo.jpg", 10, 2100}}, {{1080, kJpg}}, 0},
    // (2^61 + 10) x 8 wraps to 80, onto the carved file at 2128.
    {"a cluster whose offset passes 2^64 matches nothing",
     2048, kU64Max - 2048, 2048, 8, {{"photo.jpg", (int64_t(1) << 61) + 10, 2100}, {"b.jpg", kI64Max / 8, 2101}},
     {{2128, kJpg}, {2048 + 8 * uint64_t(kI64Max / 8), kJpg}}, 1},
    // 4096 + (2^61 - 1) x 8 wraps to 4088.
    {"a data sector that passes 2^64 matches nothing",
     0, kU64Max, 4096, 8, {{"photo.jpg", (int64_t(1) << 61) - 1, 100}}, {{4088, kJpg}}, 0},
    {"a sector count that passes 2^64 ends at the last sector",
     2048, kU64Max, 2048, 8, {{"photo.jpg", 10, 2100}}, {{2128, kJpg}}, 1},
    {"no cluster size, no match",
     2048, 10000, 2048, 0, {{"photo.jpg", 0, 2100}}, {{2048, kJpg}}, 0},
    // A walk in arrival order would stop at old.jpg, whose record lies past the end.
    {"entries arriving out of order",
     2048, 10000, 2048, 8,
     {{"c.jpg", 12, 9000}, {"photo.jpg", 10, 2100}, {"old.jpg", 11, 20000}, {"a.jpg", 13, 100}, {"b.jpg", 11, 3000}},
     {{2128, kJpg}, {2136, kJpg}, {2144, kJpg}, {2152, kJpg}}, 3},
};
// clang-format on

void PrintTo(const CountCase& c, std::ostream* os) {
  *os << c.what;
}

class RawMatchCount : public FileTypeEvidence, public ::testing::WithParamInterface<CountCase> {};

TEST_P(RawMatchCount, CountsCarvedFilesWhereTheNamesSayTheDataBegins) {
  const CountCase& c = GetParam();
  CFoundFileStore store;
  for (const Carved& f : c.carved) ASSERT_TRUE(store.AddFile(new CRawFileInfo(f.sector, 0, "", f.type, "")));
  // Every order of arrival gives the same count.
  std::vector<Named> named = c.named;
  std::sort(named.begin(), named.end(), [](const Named& a, const Named& b) { return a.recordSector < b.recordSector; });
  do {
    CFileTypeEvidence evidence;
    for (const Named& n : named) {
      const std::string name = n.name;
      ASSERT_TRUE(evidence.AddNarrowName(name.data(), name.size(), n.cluster, n.recordSector)) << name;
    }
    CSearchedPartitionInfo candidate;
    candidate.SetStartSector(c.start);
    candidate.SetSectorCount(c.count);
    candidate.SetClusterStartSector(c.clusterStart);
    candidate.SetSectorsPerCluster(c.sectorsPerCluster);
    candidate.SetRawMatchCount(7);
    EXPECT_EQ(evidence.CountRawMatches(&store, &candidate), c.matches);
    EXPECT_EQ(candidate.GetRawMatchCount(), 7 + c.matches);
    // Counting again counts again.
    evidence.CountRawMatches(&store, &candidate);
    EXPECT_EQ(candidate.GetRawMatchCount(), 7 + 2 * c.matches);
  } while (std::next_permutation(named.begin(), named.end(),
                                 [](const Named& a, const Named& b) { return a.recordSector < b.recordSector; }));
}

INSTANTIATE_TEST_SUITE_P(Cases, RawMatchCount, ::testing::ValuesIn(kCounts));

TEST(FindRawFileAtSector, FindsOnlyAnExactStart) {
  CFoundFileStore store;
  store.AddFile(new CRawFileInfo(1ull << 40, 0, "", kJpg, ""));
  EXPECT_NE(FindRawFileAtSector(&store, 1ull << 40), nullptr);
  EXPECT_EQ(FindRawFileAtSector(&store, (1ull << 40) + 1), nullptr);
  EXPECT_EQ(FindRawFileAtSector(&store, (1ull << 40) + (4096ull << 16)), nullptr);  // same bucket
  EXPECT_EQ(FindRawFileAtSector(nullptr, 1ull << 40), nullptr);
}

}  // namespace
