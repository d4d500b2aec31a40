// Tree building for the partitions the NTFS complete search found: the FILE
// records found in the partition are read again, turned into nodes and
// linked into folders by their parent record numbers from the root folder
// (record 5); folders then adopt what is still unlinked and the rest goes to
// "Other lost files". Afterwards the carved files are placed in the clusters
// that no file of the tree uses.
#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <unordered_set>

#include "CClusterUseBitMap.h"
#include "CFileNode.h"
#include "CFileSystemNode.h"
#include "CFoundFileStore.h"
#include "CNTFSFileProperties.h"
#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "CNTFSLogFileAnalyzer.h"
#include "CNTFSNodeFactory.h"
#include "CNTFSSearchController.h"
#include "CNTFSVolumeNameReader.h"
#include "CNodeTree.h"
#include "CPartitionVirtualVolumeDevice.h"
#include "CScanOptions.h"
#include "IDataRunList.h"
#include "IDirecotryTreeBuilder.h"
#include "INodeFilter.h"
#include "IStorageDevice.h"
#include "NTFSIndexRecord.h"
#include "NTFSRecordNumber.h"
#include "NTFSRecordRuns.h"
#include "NTFSSystemFiles.h"
#include "RecycleBinNames.h"
#include "RunLog.h"
#include "ScanEngineRegistry.h"
#include "Utf16.h"

namespace {

constexpr uint64_t kChunkSectors = 128;
// Record ranges are served from reads of up to this many sectors: the runs
// go forward through the $MFT, so the next ranges lie in the same read.
constexpr uint64_t kAheadSectors = 2048;
constexpr uint16_t kDirectoryAttribute = 0x10;
constexpr int64_t kLastSystemRecord = 24;

bool IsFolderNode(const CFileNode* node) {
  const IFileProperties* p = node->GetProperties();
  return p && (p->GetAttributes() & kDirectoryAttribute) != 0;
}

bool IsAncestorOf(const CFileNode* candidate, const CFileNode* node) {
  for (const CFileNode* n = node; n; n = n->GetParent())
    if (n == candidate) return true;
  return false;
}

// The $MFT belongs to the partition: it sits on its cluster grid at the LCN
// of its own VCN 0 and its runs end inside it.
bool MFTBelongsTo(const CNTFSMFTRecordInfo& mft, uint64_t start, uint32_t k, uint64_t sectors) {
  if (mft.GetSector() < 0 || k == 0) return false;
  const int64_t first = mft.GetFirstLCN();
  if (first < 0 || !IsClusterAligned(static_cast<uint64_t>(mft.GetSector()), static_cast<uint64_t>(first), start, k))
    return false;
  uint64_t highest = 0;
  for (const NTFSRun& run : mft.GetRunList()) {
    if (run.firstLCN == kNTFSSparseLCN || run.length == 0) continue;
    uint64_t last = 0;
    if (__builtin_add_overflow(run.firstLCN, run.length - 1, &last) || __builtin_mul_overflow(last, uint64_t(k), &last))
      return false;
    highest = std::max(highest, last);
  }
  return highest < sectors;
}

}  // namespace

// The label of the volume whose $MFT starts at `mftSector`: the $Volume
// record (record 3) read at the record size `recordSize`.
bool ReadVolumeLabelAtMFT(int64_t mftSector, IStorageDevice* device, char* out, int recordSize) {
  if (mftSector < 0 || !device || recordSize < kNTFSMinRecordLength || recordSize > kNTFSMaxRecordLength) return false;
  const int sectorSize = device->GetSectorSize();
  if (sectorSize <= 0) return false;
  const uint32_t perRecord = SectorsPerRecord(static_cast<uint32_t>(recordSize), static_cast<uint32_t>(sectorSize));
  const uint64_t sector = static_cast<uint64_t>(mftSector) + 3ull * perRecord;
  if (sector + perRecord > device->GetSectorCount()) return false;
  std::vector<uint8_t> buffer(size_t(perRecord) * sectorSize, 0);
  if (!device->ReadSectors(buffer.data(), sector, perRecord)) return false;
  if (!IsVolumeRecord(buffer.data(), recordSize)) return false;
  GetVolumeNameFromRecord(buffer.data(), out, recordSize);
  return true;
}

