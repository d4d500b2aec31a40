#include "CFatCompleteSearch.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <unordered_set>

#include "ByteOrder.h"
#include "CClusterUseBitMap.h"
#include "CFATDBR.h"
#include "CFATDataRunList.h"
#include "CFATDirEntry.h"
#include "CFATFileProperties.h"
#include "CFATSearchedPartitionInfo.h"
#include "CFileNode.h"
#include "CFileSystemNode.h"
#include "CFoundFileStore.h"
#include "CScanOptions.h"
#include "IDirecotryTreeBuilder.h"
#include "IFATTable.h"
#include "IStorageDevice.h"
#include "RunLog.h"
#include "ScanEngineRegistry.h"
#include "ScanStreamIO.h"

namespace {

// The most bytes AnalyzeBlock reads at once.
constexpr uint64_t kMaxBlockBytes = 4u << 20;

struct TypeRange {
  int type;
  uint32_t nibbles;
  uint64_t minClusters;
  uint64_t maxClusters;
};
constexpr TypeRange kFAT12Range{CFATDBR::kTypeFAT12, 3, 1, 4084};
constexpr TypeRange kFAT16Range{CFATDBR::kTypeFAT16, 4, 4085, 0xFFF3};
constexpr TypeRange kFAT32Range{CFATDBR::kTypeFAT32, 8, 0xFFF4, 0x0FFFFFF3};

const TypeRange& RangeOf(int type) {
  return type == CFATDBR::kTypeFAT12 ? kFAT12Range : type == CFATDBR::kTypeFAT16 ? kFAT16Range : kFAT32Range;
}

bool InRange(const TypeRange& r, uint64_t clusters) {
  return clusters >= r.minClusters && clusters <= r.maxClusters;
}

uint64_t FATSectorsFor(const TypeRange& r, uint64_t clusters, uint32_t sectorSize) {
  const uint64_t perSector = 2ull * sectorSize;
  return (r.nibbles * clusters + perSector - 1) / perSector;
}

EFileSystemType FileSystemTypeOf(int fatType) {
  return fatType == CFATDBR::kTypeFAT12   ? EFileSystemType::FAT12
         : fatType == CFATDBR::kTypeFAT16 ? EFileSystemType::FAT16
                                          : EFileSystemType::FAT32;
}

int FatTypeOf(EFileSystemType type) {
  return type == EFileSystemType::FAT12   ? CFATDBR::kTypeFAT12
         : type == EFileSystemType::FAT16 ? CFATDBR::kTypeFAT16
                                          : CFATDBR::kTypeFAT32;
}

// The first bytes of a FAT12 FAT: media byte F8, then FF FF.
bool IsFAT12Head(const uint8_t* p) {
  return p[0] == 0xF8 && p[1] == 0xFF && p[2] == 0xFF;
}

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

CFATSearchedPartitionInfo* AsFatRecord(CSearchedPartitionInfo* p) {
  if (!p || p->GetSearchKind() != EPartitionKind::FAT) return nullptr;
  return static_cast<CFATSearchedPartitionInfo*>(p);
}

}  // namespace

// ---- the directory-cluster analyser ----

