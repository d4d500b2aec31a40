// The analyser registry's structure: built over stand-in analysers (one
// per class, so the tables show whole whatever has landed), then the
// registry of the program as it stands, its provider for the FAT engine and
// a build that fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "CRawAnalyserRegistry.h"
#include "CRawFileInfo.h"
#include "IRawFileAnalyser.h"
#include "RunLog.h"
#include "ScanEngineRegistry.h"
#include "TestUtil.h"

namespace {

using C = ERawAnalyserClass;

class StandIn : public IRawFileAnalyser {
 public:
  explicit StandIn(C c) : IRawFileAnalyser(RawAnalyserClass(c).typeId), cls(c) {}
  int MatchHeader(const uint8_t*, CRawFileInfo*) override { return 0; }
  const C cls;
};

CRawAnalyserRegistry::Factories StandIns() {
  CRawAnalyserRegistry::Factories f;
  for (size_t i = 0; i < kRawAnalyserClassCount; ++i) f[i] = [i] { return new StandIn(static_cast<C>(i)); };
  return f;
}

C ClassOf(IRawFileAnalyser* a) {
  return dynamic_cast<StandIn&>(*a).cls;
}

std::vector<std::string> Names(const CRawAnalyserRegistry::AnalyserList& list) {
  std::vector<std::string> names;
  for (IRawFileAnalyser* a : list) names.push_back(RawAnalyserClass(ClassOf(a)).name);
  return names;
}

uint32_t Key(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  const uint8_t bytes[4] = {a, b, c, d};
  return RawSignatureKey(bytes);
}

std::multiset<uint32_t> Keys(const CRawAnalyserRegistry& r) {
  std::multiset<uint32_t> keys;
  for (const auto& entry : r.GetSignatureMap()) keys.insert(entry.first);
  return keys;
}

const std::vector<uint32_t> kJpegKeys = {Key(0xff, 0xd8, 0xff, 0xe0), Key(0xff, 0xd8, 0xff, 0xe1),
                                         Key(0xff, 0xd8, 0xff, 0xdb)};
const std::vector<uint32_t> kTiffKeys = {Key(0x4d, 0x4d, 0x00, 0x2a), Key(0x49, 0x49, 0x2a, 0x00),
                                         Key(0x49, 0x49, 0x55, 0x00), Key(0x49, 0x49, 0x52, 0x4f),
                                         Key(0x49, 0x49, 0x52, 0x53), Key('F', 'U', 'J', 'I')};

}  // namespace

TEST(AnalyserRegistry, BuiltRegistryHoldsTheFullListAndEveryKey) {
  CRawAnalyserRegistry r(StandIns());
  // The full list's type ids, in its order.
  const std::vector<int> ids = {1,  2,  6,  9,  11, 12, 14, 17, 18, 21, 24, 25, 26, 27, 29, 30, 31,  32,  33, 34,
                                35, 23, 36, 39, 38, 40, 42, 43, 44, 48, 49, 50, 51, 54, 55, 56, 58,  59,  60, 62,
                                63, 64, 65, 33, 70, 68, 72, -1, 80, -1, 82, 90, 91, 92, 94, 96, 108, 110, 109};
  const auto full = r.GetAnalyserList(1);
  ASSERT_EQ(full.size(), 59u);
  std::vector<int> got;
  for (IRawFileAnalyser* a : full) got.push_back(a->GetTypeId());
  EXPECT_EQ(got, ids);
  EXPECT_EQ(Names(full).front(), "File3DSAnalyser");
  EXPECT_EQ(Names(full)[47], "CustomFileAnalyser");
  EXPECT_EQ(Names(full).back(), "FileMPGAnalyser");
  // The fallback list holds objects of its own.
  const auto fallback = r.GetAnalyserList(0);
  ASSERT_EQ(fallback.size(), 59u);
  EXPECT_EQ(Names(fallback), Names(full));
  for (size_t i = 0; i < full.size(); ++i) EXPECT_NE(fallback[i], full[i]);

  // 60 distinct keys, each with its own object.
  const std::multiset<uint32_t> keys = Keys(r);
  EXPECT_EQ(keys.size(), 60u);
  EXPECT_EQ(std::set<uint32_t>(keys.begin(), keys.end()).size(), 60u);
  std::set<IRawFileAnalyser*> objects;
  for (const auto& entry : r.GetSignatureMap()) objects.insert(entry.second.get());
  EXPECT_EQ(objects.size(), 60u);

  // MRW only under its key.
  IRawFileAnalyser* mrw = r.FindBySignature(Key(0x00, 0x4d, 0x52, 0x4d));
  ASSERT_NE(mrw, nullptr);
  EXPECT_EQ(ClassOf(mrw), C::MRW);
  int mrwCount = 0;
  for (const auto& entry : r.GetSignatureMap()) mrwCount += ClassOf(entry.second.get()) == C::MRW;
  EXPECT_EQ(mrwCount, 1);
  for (IRawFileAnalyser* a : full) EXPECT_NE(ClassOf(a), C::MRW);

  // Keys from sector bytes.
  struct Lookup {
    std::vector<uint8_t> bytes;
    const char* analyser;  // null: no key
  };
  const std::vector<Lookup> lookups = {
      {{0x50, 0x4b, 0x03, 0x04}, "FileZIPAnalyser"},
      {{0x4d, 0x4d, 0x00, 0x2a}, "FileTIFAnalyser"},
      {{0x00, 0x00, 0x01, 0xba}, "FileMPGAnalyser"},
      {{0x4d, 0x41, 0x43, 0x20}, "CFileAPEAnalyser"},
      {{0x46, 0x4f, 0x52, 0x4d}, "CFileAIFAnalyzer"},
      {{0x50, 0x4b, 0x03, 0x05}, nullptr},
      {{0x00, 0x00, 0x00, 0x00}, nullptr},
  };
  for (const Lookup& l : lookups) {
    std::vector<uint8_t> sector(4096, 0);
    std::copy(l.bytes.begin(), l.bytes.end(), sector.begin());
    IRawFileAnalyser* a = r.FindBySector(sector.data());
    if (!l.analyser) {
      EXPECT_EQ(a, nullptr);
      continue;
    }
    ASSERT_NE(a, nullptr) << l.analyser;
    EXPECT_STREQ(RawAnalyserClass(ClassOf(a)).name, l.analyser);
  }
}