namespace {

// One build of one partition's tree.
class CNTFSPartitionTreeBuild {
 public:
  CNTFSPartitionTreeBuild(IStorageDevice* device, IDirecotryTreeBuilder* builder, CNTFSNodeFactory* factory,
                          const volatile int* cancel)
      : m_device(device), m_builder(builder), m_factory(factory), m_cancel(cancel) {}
  ~CNTFSPartitionTreeBuild() {
    for (CFileNode* n : m_nodes) CNodeTree::DestroySubtree(n);
    for (CFileNode* n : m_pruned) DeleteFileNode(n);
  }

  CFileNode* Run(NTFSSystemRecordLists& lists, const std::list<NTFSRecordRun>& runs, CSearchedNTFSPartitionInfo& p,
                 int index);

 private:
  bool Cancelled() const { return m_cancel && *m_cancel; }
  void OpenLogFiles(NTFSSystemRecordLists& lists);
  void ScanRecordRuns(const std::list<NTFSRecordRun>& runs);
  void ScanRecordRange(uint64_t first, uint64_t count);
  // The bytes of `count` sectors at `first` from the read-ahead (read anew
  // when they lie outside it); null when that read fails.
  const uint8_t* ReadAhead(uint64_t first, uint64_t count);
  void OfferRecord(const uint8_t* bytes, int length, uint64_t sector);
  // Nodes for the record's other names in other folders (hard links).
  void AddLinkNodes(const uint8_t* bytes, int length, uint64_t sector, const CNTFSMFTRecordInfo* group,
                    const CFileNode* node);
  CFileSystemNode* CreateRoot(int index, const char* label) const;
  void Link(CFileNode* root);
  void AdoptAndCollectLost(CFileNode* root);
  void PairRecycled(CFileNode* node);