void CFatFolderAnalyzer::Analyze(const uint8_t* buffer, uint32_t length) {
  m_state = kNothing;
  m_validCount = 0;
  m_dotCluster = m_dotDotCluster = m_highestCluster = 0;
  m_length = length;
  int firstLongName = -1;
  bool dot = false, dotDot = false, error = false;
  bool havePrevious = false;
  uint32_t previous = 0;
  const uint32_t count = length / CFATDirEntry::kSize;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* raw = buffer + static_cast<size_t>(i) * CFATDirEntry::kSize;
    CFATDirEntry e(raw);
    if (!e.IsValid(1)) {
      const bool usableEnd = (m_validCount > 0 || (dot && dotDot)) && AllZero(raw, CFATDirEntry::kSize);
      if (!usableEnd) error = true;
      break;
    }
    if (e.IsLongNameEntry()) {
      if (firstLongName < 0) firstLongName = static_cast<int>(i);
      continue;
    }
    if (e.IsVolumeLabel()) firstLongName = -1;
    const uint32_t cluster = e.GetFirstCluster();
    m_highestCluster = std::max(m_highestCluster, cluster);
    if (i == 0 && IsDotEntry(e)) {
      m_dotCluster = cluster;
      dot = true;
      firstLongName = -1;
      continue;
    }
    if (i == 1 && dot && IsDotDotEntry(e)) {
      m_dotDotCluster = cluster;
      dotDot = true;
      firstLongName = -1;
      continue;
    }
    if (dotDot && cluster == m_dotDotCluster) firstLongName = -1;
    if (m_callback && m_nodes)
      m_callback->OnFolderEntry(*this, buffer, firstLongName, static_cast<int>(i), dot && dotDot, *m_nodes);
    firstLongName = -1;
    if (!e.IsDeleted()) {
      // Two live entries in a row on one cluster cannot both be right.
      // Empty files (cluster 0) share nothing.
      if (cluster != 0 && havePrevious && cluster == previous) {
        error = true;
        break;
      }
      previous = cluster;
      havePrevious = true;
    }
    ++m_validCount;
  }
  if (dot && dotDot) {
    m_state = kFirstCluster;
  } else if (m_validCount == 0 || error) {
    m_state = kNothing;
    m_validCount = 0;
    m_dotCluster = m_dotDotCluster = m_highestCluster = 0;
  } else {
    m_state = kEntries;
    m_dotCluster = m_dotDotCluster = 0;
  }
}

// ---- the search ----

CFatCompleteSearch::CFatCompleteSearch() = default;

CFatCompleteSearch::~CFatCompleteSearch() {
  DeletePendingNodes();
}

void CFatCompleteSearch::DeletePendingNodes() {
  for (CFileNode* n : m_pending) DeleteFileNode(n);
  m_pending.clear();
}

void CFatCompleteSearch::SetDevice(IStorageDevice* device) {
  m_device = device;
  const int size = device ? device->GetSectorSize() : 0;
  m_sectorSize = size >= 512 ? static_cast<uint32_t>(size) : 512;
}

void CFatCompleteSearch::StartSearch() {
  if (m_started) return;
  m_started = true;
  CFileSystemNode* root = CreateFileSystemNode();
  root->SetName("FAT32");
  root->SetFileSystemType(EFileSystemType::FAT32);
  root->SetId(0);
  CFATFileProperties* props = CreateFATFileProperties();
  props->SetName("FAT32");
  props->SetAttributes(static_cast<uint16_t>(props->GetAttributes() | kFileAttributeDirectory));
  props->SetFirstCluster(0);
  root->SetProperties(props);
  if (m_builder && m_builder->AddFileSystemNode(root)) {
    m_fsRoot = root;
  } else {
    DeleteFileNode(root);
  }
}

void CFatCompleteSearch::AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) {
  if (!m_device || sectorCount == 0) return;
  const uint64_t ss = m_sectorSize;
  const uint64_t perPiece = std::max<uint64_t>(1, kMaxBlockBytes / ss);
  for (uint64_t done = 0; done < sectorCount;) {
    const uint64_t n = std::min(perPiece, sectorCount - done);
    const uint64_t first = firstSector + done;
    // The read-ahead block is looked at where it lies; otherwise it is read.
    const uint8_t* bytes = m_device->PeekSectors(first, n);
    if (!bytes) {
      m_block.resize(static_cast<size_t>(n * ss));
      if (!m_device->ReadSectors(m_block.data(), first, n)) {
        // Sector by sector; a sector that does not read stays zero.
        for (uint64_t i = 0; i < n; ++i) {
          uint8_t* at = m_block.data() + i * ss;
          if (!m_device->ReadSectors(at, first + i, 1)) std::memset(at, 0, static_cast<size_t>(ss));
        }
      }
      bytes = m_block.data();
    }
    for (uint64_t i = 0; i < n; ++i) AnalyzeSector(first + i, bytes + i * ss);
    done += n;
  }
}

