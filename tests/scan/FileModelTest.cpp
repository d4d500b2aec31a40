#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CExt2DataRunList.h"
#include "CExt2FileProperties.h"
#include "CFATDataRunList.h"
#include "CFATFileProperties.h"
#include "CFileSystemNode.h"
#include "CFoundFileStore.h"
#include "CMemoryScanStream.h"
#include "CNTFSFileProperties.h"
#include "CNoneResidentNTFSDataRunList.h"
#include "CRAWDataRunList.h"
#include "CRAWFileProperties.h"
#include "CResidentNTFSDataRunList.h"
#include "CScanOptions.h"
#include "CSearchedPartitionInfo.h"
#include "EngineError.h"
#include "FileTime.h"
#include "ScanStatusRecord.h"
#include "ScanStreamIO.h"

namespace {

struct PropsDeleter {
  void operator()(IFileProperties* p) const { DeleteFileProperties(p); }
};
using PropsPtr = std::unique_ptr<IFileProperties, PropsDeleter>;

std::vector<DataRun> RunsOf(const IFileProperties& p) {
  std::unique_ptr<IDataRunList> list(p.GetDataRunList());
  if (!list) return {};
  return {list->Runs().begin(), list->Runs().end()};
}

void ExpectSameProperties(const IFileProperties& a, const IFileProperties& b) {
  EXPECT_STREQ(a.GetName(), b.GetName());
  EXPECT_EQ(a.GetNameLength(), b.GetNameLength());
  EXPECT_EQ(a.GetFileSize(), b.GetFileSize());
  EXPECT_EQ(a.GetAttributes(), b.GetAttributes());
  EXPECT_EQ(a.GetCreationTime(), b.GetCreationTime());
  EXPECT_EQ(a.GetModificationTime(), b.GetModificationTime());
  EXPECT_EQ(a.GetAccessTime(), b.GetAccessTime());
  EXPECT_EQ(a.IsDeleted(), b.IsDeleted());
  EXPECT_EQ(RunsOf(a), RunsOf(b));
  EXPECT_EQ(b.GetStatusFlag(), 0);
}

// Saves, loads into a fresh object, compares; then checks that every
// truncation of the saved form is refused without changing the target.
template <class T>
void RoundTrip(T& original, T* (*load)(IScanStream*)) {
  CMemoryScanStream s;
  ASSERT_TRUE(original.Save(&s));
  const std::vector<uint8_t> bytes = s.Bytes();
  PropsPtr loaded(load(&s));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(s.Remaining(), 0u);
  ExpectSameProperties(original, *loaded);
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    CMemoryScanStream part(bytes.data(), cut);
    EXPECT_EQ(load(&part), nullptr) << "cut at " << cut;
  }
}