  IStorageDevice* m_device;
  IDirecotryTreeBuilder* m_builder;
  CNTFSNodeFactory* m_factory;
  const volatile int* m_cancel;
  CSearchedNTFSPartitionInfo* m_partition = nullptr;
  uint64_t m_start = 0;
  uint32_t m_k = 0;
  uint64_t m_sectors = 0;
  std::vector<const CNTFSMFTRecordInfo*> m_groups;
  std::vector<CNTFSLogFileAnalyzer*> m_analyzers;
  std::unique_ptr<CPartitionVirtualVolumeDevice> m_window;
  std::vector<CFileNode*> m_nodes;  // made, not yet linked (owned)
  std::vector<CFileNode*> m_pruned;
  CRecyclePendingList m_recycle;
  std::unordered_set<uint64_t> m_offered;  // record sectors already read
  std::vector<uint8_t> m_chunk;            // the range ScanRecordRange reads
  std::vector<uint8_t> m_ahead;            // the read-ahead's bytes
  uint64_t m_aheadFirst = 0;
  uint64_t m_aheadCount = 0;
  uint64_t m_aheadFailedEnd = 0;  // no read-ahead before this sector (one failed)
};

void CNTFSPartitionTreeBuild::OpenLogFiles(NTFSSystemRecordLists& lists) {
  // The $LogFile is read through a window at the partition's start: its
  // runs count clusters from there.
  m_window = std::make_unique<CPartitionVirtualVolumeDevice>(m_device, m_start, m_sectors);
  m_window->Open();
  std::vector<CNTFSMFTRecordInfo*> belong;
  for (const auto& mft : lists.mfts)
    DebugTrace("NTFS tree: $MFT record at %lld, LCN %lld, k %u\n", static_cast<long long>(mft->GetSector()),
               static_cast<long long>(mft->GetFirstLCN()), mft->GetSectorsPerCluster());
  for (const auto& mft : lists.mfts)
    if (MFTBelongsTo(*mft, m_start, m_k, m_sectors)) belong.push_back(mft.get());
  if (belong.empty()) {
    // The $MFT's own first record is gone: the copy $MFTMirr keeps of it
    // names the same runs.
    for (const auto& mft : lists.mfts) {
      const uint64_t sector = static_cast<uint64_t>(mft->GetSector());
      if (mft->GetSector() < 0 || sector < m_start || sector - m_start >= m_sectors) continue;
      const int64_t first = mft->GetFirstLCN();
      if (first >= 0 && mft->GetSectorsPerCluster() == m_k && (sector - m_start) % m_k == 0) {
        // Its runs must still end inside the partition.
        uint64_t highest = 0;
        bool inside = true;
        for (const NTFSRun& run : mft->GetRunList()) {
          if (run.firstLCN == kNTFSSparseLCN || run.length == 0) continue;
          if (run.firstLCN + run.length > m_sectors / m_k) inside = false;
          highest = std::max(highest, run.firstLCN + run.length);
        }
        if (inside && highest > 0) belong.push_back(mft.get());
      }
    }
  }
  for (CNTFSMFTRecordInfo* mftRecord : belong) {
    auto* mft = mftRecord;
    m_groups.push_back(mft);
    CNTFSLogFileAnalyzer* analyzer = nullptr;
    for (auto& [info, a] : lists.analyzers)
      if (info == mft) analyzer = a.get();
    if (!analyzer) {
      lists.analyzers.emplace_back(mft, std::make_unique<CNTFSLogFileAnalyzer>());
      analyzer = lists.analyzers.back().second.get();
    }
    if (!analyzer->IsAnalyzed() && m_k <= 255 &&
        analyzer->Open(m_window.get(), mft->GetRunList(), static_cast<uint8_t>(m_k)))
      analyzer->Analyze();
    if (analyzer->IsAnalyzed()) m_analyzers.push_back(analyzer);
  }
}

void CNTFSPartitionTreeBuild::ScanRecordRuns(const std::list<NTFSRecordRun>& runs) {
  const uint64_t end = m_start + m_sectors;
  const uint64_t deviceSectors = m_device->GetSectorCount();
  // Records on the partition's cluster grid, in chunks of at most 128
  // sectors.
  uint64_t chunkStart = 0, chunkEnd = 0, scanned = m_start;
  bool open = false;
  auto flush = [&] {
    if (!open) return;
    const uint64_t last = std::min({chunkEnd, end, deviceSectors});
    if (last > chunkStart) ScanRecordRange(chunkStart, last - chunkStart);
    scanned = std::max(scanned, last);
    open = false;
  };
  for (const NTFSRecordRun& run : runs) {
    if (Cancelled()) return;
    if (run.count == 0 || run.spacing == 0) continue;
    // Only the part of the run inside the partition.
    uint64_t firstK = 0;
    if (run.firstSector < m_start) firstK = (m_start - run.firstSector + run.spacing - 1) / run.spacing;
    for (uint64_t k = firstK; k < run.count; ++k) {
      const uint64_t sector = run.SectorOf(k);
      if (sector >= end) break;
      if ((sector - m_start) % m_k != 0 && run.spacing >= m_k) continue;
      const uint64_t recordEnd = sector + run.spacing;
      // Sectors a chunk has read already are not read again.
      if (sector < scanned) continue;
      if (open && sector >= chunkStart && recordEnd <= chunkStart + kChunkSectors) {
        chunkEnd = std::max(chunkEnd, recordEnd);
        continue;
      }
      flush();
      chunkStart = sector;
      chunkEnd = recordEnd;
      open = true;
    }
  }
  flush();
}

void CNTFSPartitionTreeBuild::ScanRecordRange(uint64_t first, uint64_t count) {
  const int s = m_device->GetSectorSize();
  const uint8_t* bytes = ReadAhead(first, count);
  if (!bytes) {
    // The range on its own (one chunk buffer serves every range: count is
    // at most a chunk).
    std::vector<uint8_t>& buffer = m_chunk;
    if (buffer.size() < size_t(kChunkSectors) * s) buffer.assign(size_t(kChunkSectors) * s, 0);
    if (!m_device->ReadSectors(buffer.data(), first, count)) {
      // Sector by sector; what fails stays zero and holds no record.
      for (uint64_t i = 0; i < count; ++i)
        if (!m_device->ReadSectors(buffer.data() + i * s, first + i, 1)) std::memset(buffer.data() + i * s, 0, s);
    }
    bytes = buffer.data();
  }
  const uint32_t fallback = std::max<uint32_t>(kNTFSMinRecordLength, static_cast<uint32_t>(s));
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* p = bytes + i * s;
    if (!IsFileRecordHeader(p)) continue;
    const int available = static_cast<int>((count - i) * s);
    const int length = std::min(available, static_cast<int>(RecordSizeOf(p, available, fallback)));
    if (length < kNTFSMinRecordLength || !IsValidFileRecord(p, length)) continue;
    OfferRecord(p, length, first + i);
  }
}