TEST(AnalyserRegistry, SelectionChoosesKeylessAnalysersAndKeys) {
  struct Case {
    std::vector<int> selected;
    std::vector<std::string> fallback;
    std::vector<uint32_t> keys;
  };
  const std::vector<std::string> allKeyless = {
      "File3DSAnalyser", "File3GPAnalyser", "FileBMPAnalyser",        "FileEMFAnalyser",
      "FileGZAnalyser",  "FileHTMAnalyser", "FileUnicodeHTMAnalyser", "FileLZHAnalyser",
      "FileMDBAnalyser", "FileMNYAnalyser", "FileMOVAnalyser",        "FileMP3Analyser",
      "FileMP4Analyser", "FileSWFAnalyser", "FileTARAnalyser",        "FileFLVAnalyser"};
  std::vector<uint32_t> jpegAndTiff = kJpegKeys;
  jpegAndTiff.insert(jpegAndTiff.end(), kTiffKeys.begin(), kTiffKeys.end());
  const std::vector<Case> cases = {
      {{35, 64}, {}, jpegAndTiff},
      {{33}, {"FileHTMAnalyser", "FileUnicodeHTMAnalyser"}, {}},
      {{44, 33, 44}, {"FileMP4Analyser", "FileHTMAnalyser", "FileUnicodeHTMAnalyser", "FileMP4Analyser"}, {}},
      {{72, 81}, {}, {Key(0x50, 0x4b, 0x03, 0x04), Key('M', 'A', 'C', ' ')}},
      {{102, 999}, {}, {Key(0x00, 0x4d, 0x52, 0x4d)}},
      {{-1}, {}, {}},  // the script analyser is chosen by no selection
  };
  CRawAnalyserRegistry r(StandIns());
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.selected));
    r.SelectFallbackTypes(c.selected);
    r.RebuildSignatureMap(c.selected);
    EXPECT_EQ(Names(r.GetAnalyserList(0)), c.fallback);
    EXPECT_EQ(Keys(r), std::multiset<uint32_t>(c.keys.begin(), c.keys.end()));
    EXPECT_EQ(r.GetAnalyserList(1).size(), 59u);  // never changes
  }
  // A JPEG-only selection carves no ZIP: its key is gone from the map.
  r.RebuildSignatureMap({35});
  EXPECT_EQ(r.FindBySignature(Key(0x50, 0x4b, 0x03, 0x04)), nullptr);
  ASSERT_NE(r.FindBySignature(kJpegKeys[1]), nullptr);
  // No selection: every key-less analyser once, in id order, and every key.
  r.SelectFallbackTypes({});
  r.RebuildSignatureMap({});
  EXPECT_EQ(Names(r.GetAnalyserList(0)), allKeyless);
  EXPECT_EQ(Keys(r).size(), 60u);
}

