// The RAW search over memory devices at 512- and 4096-byte sectors, with
// the program's analysers and JPEG pictures that Qt's documentation ships
// (qtbase5-dev): where records start, which type they get, and that their
// sizes are worked out from the read-ahead ring during the search.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "CFoundFileStore.h"
#include "CRAWSearchController.h"
#include "CRawAnalyserRegistry.h"
#include "CRawFileInfo.h"
#include "CScanOptions.h"
#include "CarvingFixtures.h"
#include "IRawFileAnalyser.h"
#include "IScanProgressSink.h"
#include "MemoryDevice.h"
#include "RawAnalyserTables.h"

using testutil::MemoryDevice;

namespace {

const int kSectorSizes[] = {512, 4096};
const int kBlockSectors = 8;
const int kJpegType = 35;

const std::string& Jpeg() {
  static const std::string bytes = carvingtest::InstalledPackageFile("qtbase5-dev", "/Qt-header-bg.jpg");
  return bytes;
}

// A device of zero sectors with the picture placed at the given sectors.
std::unique_ptr<MemoryDevice> MakeDevice(uint64_t sectors, int ss, const std::vector<uint64_t>& at) {
  std::vector<uint8_t> bytes(sectors * static_cast<uint64_t>(ss), 0);
  for (uint64_t s : at) {
    const uint64_t off = s * static_cast<uint64_t>(ss);
    EXPECT_LE(off + Jpeg().size(), bytes.size());
    std::memcpy(bytes.data() + off, Jpeg().data(), Jpeg().size());
  }
  return std::unique_ptr<MemoryDevice>(new MemoryDevice(std::move(bytes), ss));
}

struct Found {
  uint64_t start, size;
  int analyserType;
};

class StopAfter : public IScanProgressSink {
 public:
  explicit StopAfter(int n) : left(n) {}
  void OnStatus(const ScanStatusRecord*) override {}
  int ShouldContinue() override {
    if (--left < 0) GetScanOptions()->raw.stopMatching = 1;
    return 1;
  }
  int left;
};

class RawSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Jpeg().empty()) << "qtbase5-dev is not installed";
    CRawAnalyserRegistry::SetFactorySource(nullptr);
    CRawAnalyserRegistry::ForgetInstance();
  }
  void TearDown() override {
    GetScanOptions()->raw.stopMatching = 0;
    GetScanOptions()->SetDefaults();
    CRawAnalyserRegistry::ForgetInstance();
  }

  // Runs a whole search as the recovery controller does; answers the
  // records in the store's order.
  std::vector<Found> Search(MemoryDevice& dev, IScanProgressSink* sink = nullptr, size_t* pendingBeforeEnd = nullptr) {
    CFoundFileStore store;
    CRAWSearchController search;
    search.SetDevice(&dev);
    search.SetSearchOption(kBlockSectors);
    search.StartSearch();
    search.SetFoundFileStore(&store);
    search.SetProgressSink(sink);
    const uint64_t total = dev.GetSectorCount();
    for (uint64_t first = 0; first < total; first += kBlockSectors)
      search.AnalyzeBlock(first, std::min<uint64_t>(kBlockSectors, total - first));
    if (pendingBeforeEnd) *pendingBeforeEnd = search.GetPendingCount();
    search.EndSearch();
    EXPECT_EQ(search.GetPendingCount(), 0u);
    std::vector<Found> found;
    IIterator<CRawFileInfo*>* it = store.GetIterator();
    for (it->First(); !it->IsDone(); it->Next()) {
      CRawFileInfo* f = it->CurrentItem();
      found.push_back({f->GetStartSector(), f->GetFileSize(), f->GetAnalyserTypeId()});
    }
    return found;
  }
};

}  // namespace

TEST_F(RawSearch, WhereRecordsStartAndWhatTheyAre) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    auto zeros = MakeDevice(6 * kBlockSectors, ss, {});
    EXPECT_TRUE(Search(*zeros).empty());

    auto one = MakeDevice(6 * kBlockSectors, ss, {5});
    const std::vector<Found> found = Search(*one);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].start, 5u);
    EXPECT_EQ(found[0].analyserType, kJpegType);
    EXPECT_EQ(found[0].size, Jpeg().size());
    EXPECT_EQ(CFoundFileStore::BucketOf(found[0].start), 0u);
  }
  EXPECT_EQ(CFoundFileStore::BucketOf(305419896), 564u);
}

TEST_F(RawSearch, TheSelectionDecides) {
  // JPEG has only keyed analysers: selected alone it must still be carved.
  const struct {
    std::vector<int> selection;
    size_t found;
  } cases[] = {{{kJpegType}, 2}, {{1, 2, 3, 72}, 0}, {{}, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.selection.size());
    GetScanOptions()->raw.enabledFileTypes = c.selection;
    auto dev = MakeDevice(10 * kBlockSectors, 512, {3, 30});
    EXPECT_EQ(Search(*dev).size(), c.found);
  }
}