const uint8_t* CNTFSPartitionTreeBuild::ReadAhead(uint64_t first, uint64_t count) {
  const uint64_t s = static_cast<uint64_t>(m_device->GetSectorSize());
  if (m_aheadCount > 0 && first >= m_aheadFirst && first - m_aheadFirst <= m_aheadCount &&
      count <= m_aheadCount - (first - m_aheadFirst))
    return m_ahead.data() + (first - m_aheadFirst) * s;
  m_aheadCount = 0;
  // After a failed read-ahead (a bad sector somewhere in it) its ranges are
  // read on their own, sector by sector where they fail.
  if (first < m_aheadFailedEnd) return nullptr;
  const uint64_t end = std::min(m_start + m_sectors, m_device->GetSectorCount());
  if (first >= end || end - first < count) return nullptr;
  const uint64_t n = std::min(kAheadSectors, end - first);
  if (m_ahead.size() < n * s) m_ahead.resize(kAheadSectors * s);
  if (!m_device->ReadSectors(m_ahead.data(), first, n)) {
    m_aheadFailedEnd = first + n;
    return nullptr;
  }
  m_aheadFirst = first;
  m_aheadCount = n;
  return m_ahead.data();
}

void CNTFSPartitionTreeBuild::OfferRecord(const uint8_t* bytes, int length, uint64_t sector) {
  if (!m_offered.insert(sector).second) return;
  {
    CNTFSFileRecord view(bytes, length, false);
    if (!view.IsValid() || view.IsExtensionRecord()) return;
  }
  const CNTFSMFTRecordInfo* group = nullptr;
  const uint64_t cluster = (sector - m_start) / m_k;
  for (const CNTFSMFTRecordInfo* mft : m_groups)
    if (mft->GetRunList().ContainsLCN(cluster)) group = mft;
  if (m_partition->GetGroupOnlySwitch() && !group) return;
  // The switches hold the options once the candidate's $MFT was placed;
  // without a placed $MFT (its first record lost) the options still say
  // whether records take their numbers and attribute lists from it.
  const bool placed = m_partition->GetMFTSector() != CSearchedNTFSPartitionInfo::kUnknown;
  const uint32_t mftGroup =
      placed ? m_partition->GetMFTGroupSwitch() : static_cast<uint32_t>(GetScanOptions()->ntfsOptions[1]);
  if (!mftGroup) group = nullptr;
  CFileNode* node = m_factory->CreateFileNodeFromRecord(bytes, length, sector, m_partition, group);
  if (!node) return;
  INodeFilter* filter = m_builder ? m_builder->GetNodeFilter() : nullptr;
  if (filter && !filter->Accept(node)) {
    DeleteFileNode(node);
    return;
  }
  IFileProperties* properties = node->GetProperties();
  if (properties && !IsFolderNode(node) && properties->GetFileSize() == 0) {
    auto* ntfs = dynamic_cast<CNTFSFileProperties*>(properties);
    for (CNTFSLogFileAnalyzer* a : m_analyzers)
      if (a->MatchFileRecords(bytes, properties, node->GetParentId(), ntfs ? ntfs->GetRecordList() : nullptr)) break;
  }
  m_nodes.push_back(node);
  AddLinkNodes(bytes, length, sector, group, node);
}