void CFatCompleteSearch::AnalyzeSector(uint64_t s, const uint8_t* p) {
  if (ReadLE32(p) == 0) return;
  if (CFATDBR::HasBootSignature(p) && GetScanOptions()->analyseBootSectors) {
    CFATDBR view(p, static_cast<int>(m_sectorSize));
    view.AcceptFAT12();
    if (view.IsValid()) {
      HandleBootSector(s, p);
      ReleaseTrace("Found a valid DBR at sector:%" PRId64, static_cast<int64_t>(s));
      return;
    }
  }
  int fatType = 0;
  if (DetectFATTypeFromFAT(p, fatType) || (IsFAT12Head(p) && m_fatStarts.count(s))) {
    HandleFATSector(s);
    return;
  }
  std::vector<CFileNode*> nodes;
  CFatFolderAnalyzer analyzer(this, &nodes);
  analyzer.Analyze(p, m_sectorSize);
  const int state = analyzer.GetState();
  if (state == CFatFolderAnalyzer::kNothing) {
    for (CFileNode* n : nodes) DeleteFileNode(n);
    m_dotDot = -1;
    return;
  }
  if (state == CFatFolderAnalyzer::kFirstCluster) {
    if (m_dotDot == -1) m_dotDot = analyzer.GetDotDotCluster();
    ReleaseTrace("Found a valid first dir entry at sector:%" PRId64, static_cast<int64_t>(s));
    HandleDirectoryStart(s, analyzer.GetDotCluster());
    m_dirStarts.push_back(
        {s, static_cast<int32_t>(analyzer.GetDotCluster()), static_cast<int32_t>(analyzer.GetDotDotCluster())});
  } else {
    m_dirStarts.push_back({s, -1, -1});
  }
  for (CFileNode* n : nodes) n->SetPosition(s);
  HandNodes(nodes);
  // The names and first clusters of the files, for the carved-file count.
  const uint32_t count = m_sectorSize / CFATDirEntry::kSize;
  for (uint32_t i = 0; i < count; ++i) {
    CFATDirEntry e(p + static_cast<size_t>(i) * CFATDirEntry::kSize);
    if (!e.IsValid(1)) break;
    if (e.IsLongNameEntry() || e.IsDirectory() || e.IsVolumeLabel()) continue;
    const uint32_t cluster = e.GetFirstCluster();
    if (cluster < 2) continue;
    std::string name;
    e.GetShortName(name, 0);
    m_evidence.AddNarrowName(name.c_str(), name.size(), static_cast<int64_t>(cluster) - 2, static_cast<int64_t>(s));
  }
}

void CFatCompleteSearch::HandNodes(std::vector<CFileNode*>& nodes) {
  for (CFileNode* n : nodes) {
    if (!m_handNodes || !m_builder || !n->GetProperties()) {
      DeleteFileNode(n);
      continue;
    }
    int error = 0;
    const int taken =
        m_current ? m_builder->AddPartitionNode(n, m_current) : m_builder->AddNode(n, ETreeKind::FAT, error);
    if (!taken) {
      m_handNodes = false;
      DeleteFileNode(n);
    }
  }
  nodes.clear();
}

void CFatCompleteSearch::OnFolderEntry(CFatFolderAnalyzer& analyzer, const uint8_t* entries, int firstLongName,
                                       int index, bool bothDots, std::vector<CFileNode*>& nodes) {
  const uint8_t* raw = entries + static_cast<size_t>(index) * CFATDirEntry::kSize;
  CFATDirEntry e(raw);
  if (e.IsVolumeLabel()) {
    m_dotDot = e.GetFirstCluster();
    return;
  }
  const int from = firstLongName >= 0 && firstLongName < index ? firstLongName : index;
  CFATFileProperties* props =
      CreateFATFilePropertiesFromEntries(entries + static_cast<size_t>(from) * CFATDirEntry::kSize,
                                         static_cast<size_t>(index - from + 1) * CFATDirEntry::kSize);
  if (!props) return;
  const uint32_t cluster = e.GetFirstCluster();
  const uint32_t parent =
      bothDots && analyzer.GetDotCluster() != 0 ? analyzer.GetDotCluster() : CFatCompleteSearchWorker::kNoCluster;
  props->SetFirstCluster(cluster);
  props->SetParentCluster(parent);
  CFileNode* node = CreateFileNode();
  node->SetProperties(props);
  node->SetParentId(m_dotDot != -1 && !bothDots ? m_dotDot : static_cast<int64_t>(parent));
  node->SetId(cluster);
  nodes.push_back(node);
}