TEST(AnalyserRegistry, ListsTheClassesStillWithoutAnAnalyser) {
  // Each analyser, when it lands, takes its class off this list.
  const std::vector<std::string> stillWithout = {
      "File3DSAnalyser", "File3GPAnalyser",      "FileASFAnalyser",  "FileAUAnalyser",         "FileBMPAnalyser",
      "FileCABAnalyser", "FileCHMAnalyser",      "FileCPTAnalyser",  "FileCRWAnalyser",        "FileDBXAnalyser",
      "FileDWGAnalyser", "FileDXFAnalyser",      "FileEMFAnalyser",  "FileEPSAnalyser",        "FileFH11Analyser",
      "FileGIFAnalyser", "FileGZAnalyser",       "FileHLPAnalyser",  "FileHTMAnalyser",        "FileICOAnalyser",
      "FileLowDocAnalyser",   "FileLZHAnalyser",  "FileMDBAnalyser",        "FileMIDAnalyser",
      "FileMNYAnalyser", "FileMOVAnalyser",      "FileMP3Analyser",  "FileMP4Analyser",        "FileOLEAnalyser",
      "FileONEAnalyser", "FilePDFAnalyser",      "FilePNGAnalyser",  "FilePSDAnalyser",        "FilePSPAnalyser",
      "FilePSTAnalyser", "FileRARAnalyser",      "FileRIFFAnalyser", "FileRTFAnalyser",        "FileSWFAnalyser",
      "FileTARAnalyser", "FileTIFAnalyser",      "FileTTFAnalyser",  "FileUnicodeHTMAnalyser", "FileWMFAnalyser",
      "FileWPDAnalyser", "FileZIPAnalyser",      "CFileAIFAnalyzer", "CFileAPEAnalyser",       "CFileOggAnalyser",
      "FileFLVAnalyser", "FileSVGAnalyser",      "FileSITAnalyser",  "FileRM_RMVBAnalyser",    "FileMKVAnalyser",
      "FileX3FAnalyser", "FileFCPEVENTAnalyser", "FileMPGAnalyser",  "FileMRWAnalyser"};
  std::vector<std::string> missing;
  for (C c : CRawAnalyserRegistry::ClassesWithoutAnalyser()) missing.push_back(RawAnalyserClass(c).name);
  EXPECT_EQ(missing, stillWithout);

  // The program's registry holds the analysers that exist, nothing else.
  CRawAnalyserRegistry r(CRawAnalyserRegistry::DefaultFactories(nullptr));
  size_t missingInFull = 0, missingKeys = 0, missingKeyless = 0;
  for (C c : CRawAnalyserRegistry::ClassesWithoutAnalyser()) {
    missingInFull += RawAnalyserClass(c).inFullList;
    for (const RawSignatureRow& row : kRawSignatureRows) missingKeys += row.analyser == c;
    for (const RawKeylessRow& row : kRawKeylessRows) missingKeyless += row.analyser == c;
  }
  EXPECT_EQ(r.GetAnalyserList(1).size(), kRawFullListLength - missingInFull);
  EXPECT_EQ(r.GetSignatureMap().size(), kRawSignatureCount - missingKeys);
  r.SelectFallbackTypes({});
  EXPECT_EQ(r.GetAnalyserList(0).size(), kRawKeylessCount - missingKeyless);
}

TEST(AnalyserRegistry, ProviderBuildsOnceAndSurvivesAFailedBuild) {
  testutil::TempDir dir("registry");
  const std::string log = dir.file("run.log");
  ASSERT_TRUE(RunLogSetFile(log));
  ClearScanEngineRegistry();
  EXPECT_TRUE(GetRawAnalyserFullList().empty());  // nothing registered
  RegisterRawAnalyserList();

  // A build that throws leaves no registry: the caller gets an empty list
  // and a log line, and the next call builds anew.
  int builds = 0;
  CRawAnalyserRegistry::SetFactorySource([&] {
    ++builds;
    CRawAnalyserRegistry::Factories f = StandIns();
    f[static_cast<size_t>(C::FileZIP)] = []() -> IRawFileAnalyser* { throw std::bad_alloc(); };
    return f;
  });
  CRawAnalyserRegistry::ForgetInstance();
  EXPECT_TRUE(GetRawAnalyserFullList().empty());
  EXPECT_EQ(builds, 1);

  CRawAnalyserRegistry::SetFactorySource([&] {
    ++builds;
    return StandIns();
  });
  const auto first = GetRawAnalyserFullList();
  EXPECT_EQ(first.size(), 59u);
  EXPECT_EQ(GetRawAnalyserFullList(), first);  // built once: the same objects
  EXPECT_EQ(builds, 2);
  EXPECT_EQ(&CRawAnalyserRegistry::Instance(), &CRawAnalyserRegistry::Instance());

  CRawAnalyserRegistry::SetFactorySource(nullptr);
  CRawAnalyserRegistry::ForgetInstance();
  ClearScanEngineRegistry();
  RunLogSetFile("");
  const std::string lines = testutil::ReadFile(log);
  EXPECT_NE(lines.find("analyser registry could not be built"), std::string::npos) << lines;
}