void CNTFSPartitionTreeBuild::AddLinkNodes(const uint8_t* bytes, int length, uint64_t sector,
                                           const CNTFSMFTRecordInfo* group, const CFileNode* node) {
  constexpr uint8_t kDosNamespace = 2;
  CNTFSFileRecord view(bytes, length, true);
  if (!view.IsValid() || !node->GetProperties()) return;
  const std::string taken = node->GetProperties()->GetName() ? node->GetProperties()->GetName() : "";
  std::vector<std::pair<int64_t, std::string>> seen{{node->GetParentId(), taken}};
  for (int ordinal = 0; ordinal < 16; ++ordinal) {
    const uint8_t* header = view.FindAttribute(CNTFSFileRecordAttribute::kFileName, ordinal);
    if (!header) break;
    const uint8_t* value = CNTFSFileRecordAttribute::GetValue(header);
    const uint32_t valueLength = CNTFSFileRecordAttribute::GetValueLength(header);
    if (!value || valueLength < 66) continue;
    const uint8_t characters = value[64];
    if (value[65] == kDosNamespace || valueLength < 66u + 2u * characters || characters == 0) continue;
    int64_t parent = 0;
    for (int i = 0; i < 6; ++i) parent |= int64_t(value[i]) << (8 * i);
    std::u16string name;
    for (int i = 0; i < characters; ++i)
      name.push_back(static_cast<char16_t>(value[66 + 2 * i] | (value[67 + 2 * i] << 8)));
    const std::string utf8 = Utf16ToUtf8(name);
    bool known = false;
    for (const auto& [p, n] : seen) known = known || (p == parent) || n == utf8;
    if (known) continue;
    seen.emplace_back(parent, utf8);
    CFileNode* link = m_factory->CreateFileNodeFromRecord(bytes, length, sector, m_partition, group);
    if (!link) return;
    link->GetProperties()->SetName(utf8.c_str());
    link->SetParentId(parent);
    m_nodes.push_back(link);
  }
}

CFileSystemNode* CNTFSPartitionTreeBuild::CreateRoot(int index, const char* label) const {
  std::string name = FormatPartitionDisplayName(GetScanOptions()->searchedVolume, "NTFS", index + 1);
  if (name.size() > 98) name.resize(98);
  return CreateNTFSRootNode(name.c_str(), label, m_start, m_k);
}

void CNTFSPartitionTreeBuild::PairRecycled(CFileNode* node) {
  CFileNode* partner = MatchRecyclePair(m_recycle, node);
  if (!partner) return;
  CFileNode* info = IsRecycleInfoFile(partner) ? partner : node;
  CFileNode* data = info == partner ? node : partner;
  RestoreRecycledName(m_device, data, info, m_start, m_k);
}

void CNTFSPartitionTreeBuild::Link(CFileNode* root) {
  // The nodes by parent record number, each parent's in the order they
  // were made; a parent's children are taken by the first folder of its
  // number the walk meets.
  using Entry = std::pair<int64_t, CFileNode*>;
  std::vector<Entry> byParent;
  byParent.reserve(m_nodes.size());
  for (CFileNode* n : m_nodes) byParent.emplace_back(n->GetParentId(), n);
  std::stable_sort(byParent.begin(), byParent.end(), [](const Entry& a, const Entry& b) { return a.first < b.first; });
  std::vector<char> taken(byParent.size(), 0);  // by the index of a parent's first entry
  std::unordered_set<CFileNode*> linked;
  linked.reserve(m_nodes.size());
  std::deque<CFileNode*> queue{root};
  while (!queue.empty() && !Cancelled()) {
    CFileNode* folder = queue.front();
    queue.pop_front();
    const int64_t r = folder->GetId();
    if (r < 0) continue;
    const bool recycle = folder != root && IsInRecycleBin(folder);
    auto it = std::lower_bound(byParent.begin(), byParent.end(), r,
                               [](const Entry& e, int64_t key) { return e.first < key; });
    if (it == byParent.end() || it->first != r || taken[it - byParent.begin()]) continue;
    taken[it - byParent.begin()] = 1;
    for (; it != byParent.end() && it->first == r; ++it) {
      CFileNode* child = it->second;
      if (child == folder || linked.count(child) || IsAncestorOf(child, folder)) continue;
      folder->AddChild(child);
      linked.insert(child);
      if (IsFolderNode(child)) queue.push_back(child);
      if (recycle) PairRecycled(child);
    }
  }
  std::vector<CFileNode*> rest;
  for (CFileNode* n : m_nodes)
    if (!linked.count(n)) rest.push_back(n);
  m_nodes.swap(rest);
}

