#include "CExFatQuickSearch.h"

#include <algorithm>
#include <cinttypes>

#include "CExFatDBR.h"
#include "CExFatFileProperties.h"
#include "CFileSystemNode.h"
#include "CScanOptions.h"
#include "IDirecotryTreeBuilder.h"
#include "IScanProgressSink.h"
#include "IStorageDevice.h"
#include "RunLog.h"
#include "ScanEngineRegistry.h"
#include "ScanStatusRecord.h"

namespace {
constexpr size_t kBootSectorBuffer = 4096;
}  // namespace

CExFatQuickSearch::CExFatQuickSearch() : m_partition(std::make_unique<CExFatPartition>(512)) {}

CExFatQuickSearch::~CExFatQuickSearch() = default;

void CExFatQuickSearch::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  m_partition->SyncBaseFields();
  m_partition->SetType(EFileSystemType::exFAT);
  partitions.push_back(m_partition.get());
}

int CExFatQuickSearch::QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) {
  if (!volume) return exfat_search::kBadArgument;
  m_visited.clear();
  m_queue.clear();
  m_deletedQueue.clear();
  m_unreadableFolders = 0;
  const int opened = OpenVolume(volume);
  if (opened != 0) return opened;
  const int walked = WalkDirectories(volume, sink);
  m_cluster.clear();
  m_cluster.shrink_to_fit();
  m_visited.clear();
  m_queue.clear();
  m_deletedQueue.clear();
  if (m_unreadableFolders)
    LogError("exFAT search: %" PRIu64 " folders were listed only up to a cluster that could not be read",
             m_unreadableFolders);
  return walked;
}

int CExFatQuickSearch::OpenVolume(IStorageDevice* device) {
  const int deviceSectorSize = device->GetSectorSize();
  if (deviceSectorSize < 512 || deviceSectorSize > static_cast<int>(kBootSectorBuffer))
    return exfat_search::kNotExFat;
  const uint32_t sectorSize = static_cast<uint32_t>(deviceSectorSize);
  std::vector<uint8_t> boot(kBootSectorBuffer, 0);
  if (!device->ReadSectors(boot.data(), 0, 1)) return exfat_search::kNotExFat;
  const CExFatDBR dbr(boot.data());
  if (!dbr.IsValid(sectorSize)) return exfat_search::kNotExFat;

  const uint32_t spc = dbr.GetSectorsPerCluster();
  m_parser.SetGeometry(FloorLog2(sectorSize), FloorLog2(sectorSize * spc), device->GetSectorCount());
  m_partition = std::make_unique<CExFatPartition>(deviceSectorSize);
  CExFatPartition& p = *m_partition;
  p.SetSectorSize(sectorSize);
  p.SetHeapStart(dbr.GetClusterHeapOffset());
  p.SetClusterSectors(spc);
  p.SetRootCluster(dbr.GetRootDirectoryCluster());
  // Chains run over clusters 2 .. ClusterCount + 1, and no further than the
  // FAT has entries for.
  const uint64_t fatEntries = static_cast<uint64_t>(dbr.GetFatLength()) * sectorSize / 4;
  const uint64_t bound = std::max<uint64_t>(static_cast<uint64_t>(dbr.GetClusterCount()) + 2, fatEntries);
  p.SetClusterCount(static_cast<uint32_t>(std::min<uint64_t>(bound, CExFatPartition::kLastCluster + 1)));
  p.SetVolumeStart(0);
  p.SetVolumeLength(device->GetSectorCount());
  p.FatCache().Open(device, dbr.GetFatOffset(), dbr.GetFatLength(), dbr.GetClusterCount());
  p.UpdateClusterSize();
  p.SyncBaseFields();
  p.SetScore(1.0);
  m_cluster.assign(p.GetClusterSize(), 0);
  return CreateRootNode();
}

int CExFatQuickSearch::CreateRootNode() {
  CExFatFileProperties* properties = CreateExFatFileProperties();
  properties->SetName("exFAT");
  properties->SetAttributes(properties->GetAttributes() | kFileAttributeDirectory);
  properties->SetFirstCluster(m_partition->GetRootCluster());
  CFileSystemNode* root = AllocFileSystemNode();
  root->SetProperties(properties);
  const std::string label = FormatPartitionDisplayName(GetScanOptions()->searchedVolume, "exFAT", 1);
  root->SetName(label.c_str());
  root->SetFileSystemType(EFileSystemType::exFAT);
  root->SetPartitionGeometry(m_partition->GetHeapStart(), static_cast<int>(m_partition->GetClusterSectors()));
  root->SetId(static_cast<int64_t>(m_partition->ClusterToOffset(m_partition->GetRootCluster())));
  if (!m_builder || !m_builder->AddFileSystemNode(root)) {
    DestroyFileNode(root);
    return exfat_search::kBuilderRefused;
  }
  return 0;
}