TEST(FileProperties, SavedFormsRoundTripForEveryKind) {
  CFATDataRunList runs;
  runs.AppendMerged({5, 3});
  runs.AppendMerged({20, 1});

  CFATFileProperties fat;
  fat.SetName("REPORT.TXT");
  fat.SetFileSize(1234);
  fat.SetAttributes(0x20);
  fat.SetCreationTime(0x4A21, 0x6000);
  fat.SetModificationTime(0x4A21, 0x6001);
  fat.SetAccessDate(0x4A21);
  fat.SetDeleted(1);
  fat.SetFirstCluster(5);
  fat.SetParentCluster(2);
  auto* fatRuns = new CFATDataRunList;
  fatRuns->AppendMerged({5, 3});
  fat.SetDataRunList(fatRuns);
  RoundTrip(fat, LoadFATFileProperties);

  CNTFSFileProperties ntfs;
  ntfs.SetName("résumé.doc");
  ntfs.SetFileSize(1 << 20);
  ntfs.SetAttributes(0x4800);
  ntfs.SetCreationTime(132000000000000000ull);
  ntfs.SetRecordSector(4000);
  ntfs.SetDataRunList(&runs);
  ntfs.SetRecordList(std::make_unique<NTFSSegmentRefList>(NTFSSegmentRefList{{4010, 7}, {4020, 9}}));
  ntfs.SetStatusFlag(3);
  RoundTrip(ntfs, LoadNTFSFileProperties);
  CMemoryScanStream ns;
  ntfs.Save(&ns);
  std::unique_ptr<CNTFSFileProperties, PropsDeleter> nl(LoadNTFSFileProperties(&ns));
  ASSERT_TRUE(nl && nl->GetRecordList());
  EXPECT_EQ(nl->GetRecordSector(), 4000u);
  EXPECT_EQ(nl->GetRecordList()->GetCount(), 2u);
  EXPECT_EQ(nl->GetRecordList()->Refs().at(1).sector, 4020);

  CExt2FileProperties ext2;
  ext2.SetName(nullptr);
  EXPECT_STREQ(ext2.GetName(), "Unknown");
  ext2.SetName("notes");
  ext2.SetFileSize(77);
  ext2.SetAccessTime(99);
  RoundTrip(ext2, LoadExt2FileProperties);

  CRAWFileProperties raw;
  raw.SetFromRawFileInfo(CRawFileInfo(800, 1025, "2015:06:01 10:20:30", 12, "jpg"));
  raw.SetRawFileName("f800.jpg");
  raw.SetRawExtent(800, 803);
  raw.SetAttributes(0x20);
  RoundTrip(raw, LoadRAWFileProperties);
  EXPECT_EQ(RunsOf(raw), (std::vector<DataRun>{{800, 3}}));

  CRAWFileProperties rawFolder;  // no runs, no texts
  rawFolder.SetAttributes(0x10);
  RoundTrip(rawFolder, LoadRAWFileProperties);
}

TEST(FileProperties, ReferenceCountIsNotAByte) {
  auto* p = CreateFATFileProperties();
  for (int i = 0; i < 300; ++i) p->AddRef();
  for (int i = 0; i < 300; ++i) p->Release();
  EXPECT_EQ(p->GetRefCount(), 1);
  p->Release();  // the last one deletes (checked by the sanitizers)
}

TEST(FileProperties, SharedByNodeAndCloneSurvivesEither) {
  CFileNode* node = CreateFileNode();
  auto* props = CreateExt2FileProperties();
  props->SetName("shared");
  node->SetProperties(props);
  CFileNode* clone = node->Clone();
  EXPECT_EQ(props->GetRefCount(), 2);
  DeleteFileNode(node);
  EXPECT_STREQ(clone->GetProperties()->GetName(), "shared");
  DeleteFileNode(clone);
}

TEST(FileProperties, RawTextsAreClampedBeforeTheirLengthBytes) {
  CRAWFileProperties raw;
  const std::string longName(300, 'n');
  raw.SetRawFileName(longName.c_str());
  EXPECT_EQ(std::strlen(raw.GetName()), CRAWFileProperties::kMaxText);
  EXPECT_EQ(raw.GetNameLength(), 255);
  // A cut never splits a UTF-8 character.
  std::string accented(253, 'a');
  accented += "\xC3\xA9\xC3\xA9";
  raw.SetTimeText(accented);
  EXPECT_EQ(raw.GetTimeText().size(), 253u);
  raw.SetRawFileType(7, std::string(400, 't'));
  int id = 0;
  std::string type;
  raw.GetRawFileType(id, type);
  EXPECT_EQ(type.size(), 254u);
  CMemoryScanStream s;
  ASSERT_TRUE(raw.Save(&s));
  std::unique_ptr<CRAWFileProperties, PropsDeleter> back(LoadRAWFileProperties(&s));
  ASSERT_TRUE(back);
  EXPECT_EQ(std::string(back->GetName()), std::string(254, 'n'));
  EXPECT_EQ(back->GetTimeText(), accented.substr(0, 253));
}