void CNTFSPartitionTreeBuild::AdoptAndCollectLost(CFileNode* root) {
  // Folders that the walk from the root did not meet adopt their children.
  std::multimap<int64_t, CFileNode*> byParent;
  for (CFileNode* n : m_nodes) byParent.emplace(n->GetParentId(), n);
  for (CFileNode* folder : m_nodes) {
    if (Cancelled()) break;
    if (!IsFolderNode(folder) || folder->GetId() <= kLastSystemRecord) continue;
    auto range = byParent.equal_range(folder->GetId());
    for (auto it = range.first; it != range.second; ++it) {
      CFileNode* child = it->second;
      if (child == folder || child->GetParent() || IsAncestorOf(child, folder)) continue;
      folder->AddChild(child);
    }
  }
  CFileNode* lost = nullptr;
  std::vector<CFileNode*> left;
  // Metadata folders ($Extend's children and what they hold) are no lost
  // files: destroyed with everything they adopted, once the walk over the
  // nodes is done (what they adopted comes later in the list too).
  std::vector<CFileNode*> metadata;
  for (CFileNode* n : m_nodes) {
    if (n->GetParent()) continue;
    const IFileProperties* p = n->GetProperties();
    const char* name = p ? p->GetName() : nullptr;
    if (name && name[0] == '$') {
      metadata.push_back(n);
      continue;
    }
    if (!lost) {
      lost = CreateLostFilesFolder(EFileSystemType::NTFS);
      if (!lost) {
        left.push_back(n);
        continue;
      }
      if (IFileProperties* lp = lost->GetProperties()) lp->SetDeleted(8);
      root->AddChild(lost);
    }
    lost->AddChild(n);
  }
  m_nodes.swap(left);
  for (CFileNode* n : metadata) CNodeTree::DestroySubtree(n);
  if (lost) PruneEmptyResults(lost, m_pruned);
}

CFileNode* CNTFSPartitionTreeBuild::Run(NTFSSystemRecordLists& lists, const std::list<NTFSRecordRun>& runs,
                                        CSearchedNTFSPartitionInfo& p, int index) {
  m_partition = &p;
  m_start = p.GetStartSector();
  m_k = p.GetSectorsPerCluster();
  m_sectors = p.GetSectorCount();
  if (m_k == 0 || !m_device) return nullptr;
  OpenLogFiles(lists);
  ScanRecordRuns(runs);
  if (Cancelled()) return nullptr;
  const int sectorSize = m_device->GetSectorSize();
  char label[kNTFSVolumeNameBytes] = {};
  const int recordSize = std::max(kNTFSMinRecordLength, sectorSize);
  const bool hasLabel = ReadVolumeLabelAtMFT(static_cast<int64_t>(p.GetMFTSector()), m_device, label, recordSize);
  CFileSystemNode* root = CreateRoot(index, hasLabel ? label : nullptr);
  Link(root);
  if (!Cancelled()) AdoptAndCollectLost(root);
  for (auto& [info, a] : lists.analyzers) a->Reset();
  if (Cancelled()) {
    CNodeTree::DestroySubtree(root);
    return nullptr;
  }
  return root;
}

// Marks the clusters the tree's files use.
class ClusterUseMarker {
 public:
  ClusterUseMarker(std::vector<bool>& bits, uint64_t start, uint32_t k, uint32_t sectorSize, uint32_t recordSize)
      : m_bits(bits), m_start(start), m_k(k), m_sectorSize(sectorSize), m_recordSize(recordSize) {}