TEST_F(RawSearch, SizesComeFromTheRingDuringTheSearch) {
  // (blocks, sector size, picture sectors): one device read per block,
  // every picture sized whole. 10 blocks: nothing is due before the end;
  // the picture at 159 starts in the ring's last slot and wraps.
  const struct {
    uint64_t sectors;
    int ss;
    std::vector<uint64_t> at;
  } cases[] = {
      {10 * kBlockSectors, 512, {5, 40}},
      {10 * kBlockSectors, 4096, {5, 40}},
      {45 * kBlockSectors, 512, {2, 159, 300}},
      {45 * kBlockSectors, 4096, {159}},
      // into the last, short block
      {10 * kBlockSectors + 3 + 22, 512, {10 * kBlockSectors + 3}},
      {6 * kBlockSectors + 2, 4096, {6 * kBlockSectors - 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.sectors << " sectors of " << c.ss);
    auto dev = MakeDevice(c.sectors, c.ss, c.at);
    size_t pending = 99;
    const std::vector<Found> found = Search(*dev, nullptr, &pending);
    ASSERT_EQ(found.size(), c.at.size());
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].start, c.at[i]);
      EXPECT_EQ(found[i].size, Jpeg().size());
    }
    const uint64_t blocks = (c.sectors + kBlockSectors - 1) / kBlockSectors;
    EXPECT_EQ(static_cast<uint64_t>(dev->reads), blocks);
    if (c.sectors > 40 * kBlockSectors) {
      EXPECT_LT(pending, c.at.size());  // sized before the end
    }
  }
}

TEST_F(RawSearch, UnreadableBlockLeavesTheRestSized) {
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    auto dev = MakeDevice(30 * kBlockSectors, ss, {1, 4 * kBlockSectors + 1, 25 * kBlockSectors});
    dev->failSector = 3 * kBlockSectors + 2;
    const std::vector<Found> found = Search(*dev);
    ASSERT_EQ(found.size(), 3u);
    for (const Found& f : found) {
      EXPECT_EQ(f.size, Jpeg().size()) << f.start;
      EXPECT_EQ(f.analyserType, kJpegType);
    }
  }
}

TEST_F(RawSearch, CancelEndsTheSectorLoopAtOnce) {
  auto dev = MakeDevice(8 * kBlockSectors, 512, {1, 30});
  StopAfter sink(3);  // sectors 0, 1 and 2 are offered, then the flag is set
  const std::vector<Found> found = Search(*dev, &sink);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].start, 1u);
  // The search still ends cleanly and later blocks add nothing.
}

TEST_F(RawSearch, SizeIsCutAtTheDeviceEnd) {
  // The picture's end lies past the device's end.
  for (int ss : kSectorSizes) {
    SCOPED_TRACE(ss);
    const uint64_t sectors = 2 * kBlockSectors + 1;
    std::vector<uint8_t> bytes(sectors * ss, 0);
    const uint64_t at = sectors - 1;
    std::memcpy(bytes.data() + at * ss, Jpeg().data(), ss);
    MemoryDevice dev(std::move(bytes), ss);
    for (const Found& f : Search(dev)) EXPECT_LE(f.start * ss + f.size, sectors * ss);
  }
}

namespace {

// Declines every sector after filling in a record as if it were its own;
// throws on sectors that begin "THRW".
class Decliner : public IRawFileAnalyser {
 public:
  Decliner() : IRawFileAnalyser(1) {}
  int MatchHeader(const uint8_t* sector, CRawFileInfo* info) override {
    if (std::memcmp(sector, "THRW", 4) == 0) throw std::runtime_error("bad header");
    info->SetFileType(1);
    info->SetFileSize(999);
    info->SetNamePrefix("left");
    info->SetDateText("2001");
    return 0;
  }
};

// Accepts sectors that begin "OKAY" or "THRW" and sets only the type.
class Accepter : public IRawFileAnalyser {
 public:
  Accepter() : IRawFileAnalyser(11) {}
  int MatchHeader(const uint8_t* sector, CRawFileInfo* info) override {
    if (std::memcmp(sector, "OKAY", 4) != 0 && std::memcmp(sector, "THRW", 4) != 0) return 0;
    info->SetFileType(11);
    return 1;
  }
};

}  // namespace

TEST_F(RawSearch, EachAnalyserSeesACleanRecord) {
  CRawAnalyserRegistry::SetFactorySource([] {
    CRawAnalyserRegistry::Factories f;
    f[static_cast<size_t>(ERawAnalyserClass::File3DS)] = [] { return new Decliner; };
    f[static_cast<size_t>(ERawAnalyserClass::FileBMP)] = [] { return new Accepter; };
    return f;
  });
  CRawAnalyserRegistry::ForgetInstance();
  GetScanOptions()->raw.enabledFileTypes = {1, 11};
  std::vector<uint8_t> bytes(4 * kBlockSectors * 512, 0);
  std::memcpy(&bytes[3 * 512], "OKAY", 4);
  std::memcpy(&bytes[12 * 512], "THRW", 4);
  std::memcpy(&bytes[13 * 512], "nope", 4);
  MemoryDevice dev(std::move(bytes), 512);
  CFoundFileStore store;
  CRAWSearchController search;
  search.SetDevice(&dev);
  search.SetSearchOption(kBlockSectors);
  search.StartSearch();
  search.SetFoundFileStore(&store);
  for (uint64_t first = 0; first < dev.GetSectorCount(); first += kBlockSectors)
    search.AnalyzeBlock(first, kBlockSectors);
  search.EndSearch();
  ASSERT_EQ(store.GetFileCount(), 2u);
  for (uint64_t start : {3u, 12u}) {
    SCOPED_TRACE(start);
    const CRawFileInfo* f = store.FindFile(start);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->GetFileType(), 11);
    EXPECT_EQ(f->GetAnalyserTypeId(), 11);
    EXPECT_EQ(f->GetFileSize(), 0u);  // left for the tree to size
    EXPECT_EQ(f->GetNamePrefix(), "");
    EXPECT_EQ(f->GetDateText(), "");
  }
  CRawAnalyserRegistry::SetFactorySource(nullptr);
}