void CFatCompleteSearch::HandleBootSector(uint64_t s, const uint8_t* p) {
  if (CFATSearchedPartitionInfo* main = CreatePartitionFromDBR(s, p, false)) Insert(main, true);
  CFATDBR view(p, static_cast<int>(m_sectorSize));
  if (view.GetFATType() != CFATDBR::kTypeFAT32 || s < 6) return;
  // The same sector read as the backup copy, six sectors into its volume.
  CFATSearchedPartitionInfo* backup = CreatePartitionFromDBR(s - 6, p, true);
  if (!backup) return;
  if (CFATSearchedPartitionInfo* known = FindRecord(backup->GetClusterStartSector(), backup->GetSectorsPerCluster())) {
    known->AddFlags(kFlagFAT32Backup);
    delete backup;
    return;
  }
  Insert(backup, true);
}

CFATSearchedPartitionInfo* CFatCompleteSearch::CreatePartitionFromDBR(uint64_t start, const uint8_t* bootSector,
                                                                      bool backup) {
  if (!m_device || !bootSector) return nullptr;
  CFATDBR view(bootSector, static_cast<int>(m_sectorSize));
  view.AcceptFAT12();
  if (!view.IsValid()) return nullptr;
  const uint64_t deviceSectors = m_device->GetSectorCount();
  if (start >= deviceSectors) return nullptr;
  const uint64_t size = std::min<uint64_t>(view.GetTotalSectors(), deviceSectors - start);
  const int type = view.GetFATType();
  const TypeRange& range = RangeOf(type);
  const uint64_t reserved = view.GetReservedSectors();
  const uint64_t fatSize = view.GetFATSize();
  const uint64_t spc = view.GetSectorsPerCluster();
  uint64_t dataStart = start + reserved + static_cast<uint64_t>(view.GetFATCount()) * fatSize;
  uint32_t rootInfo = 0;
  uint32_t flag = 0;
  if (type == CFATDBR::kTypeFAT32) {
    rootInfo = view.GetRootCluster();
    flag = backup ? kFlagFAT32Backup : kFlagFAT32Boot;
  } else {
    const uint64_t rootSectors = static_cast<uint64_t>(view.GetRootEntryCount()) * 32 / m_sectorSize;
    dataStart += rootSectors;
    rootInfo = static_cast<uint32_t>(rootSectors);
    flag = backup ? 0 : (type == CFATDBR::kTypeFAT12 ? kFlagFAT12Boot : kFlagFAT16Boot);
  }
  if (spc == 0 || dataStart >= start + size) return nullptr;
  const uint64_t clusters = (start + size - dataStart) / spc;
  if (!InRange(range, clusters) || fatSize < FATSectorsFor(range, clusters, m_sectorSize)) return nullptr;
  if (type == CFATDBR::kTypeFAT32 && clusters < rootInfo) return nullptr;
  auto* r = new CFATSearchedPartitionInfo(static_cast<int>(m_sectorSize));
  r->SetType(FileSystemTypeOf(type));
  r->SetSectorsPerCluster(static_cast<uint32_t>(spc));
  r->SetClusterStartSector(dataStart);
  r->SetStartSector(start);
  r->SetSectorCount(size);
  r->SetFATSize(static_cast<uint32_t>(fatSize));
  r->SetClusterCount(static_cast<uint32_t>(clusters));
  r->SetReservedSectors(static_cast<uint16_t>(reserved));
  r->SetRootInfo(rootInfo);
  r->AddFlags(flag);
  r->SetOwner(this);
  return r;
}