TEST(FileProperties, RawTypeNamesAndDates) {
  CRAWFileProperties raw;
  raw.SetRawFileType(3, "a:b  ");
  int id = 0;
  std::string type;
  raw.GetRawFileType(id, type);
  EXPECT_EQ(id, 3);
  EXPECT_EQ(type, "a_b");
  raw.SetRawFileType(3, "x\\/?\"<>|*\r\ny");
  raw.GetRawFileType(id, type);
  EXPECT_EQ(type, "x__________y");

  uint64_t expected = 0;
  ASSERT_TRUE(CalendarToFileTime(2015, 6, 1, 10, 20, 30, 0, expected));
  // 1 June 2015 10:20:30 UTC.
  EXPECT_EQ(expected, (1433154030ull + 11644473600ull) * 10000000ull);
  raw.SetTimeText("2015:06:01 10:20:30");
  EXPECT_EQ(raw.GetCreationTime(), expected);
  EXPECT_EQ(raw.GetModificationTime(), expected);
  EXPECT_EQ(raw.GetAccessTime(), 0u);
  raw.SetTimeText("2015:06:01");
  ASSERT_TRUE(CalendarToFileTime(2015, 6, 1, 0, 0, 0, 0, expected));
  EXPECT_EQ(raw.GetCreationTime(), expected);
  raw.SetTimeText("");
  EXPECT_EQ(raw.GetCreationTime(), 0u);
}

TEST(FileProperties, FatDatesAndExt2ChildNames) {
  CFATFileProperties fat;
  fat.SetCreationTime(0x0000, 0);  // month 0, day 0
  EXPECT_EQ(fat.GetCreationTime(), 0u);
  fat.SetModificationTime((35 << 9) | (2 << 5) | 30, 0);  // 30 February 2015
  EXPECT_EQ(fat.GetModificationTime(), 0u);
  fat.SetAccessDate((35 << 9) | (6 << 5) | 1);
  uint64_t expected = 0;
  CalendarToFileTime(2015, 6, 1, 0, 0, 0, 0, expected);
  EXPECT_EQ(fat.GetAccessTime(), expected);
  EXPECT_EQ(fat.SetStatusFlag(5), 1);
  EXPECT_EQ(fat.GetStatusFlag(), 0);

  CExt2FileProperties ext2;
  EXPECT_EQ(ext2.GetChildName(12), "");
  ext2.SetChildName(12, "child");
  EXPECT_EQ(ext2.GetChildName(12), "child");
  EXPECT_EQ(ext2.GetChildName(12), "");
  EXPECT_EQ(ext2.GetChildNameMap(), nullptr);
}

// --- nodes ---

CFileNode* MakeFile(const char* name, int64_t size, uint16_t attributes = 0x20) {
  CFileNode* n = CreateFileNode();
  auto* p = CreateFATFileProperties();
  p->SetName(name);
  p->SetFileSize(size);
  p->SetAttributes(attributes);
  n->SetProperties(p);
  return n;
}

struct Tree {
  std::vector<CFileNode*> nodes;
  ~Tree() {
    for (CFileNode* n : nodes) DeleteFileNode(n);
  }
  CFileNode* Add(CFileNode* n, CFileNode* parent) {
    nodes.push_back(n);
    if (parent) parent->AppendChild(n);
    return n;
  }
};