bool CExFatQuickSearch::ReadDirectory(IStorageDevice* device, const Folder& folder) {
  CExFatPartition& p = *m_partition;
  const uint64_t clusterSize = p.GetClusterSize();
  const uint32_t clusterSectors = p.GetClusterSectors();
  m_parser.Reset();
  bool readAll = true;
  uint64_t left = folder.size;
  for (uint32_t c = folder.firstCluster; CExFatPartition::IsClusterNumber(c) && m_visited.insert(c).second;) {
    const uint64_t sector = p.ClusterToOffset(c);
    if (!device->ReadSectors(m_cluster.data(), sector, clusterSectors)) {
      readAll = false;
      break;
    }
    if (!m_parser.ParseEntries(m_cluster.data(), m_cluster.size(), sector)) break;
    if (left <= clusterSize) break;
    left -= clusterSize;
    c = p.GetNextCluster(c, folder.contiguous);
  }
  const int64_t parentId = static_cast<int64_t>(p.ClusterToOffset(folder.firstCluster));
  for (ExFatEntrySetRecord& record : m_parser.Records()) {
    if (folder.deleted) record.inUse = 0;
    CFileNode* node = p.CreateFileNode(record);
    if (!node) continue;
    if (!node->GetProperties()) {
      DestroyFileNode(node);
      continue;
    }
    node->SetId(static_cast<int64_t>(p.ClusterToOffset(record.firstCluster)));
    node->SetParentId(parentId);
    const Folder child{record.firstCluster, record.size, record.noFatChain != 0, record.inUse == 0};
    const bool isFolder = (record.attributes & kFileAttributeDirectory) != 0;
    int error = 0;
    if (!m_builder->AddNode(node, ETreeKind::exFAT, error)) {
      DestroyFileNode(node);
      continue;
    }
    if (isFolder) (child.deleted ? m_deletedQueue : m_queue).push_back(child);
  }
  m_parser.ClearRecords();
  return readAll;
}

int CExFatQuickSearch::WalkDirectories(IStorageDevice* device, IScanProgressSink* sink) {
  CExFatPartition& p = *m_partition;
  const Folder root{p.GetRootCluster(), static_cast<uint64_t>(p.GetClusterSize()) * p.GetClusterCount(), false, false};
  if (!ReadDirectory(device, root)) {
    if (m_visited.size() <= 1) return exfat_search::kRootUnreadable;
    ++m_unreadableFolders;
  }
  uint64_t processed = 0;
  uint64_t lastPercent = 0;
  while (!m_queue.empty() || !m_deletedQueue.empty()) {
    if (IsCancelled()) return exfat_search::kCancelled;
    if (sink && !sink->ShouldContinue()) break;
    std::deque<Folder>& queue = m_queue.empty() ? m_deletedQueue : m_queue;
    const Folder folder = queue.front();
    queue.pop_front();
    if (!ReadDirectory(device, folder)) ++m_unreadableFolders;
    ++processed;
    const uint64_t total = processed + m_queue.size() + m_deletedQueue.size();
    const uint64_t percent = processed * 100 / total;
    if (percent > lastPercent) {
      lastPercent = percent;
      SendScanStatus(sink, EScanStatusKind::Progress, total, processed);
    }
  }
  SendScanStatus(sink, EScanStatusKind::Progress, 1, 1);
  return 0;
}

IQuickFileSystemSearchController* CreateExFatQuickSearch() {
  return new CExFatQuickSearch();
}

void RegisterExFatQuickSearch() {
  RegisterQuickSearch(EFileSystemType::exFAT, [] { return CreateExFatQuickSearch(); });
  RegisterFolderProperties(EFileSystemType::exFAT, [](const char* name) -> IFileProperties* {
    CExFatFileProperties* p = CreateExFatFileProperties();
    p->SetName(name);
    p->SetAttributes(kFileAttributeDirectory);
    return p;
  });
}