CFATSearchedPartitionInfo* CFatCompleteSearch::CreatePartitionFromDirEntry(uint64_t s, uint32_t c, uint32_t k) {
  if (!m_device || c < 2 || k == 0) return nullptr;
  const uint64_t offset = static_cast<uint64_t>(k) * (c - 2);
  if (offset > s) return nullptr;
  const uint64_t dataStart = s - offset;
  const uint64_t deviceSectors = m_device->GetSectorCount();
  if (dataStart >= deviceSectors) return nullptr;
  const TypeRange* fit = nullptr;
  uint64_t clusters = 0, fatSize = 0;
  for (const TypeRange* r : {&kFAT32Range, &kFAT16Range, &kFAT12Range}) {
    uint64_t n = (deviceSectors - dataStart) / k;
    if (!InRange(*r, n)) continue;
    uint64_t fat = FATSectorsFor(*r, n, m_sectorSize);
    if (dataStart / 2 < fat) {
      // The FATs must fit before the data: fewer clusters.
      n = 2ull * m_sectorSize * (dataStart / 2) / r->nibbles;
      if (!InRange(*r, n)) continue;
      fat = FATSectorsFor(*r, n, m_sectorSize);
    }
    fit = r;
    clusters = n;
    fatSize = fat;
    break;
  }
  if (!fit || 2 * fatSize + 1 > dataStart) return nullptr;
  uint64_t start = dataStart - 2 * fatSize - 1;
  uint64_t rootSectors = 0;
  uint32_t rootInfo = 2;
  if (fit->type != CFATDBR::kTypeFAT32) {
    rootSectors = std::min<uint64_t>(start, 16384 / m_sectorSize);
    start -= rootSectors;
    rootInfo = static_cast<uint32_t>(rootSectors);
  }
  auto* r = new CFATSearchedPartitionInfo(static_cast<int>(m_sectorSize));
  r->SetType(FileSystemTypeOf(fit->type));
  r->SetSectorsPerCluster(k);
  r->SetClusterStartSector(dataStart);
  r->SetStartSector(start);
  r->SetSectorCount(k * clusters + rootSectors + 1 + 2 * fatSize);
  r->SetFATSize(static_cast<uint32_t>(fatSize));
  r->SetClusterCount(static_cast<uint32_t>(clusters));
  r->SetReservedSectors(1);
  r->SetRootInfo(rootInfo);
  r->AddFlags(kFlagInferred);
  r->SetOwner(this);
  return r;
}

bool CFatCompleteSearch::Insert(CFATSearchedPartitionInfo* record, bool mapFATs) {
  if (m_partitions.size() >= m_partitionCap) {
    ++m_droppedPartitions;
    delete record;
    return false;
  }
  m_partitions.emplace(record->GetClusterStartSector(), std::unique_ptr<CFATSearchedPartitionInfo>(record));
  if (mapFATs) {
    const uint64_t fat = record->GetStartSector() + record->GetReservedSectors();
    m_fatStarts.emplace(fat, record);
    m_fatStarts.emplace(fat + record->GetFATSize(), record);
  }
  return true;
}

CFATSearchedPartitionInfo* CFatCompleteSearch::FindRecord(uint64_t dataStart, uint32_t spc) const {
  auto range = m_partitions.equal_range(dataStart);
  for (auto it = range.first; it != range.second; ++it)
    if (it->second->GetSectorsPerCluster() == spc) return it->second.get();
  return nullptr;
}

void CFatCompleteSearch::HandleFATSector(uint64_t s) {
  auto range = m_fatStarts.equal_range(s);
  if (range.first == range.second) return;
  const CScanOptions& options = *GetScanOptions();
  for (auto it = range.first; it != range.second; ++it) {
    CFATSearchedPartitionInfo* r = it->second;
    const uint64_t primary = r->GetStartSector() + r->GetReservedSectors();
    if (s == primary) r->AddFlags(kFlagPrimaryFATSeen | (options.fatEntryChecks[3] ? kFlagLoadPrimary : 0));
    if (s == primary + r->GetFATSize())
      r->AddFlags(kFlagSecondaryFATSeen | (options.fatEntryChecks[4] ? kFlagLoadSecondary : 0));
  }
  m_fatStarts.erase(range.first, range.second);
}

void CFatCompleteSearch::HandleDirectoryStart(uint64_t s, uint32_t c) {
  if (c < 2) return;
  static const uint32_t kClusterSizes[] = {1, 2, 4, 8, 16, 32, 64, 128};
  for (uint32_t k : kClusterSizes) {
    if (static_cast<uint64_t>(k) * (c - 2) > s) continue;
    if (CFATSearchedPartitionInfo* r = FindRecord(s - static_cast<uint64_t>(k) * (c - 2), k)) {
      r->AddFlags(kFlagInferred);
      r->AddRecordMatch(1);
      return;
    }
  }
  for (uint32_t k : kClusterSizes) {
    if (static_cast<uint64_t>(k) * (c - 2) > s) continue;
    if (CFATSearchedPartitionInfo* r = CreatePartitionFromDirEntry(s, c, k)) Insert(r, false);
  }
}