TEST(FileNode, DefaultsAndLookups) {
  Tree t;
  CFileNode* orphan = t.Add(CreateFileNode(), nullptr);
  EXPECT_EQ(orphan->GetId(), -1);
  EXPECT_EQ(orphan->GetParentId(), -1);
  EXPECT_EQ(orphan->GetPosition(), 0u);
  EXPECT_EQ(orphan->GetCheckState(), 0);
  EXPECT_EQ(orphan->GetFileSystemType(), EFileSystemType::Unknown);
  uint64_t start = 9;
  int spc = 9;
  EXPECT_EQ(orphan->GetPartitionGeometry(start, spc), 0);
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(spc, 0);

  auto* root = static_cast<CFileSystemNode*>(t.Add(CreateFileSystemNode(), nullptr));
  root->SetFileSystemType(EFileSystemType::FAT32);
  root->SetPartitionGeometry(2048, 8);
  root->SetId(5);
  CFileNode* dir = t.Add(MakeFile("dir", 0, 0x10), nullptr);
  root->AddChild(dir);
  EXPECT_EQ(dir->GetParentId(), 5);
  CFileNode* file = t.Add(MakeFile("f", 1), dir);
  EXPECT_EQ(file->GetFileSystemType(), EFileSystemType::FAT32);
  EXPECT_EQ(file->GetPartitionGeometry(start, spc), 1);
  EXPECT_EQ(start, 2048u);
  EXPECT_EQ(spc, 8);
  EXPECT_EQ(root->RemoveChild(file), 0);
  EXPECT_EQ(dir->RemoveChild(file), 1);
  EXPECT_EQ(file->GetParent(), nullptr);

  root->SetName(std::string(50, 'L').c_str());
  EXPECT_EQ(std::string(root->GetName()), std::string(40, 'L'));
}

TEST(FileNode, SelectingAFolderUpdatesStatesAndStatistics) {
  Tree t;
  auto* root = static_cast<CFileSystemNode*>(t.Add(CreateFileSystemNode(), nullptr));
  root->SetFileSystemType(EFileSystemType::FAT32);
  root->SetProperties(root->CreateRootProperties());
  CFileNode* dir = t.Add(MakeFile("dir", 0, 0x10), root);
  for (const char* n : {"a", "b", "c"}) t.Add(MakeFile(n, 10), dir);
  root->RecalculateStatistics();
  EXPECT_EQ(root->Statistics().files, 3u);
  EXPECT_EQ(root->Statistics().bytes, 30u);

  root->SetNodeCheckState(dir, 0);
  for (CFileNode* n : t.nodes) EXPECT_EQ(n->GetCheckState(), kCheckAll);
  EXPECT_EQ(root->Statistics().checkedFiles, 3u);
  EXPECT_EQ(root->Statistics().checkedBytes, 30u);

  root->SetNodeCheckState(dir, 0);
  for (CFileNode* n : t.nodes) EXPECT_EQ(n->GetCheckState(), kCheckNone);
  EXPECT_EQ(root->Statistics().checkedFiles, 0u);
  EXPECT_EQ(root->Statistics().checkedBytes, 0u);
}

TEST(FileNode, PruneEmptyResultsKeepsTheRoot) {
  Tree t;
  CFileNode* root = t.Add(MakeFile("root", 0, 0x10), nullptr);
  CFileNode* dir = t.Add(MakeFile("dir", 0, 0x10), root);
  CFileNode* emptyFile = t.Add(MakeFile("e", 0), dir);
  CFileNode* emptyDir = t.Add(MakeFile("sub", 0, 0x10), dir);
  std::vector<CFileNode*> removed;
  EXPECT_EQ(PruneEmptyResults(root, removed), 1);
  EXPECT_EQ(root->GetFirstChild(), nullptr);
  EXPECT_EQ(removed.size(), 3u);
  for (CFileNode* n : {dir, emptyFile, emptyDir})
    EXPECT_NE(std::find(removed.begin(), removed.end(), n), removed.end());
  EXPECT_EQ(PruneEmptyResults(nullptr, removed), 0);
}