  void MarkCluster(uint64_t c) {
    if (c < m_bits.size()) m_bits[c] = true;
  }
  // The clusters a FILE record at `sector` covers.
  void MarkRecord(uint64_t sector) {
    if (sector < m_start) return;
    const uint64_t sectors = SectorsPerRecord(m_recordSize, m_sectorSize);
    for (uint64_t c = (sector - m_start) / m_k; c <= (sector + sectors - 1 - m_start) / m_k; ++c) MarkCluster(c);
  }
  // Run by run, cluster by cluster, while the file's bytes last.
  void MarkRuns(IDataRunList* list, int64_t size, uint64_t recordSector) {
    if (!list) return;
    if (list->IsResident()) {
      MarkRecord(recordSector);
      return;
    }
    const uint64_t clusterBytes = uint64_t(m_k) * m_sectorSize;
    uint64_t counted = 0;
    const uint64_t total = size > 0 ? static_cast<uint64_t>(size) : 0;
    for (const DataRun& run : list->Runs()) {
      if (run.IsSparse()) {
        counted += run.length * clusterBytes;
        continue;
      }
      for (uint64_t i = 0; i < run.length && counted < total; ++i, counted += clusterBytes) {
        if (run.start + i >= m_bits.size()) break;
        MarkCluster(run.start + i);
      }
      if (counted >= total) break;
    }
  }

 private:
  std::vector<bool>& m_bits;
  uint64_t m_start;
  uint32_t m_k;
  uint32_t m_sectorSize;
  uint32_t m_recordSize;
};

}  // namespace

void CNTFSSearchController::BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) {
  if (partitions.empty() || !m_device) return;
  auto* p = dynamic_cast<CSearchedNTFSPartitionInfo*>(partitions[0]);
  if (!p) return;
  SetNTFSEngineSectorSize(m_sectorSize);
  if (!m_factory) m_factory = std::make_unique<CNTFSNodeFactory>(m_device, m_builder);
  const int index = m_buildCount++;
  CNTFSPartitionTreeBuild build(m_device, m_builder, m_factory.get(), &m_cancel);
  CFileNode* root = build.Run(m_lists, m_runs, *p, index);
  if (!root) return;
  if (!m_builder || !m_builder->SetPartitionRoot(root, p)) CNodeTree::DestroySubtree(root);
}

void CNTFSSearchController::BuildLostFiles(std::vector<CSearchedPartitionInfo*>& partitions) {
  if (!m_builder || !m_device) return;
  for (CSearchedPartitionInfo* p : partitions) {
    CFileNode* root = m_builder->GetPartitionRoot(p);
    if (!root || !m_store || m_store->GetFileCount() == 0) continue;
    uint64_t start = 0;
    int k = 0;
    if (!root->GetPartitionGeometry(start, k) || k <= 0) continue;
    const uint64_t clusters = p->GetSectorCount() / static_cast<uint64_t>(k);
    std::vector<bool> bits(clusters, false);
    const uint32_t s = static_cast<uint32_t>(m_sectorSize);
    ClusterUseMarker marker(bits, start, static_cast<uint32_t>(k), s, std::max<uint32_t>(kNTFSMinRecordLength, s));
    std::deque<CFileNode*> queue{root};
    while (!queue.empty()) {
      CFileNode* n = queue.front();
      queue.pop_front();
      for (CFileNode* c = n->GetFirstChild(); c; c = c->GetNextSibling()) queue.push_back(c);
      IFileProperties* props = n->GetProperties();
      if (!props || n == root) continue;
      // A deleted file's clusters are free: that is where carved files of
      // it are looked for.
      if (!props->IsDeleted()) {
        std::unique_ptr<IDataRunList> runs(props->GetDataRunList());
        marker.MarkRuns(runs.get(), props->GetFileSize(), n->GetPosition());
      }
      if (dynamic_cast<CNTFSFileProperties*>(props)) marker.MarkRecord(n->GetPosition());
    }
    ClusterUseBitMapInfo info;
    info.bits = &bits;
    info.firstSector = start;
    info.sectorsPerCluster = static_cast<uint32_t>(k);
    info.clusterCount = clusters;
    CClusterUseBitMap map(info);
    PlaceRawFiles(m_device, m_store, m_builder, p, &map);
  }
}

int CNTFSSearchController::LoadNodeDataRuns(CFileNode* node, CSearchedPartitionInfo* partition) {
  if (!m_factory) {
    if (!m_device) return 0;
    m_factory = std::make_unique<CNTFSNodeFactory>(m_device, m_builder);
  }
  m_mftView.clear();
  for (const auto& m : m_lists.mfts) m_mftView.push_back(m.get());
  m_factory->SetMFTList(&m_mftView);
  return m_factory->LoadNodeDataRuns(node, partition);
}