uint64_t CFatCompleteSearch::ScoreOf(const CFATSearchedPartitionInfo& r) {
  const uint32_t f = r.GetFlags();
  const bool primary = f & kFlagPrimaryFATSeen, secondary = f & kFlagSecondaryFATSeen;
  const uint64_t fatScore = primary && secondary ? 50 : (primary || secondary) ? 45 : 10;
  uint64_t bootScore = 10;
  if (r.GetType() == EFileSystemType::FAT32) {
    const bool main = f & kFlagFAT32Boot, backup = f & kFlagFAT32Backup;
    bootScore = main && backup ? 50 : (main || backup) ? 45 : 10;
  } else if (f & (kFlagFAT12Boot | kFlagFAT16Boot)) {
    bootScore = 50;
  }
  return fatScore + bootScore;
}

void CFatCompleteSearch::NoteDroppedPartitions() {
  if (m_droppedPartitions <= m_notedDropped || !m_builder) return;
  m_builder->NoteCap(kPartitionCapName, m_droppedPartitions - m_notedDropped);
  m_notedDropped = m_droppedPartitions;
}

void CFatCompleteSearch::GetPartitions(std::vector<CSearchedPartitionInfo*>& out) {
  NoteDroppedPartitions();
  for (auto& [dataStart, record] : m_partitions) {
    CFATSearchedPartitionInfo* r = record.get();
    const bool fatSeen = r->GetFlags() & (kFlagPrimaryFATSeen | kFlagSecondaryFATSeen);
    if (r->GetRecordMatchCount() == 0 && (!r->FoundByBootSector() || !fatSeen)) continue;
    r->SetPoints(ScoreOf(*r));
    r->SetOwner(this);
    if (m_finished && m_store) m_evidence.CountRawMatches(m_store, r);
    out.push_back(r);
  }
  if (m_finished) {
    // Counted once: a second call finds the same records with the same counts.
    m_evidence.Clear();
    m_fatStarts.clear();
  }
}

CFileNode* CFatCompleteSearch::SelectRootNode(CSearchedPartitionInfo* partition) {
  m_selectedRoot = m_builder && partition ? m_builder->GetPartitionRoot(partition) : nullptr;
  return m_selectedRoot;
}

void CFatCompleteSearch::BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) {
  if (partitions.empty()) return;
  DeletePendingNodes();
  CFATSearchedPartitionInfo* r = AsFatRecord(partitions.front());
  if (!r || !m_device) return;
  m_current = r;
  SelectRootNode(r);
  const int type = FatTypeOf(r->GetType());
  const uint32_t flags = r->GetFlags();
  std::unique_ptr<CDoubleFATTable> fat(CreateFATTable(m_device, r->GetStartSector() + r->GetReservedSectors(), type,
                                                      r->GetFATSize(), flags & kFlagLoadPrimary,
                                                      flags & kFlagLoadSecondary, r->GetClusterCount()));
  FatRebuildGeometry g;
  g.fatType = type;
  g.partitionStart = r->GetStartSector();
  g.sectorsPerCluster = r->GetSectorsPerCluster();
  g.dataStart = r->GetClusterStartSector();
  g.partitionSize = r->GetSectorCount();
  g.rebuildRoot = r->FoundByBootSector();
  if (g.rebuildRoot) {
    if (type == CFATDBR::kTypeFAT32) {
      g.rootCluster = r->GetRootInfo();
    } else {
      g.rootDirSectors = r->GetRootInfo();
      g.rootStart = r->GetStartSector() + r->GetReservedSectors() + 2ull * r->GetFATSize();
    }
  }
  CFatCompleteSearchWorker worker(m_device, fat.get(), g);
  worker.SetRawAnalysers(GetRawAnalyserFullList());
  worker.SetStopFlag(&GetScanOptions()->stopFatWalks);
  CFileSystemNode* root = worker.Run(m_dirStarts);
  m_clusterUse = worker.GetClusterUseBits();
  std::vector<CFileNode*> nodes = worker.TakeNodes();
  // What hangs below the root goes to the builder with it; the rest is ours
  // to free.
  std::unordered_set<CFileNode*> reachable;
  reachable.reserve(nodes.size());
  if (root) {
    std::vector<CFileNode*> stack{root};
    while (!stack.empty()) {
      CFileNode* n = stack.back();
      stack.pop_back();
      if (!reachable.insert(n).second) continue;
      for (CFileNode* c = n->GetFirstChild(); c; c = c->GetNextSibling()) stack.push_back(c);
    }
  }
  const bool taken = root && m_builder && m_builder->SetPartitionRoot(root, r);
  if (!taken) {
    for (CFileNode* n : nodes) DeleteFileNode(n);
    return;
  }
  for (CFileNode* n : nodes)
    if (!reachable.count(n)) DeleteFileNode(n);
}