TEST(FileNode, FileSystemNodeSavedFormRoundTrips) {
  Tree t;
  auto* root = static_cast<CFileSystemNode*>(t.Add(CreateFileSystemNode(), nullptr));
  root->SetId(42);
  root->SetFileSystemType(EFileSystemType::NTFS);
  root->SetPartitionGeometry(63, 8);
  root->SetName("Data");
  root->SetProperties(root->CreateRootProperties());
  t.Add(MakeFile("a", 100, 0x800), root);
  root->RecalculateStatistics();
  CMemoryScanStream s;
  ASSERT_EQ(root->Save(&s), 1);
  EXPECT_EQ(s.Bytes().size(), 8u + 40u + 8u + 4u + 4u + 4u + 4u);
  const std::vector<uint8_t> bytes = s.Bytes();
  auto* back = static_cast<CFileSystemNode*>(t.Add(CreateFileSystemNode(), nullptr));
  ASSERT_EQ(back->Load(&s), 1);
  EXPECT_EQ(back->GetId(), 42);
  EXPECT_EQ(back->GetFileSystemType(), EFileSystemType::NTFS);
  EXPECT_STREQ(back->GetName(), "Data");
  EXPECT_EQ(back->Statistics(), root->Statistics());
  uint64_t start = 0;
  int spc = 0;
  back->GetPartitionGeometry(start, spc);
  EXPECT_EQ(start, 63u);
  EXPECT_EQ(spc, 8);
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    CMemoryScanStream part(bytes.data(), cut);
    CFileSystemNode n;
    EXPECT_EQ(n.Load(&part), 0);
  }
  CFileNode* clone = t.Add(root->Clone(), nullptr);
  EXPECT_NE(clone->GetProperties(), root->GetProperties());
  EXPECT_STREQ(clone->GetProperties()->GetName(), "NTFS");
  EXPECT_EQ(clone->GetProperties()->GetAttributes(), kFileAttributeDirectory);
}

TEST(FileNode, PartitionDisplayNames) {
  SearchedVolumeName v;
  v.letter = 0;
  EXPECT_EQ(FormatPartitionDisplayName(v, "NTFS", 1), "NTFS 1");
  v.letter = 'E';
  EXPECT_EQ(FormatPartitionDisplayName(v, "NTFS", 2), "E:(NTFS 2)");
  v.label = "Data";
  EXPECT_EQ(FormatPartitionDisplayName(v, "FAT32", 3), "E:(Data - FAT32 3)");
  v.letter = 255;
  EXPECT_EQ(FormatPartitionDisplayName(v, "EXT2", 4), "Data(EXT2 4)");
}

// --- searched partitions, errors, kinds, store ---

TEST(SearchedPartition, BaseRecordRoundTripsIn76Bytes) {
  EXPECT_EQ(CSearchedPartitionInfo(4096).GetBytesPerSector(), 4096u);
  EXPECT_EQ(CSearchedPartitionInfo(0).GetBytesPerSector(), 512u);
  EXPECT_EQ(CSearchedPartitionInfo(520).GetBytesPerSector(), 512u);

  CSearchedPartitionInfo p(4096);
  p.SetType(EFileSystemType::FAT32);
  p.SetSectorsPerCluster(8);
  p.SetClusterStartSector(100);
  p.SetStartSector(63);
  p.SetRawMatchCount(5);
  p.SetRecordMatchCount(6);
  p.SetEngineValue(7);
  p.SetSectorCount(1000);
  p.SetPoints(9);
  p.SetScore(0.75);
  p.SetChosen(1);
  p.SetProximityMark(3);
  CMemoryScanStream s;
  ASSERT_TRUE(p.Save(&s));
  const std::vector<uint8_t> bytes = s.Bytes();
  ASSERT_EQ(bytes.size(), CSearchedPartitionInfo::kSavedBaseSize);
  EXPECT_EQ(bytes[0], 2);      // type
  EXPECT_EQ(bytes[24], 5);     // RAW-match count
  EXPECT_EQ(bytes[40], 7);     // engine value
  EXPECT_EQ(bytes[68], 1);     // chosen
  EXPECT_EQ(bytes[73], 0x10);  // 4096 bytes per sector, last
  CSearchedPartitionInfo q;
  ASSERT_TRUE(q.Load(&s));
  EXPECT_EQ(q.GetType(), EFileSystemType::FAT32);
  EXPECT_EQ(q.GetSectorsPerCluster(), 8u);
  EXPECT_EQ(q.GetClusterStartSector(), 100u);
  EXPECT_EQ(q.GetStartSector(), 63u);
  EXPECT_EQ(q.GetRawMatchCount(), 5u);
  EXPECT_EQ(q.GetRecordMatchCount(), 6u);
  EXPECT_EQ(q.GetSectorCount(), 1000u);
  EXPECT_EQ(q.GetPoints(), 9u);
  EXPECT_DOUBLE_EQ(q.GetScore(), 0.75);
  EXPECT_EQ(q.GetChosen(), 1u);
  EXPECT_EQ(q.GetBytesPerSector(), 4096u);
  EXPECT_EQ(q.GetProximityMark(), 0u);
  EXPECT_EQ(q.GetOwner(), nullptr);
  CMemoryScanStream shortStream(bytes.data(), 75);
  CSearchedPartitionInfo r;
  EXPECT_FALSE(r.Load(&shortStream));
  EXPECT_EQ(r.GetPoints(), 1u);
}

TEST(EngineErrors, PackingAndPrinting) {
  const struct {
    uint32_t location, error;
    int code;
  } cases[] = {{0x7E, 0x15, 0x7E0015}, {0x42, 0x12, 0x420012}, {0x1EA, 0x04, 0x1EA0004}, {0x104, 0x11, 0x1040011}};
  for (const auto& c : cases) {
    EXPECT_EQ(MakeEngineError(c.location, c.error), c.code);
    EXPECT_EQ(EngineErrorLocation(c.code), c.location);
    EXPECT_EQ(EngineErrorNumber(c.code), c.error);
  }
  EXPECT_EQ(engine_error::kCompleteNoSearch, 0x1E00010);
  EXPECT_EQ(engine_error::kDeletedNoController, 0x7C0012);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReturnError(0x7E0015, ".\\src\\hfs.cpp", 12, "Load"), 0x7E0015);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Return Error:0x7e0015\tFile:hfs.cpp\tLine:12\tFuction:Load\n");
  // A tool whose standard output is its result takes the lines elsewhere.
  static std::string taken;
  SetReturnErrorSink([](const char* line) { taken = line; });
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReturnError(0x501, "a/b/j.cpp", 19, "Open"), 0x501);
  SetReturnErrorSink(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(taken, "Return Error:0x501\tFile:j.cpp\tLine:19\tFuction:Open");
}