void CFatCompleteSearch::BuildLostFiles(std::vector<CSearchedPartitionInfo*>& partitions) {
  if (partitions.empty() || !m_store || !m_builder || m_store->GetFileCount() == 0) return;
  CFATSearchedPartitionInfo* r = AsFatRecord(partitions.front());
  if (!r || !SelectRootNode(r)) return;
  const uint64_t spc = r->GetSectorsPerCluster();
  const uint64_t end = r->GetStartSector() + r->GetSectorCount();
  ClusterUseBitMapInfo info;
  info.bits = &m_clusterUse;
  info.firstSector = r->GetClusterStartSector();
  info.sectorsPerCluster = static_cast<uint32_t>(spc);
  info.clusterCount = spc && end > info.firstSector ? (end - info.firstSector) / spc : 0;
  CClusterUseBitMap map(info);
  PlaceRawFiles(m_device, m_store, m_builder, r, &map);
}

int CFatCompleteSearch::LoadNodeDataRuns(CFileNode* node, CSearchedPartitionInfo* partition) {
  if (m_finished || !node || !partition) return 1;
  auto* props = dynamic_cast<CFATFileProperties*>(node->GetProperties());
  if (!props || (props->GetAttributes() & kFileAttributeDirectory) || props->GetFileSize() <= 0 || node->GetId() < 2)
    return 1;
  const uint64_t bytesPerCluster =
      static_cast<uint64_t>(partition->GetSectorsPerCluster()) * partition->GetBytesPerSector();
  if (bytesPerCluster == 0) return 1;
  auto* list = new CFATDataRunList;
  const uint64_t size = static_cast<uint64_t>(props->GetFileSize());
  list->AppendMerged(DataRun{static_cast<uint64_t>(node->GetId()) - 2, (size + bytesPerCluster - 1) / bytesPerCluster});
  props->SetDataRunList(list);
  return 1;
}

void CFatCompleteSearch::SaveSearchState(IScanStream* stream) {
  if (!stream) return;
  if (!StreamWriteU32(stream, static_cast<uint32_t>(m_dirStarts.size()))) return;
  for (const FatDirectoryStart& d : m_dirStarts) {
    if (!StreamWriteU64(stream, d.sector) || !StreamWriteU32(stream, static_cast<uint32_t>(d.dotCluster)) ||
        !StreamWriteU32(stream, static_cast<uint32_t>(d.dotDotCluster)))
      return;
  }
}

void CFatCompleteSearch::LoadSearchState(IScanStream* stream) {
  m_dirStarts.clear();
  uint32_t count = 0;
  if (!stream || !StreamReadU32(stream, count)) return;
  for (uint32_t i = 0; i < count; ++i) {
    FatDirectoryStart d;
    uint32_t dot = 0, dotDot = 0;
    if (!StreamReadU64(stream, d.sector) || !StreamReadU32(stream, dot) || !StreamReadU32(stream, dotDot)) break;
    d.dotCluster = static_cast<int32_t>(dot);
    d.dotDotCluster = static_cast<int32_t>(dotDot);
    m_dirStarts.push_back(d);
  }
  std::stable_sort(m_dirStarts.begin(), m_dirStarts.end(),
                   [](const FatDirectoryStart& a, const FatDirectoryStart& b) { return a.sector < b.sector; });
}

ICompleteFileSystemSearchController* CreateFatCompleteSearch() {
  return new CFatCompleteSearch;
}

void RegisterFatCompleteSearch() {
  RegisterCompleteSearch(ECompleteSearchKind::FAT, [] { return CreateFatCompleteSearch(); });
}