TEST(KindSchemes, OneConversionTable) {
  const struct {
    EFileSystemType type;
    EPartitionKind partition;
    ECompleteSearchKind search;
    ETreeKind tree;
  } rows[] = {
      {EFileSystemType::FAT12, EPartitionKind::FAT, ECompleteSearchKind::FAT, ETreeKind::FAT},
      {EFileSystemType::FAT16, EPartitionKind::FAT, ECompleteSearchKind::FAT, ETreeKind::FAT},
      {EFileSystemType::FAT32, EPartitionKind::FAT, ECompleteSearchKind::FAT, ETreeKind::FAT},
      {EFileSystemType::NTFS, EPartitionKind::NTFS, ECompleteSearchKind::NTFS, ETreeKind::NTFS},
      {EFileSystemType::Ext2, EPartitionKind::Ext2, ECompleteSearchKind::Ext2, ETreeKind::Ext2},
      {EFileSystemType::Ext3, EPartitionKind::Ext2, ECompleteSearchKind::Ext2, ETreeKind::Ext2},
      {EFileSystemType::RAW, EPartitionKind::RAW, ECompleteSearchKind::RAW, ETreeKind::RAW},
      {EFileSystemType::exFAT, EPartitionKind::exFAT, ECompleteSearchKind::exFAT, ETreeKind::exFAT},
      {EFileSystemType::HFSPlus, EPartitionKind::HFSPlus, ECompleteSearchKind::HFSPlus, ETreeKind::HFSPlus},
  };
  for (const auto& r : rows) {
    EPartitionKind p = EPartitionKind::None;
    ECompleteSearchKind s = ECompleteSearchKind::NTFS;
    ETreeKind t = ETreeKind::None, t2 = ETreeKind::None;
    EXPECT_TRUE(ToPartitionKind(r.type, p));
    EXPECT_EQ(p, r.partition);
    EXPECT_TRUE(ToCompleteSearchKind(p, s));
    EXPECT_EQ(s, r.search);
    EXPECT_TRUE(ToTreeKind(r.type, t));
    EXPECT_EQ(t, r.tree);
    EXPECT_TRUE(ToTreeKind(p, t2));
    EXPECT_EQ(t2, r.tree);
    EPartitionKind back = EPartitionKind::None;
    EXPECT_TRUE(ToPartitionKind(s, back));
    EXPECT_EQ(back, r.partition);
    EFileSystemType type = EFileSystemType::Unknown;
    EXPECT_TRUE(ToFileSystemType(p, type));
    EXPECT_EQ(FatGroup(type), FatGroup(r.type == EFileSystemType::Ext3 ? EFileSystemType::Ext2 : r.type));
  }
  // The numbers themselves: partition kind 2 (Ext2) is search kind 3, 3 (RAW) is 2.
  ECompleteSearchKind s;
  ASSERT_TRUE(ToCompleteSearchKind(static_cast<EPartitionKind>(2), s));
  EXPECT_EQ(static_cast<int>(s), 3);
  ASSERT_TRUE(ToCompleteSearchKind(static_cast<EPartitionKind>(3), s));
  EXPECT_EQ(static_cast<int>(s), 2);
  EPartitionKind p;
  ETreeKind t;
  EXPECT_FALSE(ToPartitionKind(EFileSystemType::Unknown, p));
  EXPECT_FALSE(ToCompleteSearchKind(EPartitionKind::None, s));
  EXPECT_FALSE(ToTreeKind(EFileSystemType::Unknown, t));
}

TEST(FoundFileStore, OwnsRecordsAndFindsThemByStart) {
  CFoundFileStore store;
  EXPECT_TRUE(store.GetIterator()->IsDone());
  const uint64_t starts[] = {7, 65536 * 4096ull + 7, 65536};
  for (uint64_t s : starts) EXPECT_TRUE(store.AddFile(new CRawFileInfo(s, 10, "", 1, "jpg")));
  EXPECT_EQ(CFoundFileStore::BucketOf(starts[0]), CFoundFileStore::BucketOf(starts[1]));
  EXPECT_FALSE(store.AddFile(nullptr));
  CRawFileInfo* first = store.FindFile(65536);
  ASSERT_TRUE(first);
  EXPECT_FALSE(store.AddFile(first));
  EXPECT_EQ(store.GetFileCount(), 3u);
  EXPECT_EQ(store.FindFile(8), nullptr);
  EXPECT_EQ(store.FindFile(starts[1])->GetStartSector(), starts[1]);
  std::vector<uint64_t> order;
  IIterator<CRawFileInfo*>* it = store.GetIterator();
  for (it->First(); !it->IsDone(); it->Next()) order.push_back(it->CurrentItem()->GetStartSector());
  EXPECT_EQ(order, std::vector<uint64_t>(std::begin(starts), std::end(starts)));
}

TEST(ScanStatus, RecordLayout) {
  ScanStatusRecord r = ScanStatusRecord::Make(EScanStatusKind::Progress, 0x1122, 0x33);
  r.value3 = 0xAABBCCDD;
  const auto bytes = r.ToBytes();
  EXPECT_EQ(bytes.size(), 2080u);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[8], 0x22);
  EXPECT_EQ(bytes[9], 0x11);
  EXPECT_EQ(bytes[16], 0x33);
  EXPECT_EQ(bytes[24], 0xDD);
  EXPECT_EQ(bytes[28], 0);
  for (size_t i = 32; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0);
}

}  // namespace

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<std::function<void(IScanStream*)>> parts) {
  CMemoryScanStream s;
  for (const auto& part : parts) part(&s);
  return s.Bytes();
}

std::function<void(IScanStream*)> U8(uint8_t v) {
  return [v](IScanStream* s) { StreamWriteU8(s, v); };
}
std::function<void(IScanStream*)> U16(uint16_t v) {
  return [v](IScanStream* s) { StreamWriteU16(s, v); };
}
std::function<void(IScanStream*)> U32(uint32_t v) {
  return [v](IScanStream* s) { StreamWriteU32(s, v); };
}
std::function<void(IScanStream*)> U64(uint64_t v) {
  return [v](IScanStream* s) { StreamWriteU64(s, v); };
}
// Empty name, size, attributes, three times, deleted.
std::function<void(IScanStream*)> Common() {
  return [](IScanStream* s) {
    StreamWriteU16(s, 0);
    StreamWriteU64(s, 1);
    StreamWriteU16(s, 0);
    for (int i = 0; i < 3; ++i) StreamWriteU64(s, 0);
    StreamWriteU8(s, 0);
  };
}

TEST(SavedForms, DamagedFormsAreRefused) {
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    std::function<bool(IScanStream*)> load;
  } cases[] = {
      {"NTFS: 2^63 extension records, none present", Bytes({Common(), U64(4000), U32(0), U64(1ull << 63)}),
       [](IScanStream* s) { return PropsPtr(LoadNTFSFileProperties(s)) != nullptr; }},
      {"NTFS: name length 65535, three bytes", Bytes({U16(0xFFFF), U8('a'), U8('b'), U8('c')}),
       [](IScanStream* s) { return PropsPtr(LoadNTFSFileProperties(s)) != nullptr; }},
      {"FAT: has-runs word neither 0 nor 1", Bytes({Common(), U32(5), U32(2), U32(7)}),
       [](IScanStream* s) { return PropsPtr(LoadFATFileProperties(s)) != nullptr; }},
      {"Ext2: packed runs of 4 GiB", Bytes({Common(), U32(1), U32(0xFFFFFFFF), U8(0x11)}),
       [](IScanStream* s) { return PropsPtr(LoadExt2FileProperties(s)) != nullptr; }},
      {"RAW: name length 255, three bytes", Bytes({U8(255), U8('a'), U8('b'), U8('c')}),
       [](IScanStream* s) { return PropsPtr(LoadRAWFileProperties(s)) != nullptr; }},
      {"RAW: runs missing", Bytes({U8(0), U8(0), U64(1), U16(0), U8(0), U32(1), U8(0), U64(0), U64(0)}),
       [](IScanStream* s) { return PropsPtr(LoadRAWFileProperties(s)) != nullptr; }},
      {"file-system node: name of 4 GiB",
       Bytes({U64(1), U32(0), U32(0), U64(0), U64(0), U32(0), U32(0), U32(0), U32(0), U64(0), U32(8), U32(3),
              U32(0xFFFFFFFF), U8('x')}),
       [](IScanStream* s) { return CFileSystemNode().Load(s) != 0; }},
      {"run list: 4 billion runs, one present", Bytes({U32(0xFFFFFFFF), U64(1), U64(1)}),
       [](IScanStream* s) { return CFATDataRunList().Load(s); }},
      {"resident list: value missing", Bytes({U32(1), U64(4000), U64(1)}),
       [](IScanStream* s) { return CResidentNTFSDataRunList().Load(s); }},
  };
  for (const auto& c : cases) {
    CMemoryScanStream s(c.bytes.data(), c.bytes.size());
    EXPECT_FALSE(c.load(&s)) << c.what;
  }
}

}  // namespace
