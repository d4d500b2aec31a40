#include "CCompleteRecoveryController.h"

#include <algorithm>

#include "CDeletedRecoveryController.h"
#include "CFileNode.h"
#include "CFoundFileStore.h"
#include "CScanOptions.h"
#include "CSearchedPartitionInfo.h"
#include "CStorageDeviceWithCache.h"
#include "EngineError.h"
#include "ICompleteFileSystemSearchController.h"
#include "IDataRunList.h"
#include "IDirecotryTreeBuilder.h"
#include "IFileProperties.h"
#include "IScanProgressSink.h"
#include "ScanEngineRegistry.h"

int IRecoveryController::RunQuickSearch(IStorageDevice* device, const WipeTarget& target) {
  return RunQuickSearch(device, target.deviceNumber, target.startSector);
}

IRecoveryController* CreateRecoveryController(int kind) {
  if (kind == static_cast<int>(ERecoveryKind::Deleted)) return new CDeletedRecoveryController;
  if (kind == static_cast<int>(ERecoveryKind::Complete)) return new CCompleteRecoveryController;
  return nullptr;
}

CCompleteRecoveryController::CCompleteRecoveryController() = default;

CCompleteRecoveryController::~CCompleteRecoveryController() {
  ReleaseAll();
  m_cached.reset();
}

void CCompleteRecoveryController::ReleaseAll() {
  m_chosen.clear();
  for (ICompleteFileSystemSearchController* s : m_searches) delete s;
  m_searches.clear();
  if (m_builder) m_builder->Release();
  m_builder = nullptr;
  m_store.reset();
}

int CCompleteRecoveryController::SetFilter(INodeFilter* filter) {
  if (!filter) return 0;
  m_filter = filter;
  m_store = std::make_unique<CFoundFileStore>();
  return 1;
}

void CCompleteRecoveryController::SetFileSystem(EFileSystemType type, const char* volumeName) {
  m_type = type;
  if (volumeName) m_volumeName = volumeName;
}

int CCompleteRecoveryController::HasOnlyRawController() const {
  return m_searches.size() == 1 && m_searches.front()->GetSearchKind() == ECompleteSearchKind::RAW ? 1 : 0;
}

uint32_t CCompleteRecoveryController::ChunkSectors(int sectorSize) {
  const uint32_t size = sectorSize > 0 ? static_cast<uint32_t>(sectorSize) : 512;
  const uint32_t sectors = kChunkBytes / size;
  return sectors ? sectors : 8192;
}

int CCompleteRecoveryController::Recover(IStorageDevice* device, IScanProgressSink* sink, IRecoveryResultSink* results,
                                         const char* volumeName, int parameter) {
  if (!device || !sink || !results) return engine_error::kCompleteBadArgument;
  SendScanStatus(sink, EScanStatusKind::Progress, 1);
  m_sink = sink;
  m_device = device;
  if (volumeName) m_volumeName = volumeName;
  if (!m_store) m_store = std::make_unique<CFoundFileStore>();

  // A second recovery starts afresh: the searches of the first go with its
  // builder.
  m_chosen.clear();
  for (ICompleteFileSystemSearchController* s : m_searches) delete s;
  m_searches.clear();
  if (m_builder) m_builder->Release();
  m_builder = CreateDirectoryTreeBuilder();
  if (!m_builder) {
    ReleaseAll();
    return engine_error::kCompleteNoBuilder;
  }
  if (!m_builder->Init(m_volumeName.c_str(), results, m_filter, ETreeBuildMode::Complete, device, parameter)) {
    ReleaseAll();
    return engine_error::kCompleteBuilderInit;
  }
  m_builder->SetProgressSink(sink);

  // Creation order; the RAW search joins only when the options enable it.
  std::vector<ECompleteSearchKind> kinds = {ECompleteSearchKind::NTFS, ECompleteSearchKind::FAT,
                                            ECompleteSearchKind::exFAT, ECompleteSearchKind::Ext2,
                                            ECompleteSearchKind::HFSPlus};
  if (GetScanOptions()->raw.enabled) kinds.push_back(ECompleteSearchKind::RAW);
  for (ECompleteSearchKind kind : kinds) {
    ICompleteFileSystemSearchController* search = CreateCompleteSearch(kind);
    if (!search) continue;
    if (kind == ECompleteSearchKind::Ext2) search->SetProgressSink(sink);
    m_searches.push_back(search);
  }
  if (m_searches.empty()) {
    ReleaseAll();
    return engine_error::kCompleteNoSearch;
  }

  const uint32_t chunk = ChunkSectors(device->GetSectorSize());
  m_cached = std::make_unique<CStorageDeviceWithCache>(device);
  m_cached->SetBlockSectors(chunk);
  m_cached->StartCache();
  for (ICompleteFileSystemSearchController* s : m_searches) {
    s->SetDevice(m_cached.get());
    s->SetSearchOption(static_cast<int>(chunk));
    s->SetTreeBuilder(m_builder);
    s->StartSearch();
    s->SetFoundFileStore(m_store.get());
    s->SetProgressSink(sink);
  }

  const uint64_t sectors = device->GetSectorCount();
  const int r = ScanDevice(0, static_cast<int64_t>(sectors) - 1);
  if (r == 0 && !m_cancel) Finish();
  m_cached->StopCache();
  SendScanStatus(sink, EScanStatusKind::Finished, 1, 1);
  return r;
}

int CCompleteRecoveryController::ScanDevice(int64_t first, int64_t last) {
  if (!m_sink) return engine_error::kScanNoSink;
  if (first > last || !m_device || !m_cached) return engine_error::kScanBadRange;
  const uint32_t chunk = ChunkSectors(m_device->GetSectorSize());
  const int64_t count = static_cast<int64_t>(std::min<uint64_t>(m_device->GetSectorCount(), INT64_MAX));
  first = std::max<int64_t>(first, 0);
  first = std::min(first, count);
  last = std::min(last, count - 1);
  // A device without sectors (or a range past its end) has nothing to scan.
  if (first > last) return engine_error::kScanBadRange;
  const uint64_t firstChunk = static_cast<uint64_t>(first) / chunk;
  const uint64_t lastChunk = static_cast<uint64_t>(last) / chunk;
  const uint64_t total = lastChunk - firstChunk + 2;
  SendScanStatus(m_sink, EScanStatusKind::ChunkTotal, total, 0);
  uint64_t done = 0;
  for (uint64_t c = firstChunk; c <= lastChunk; ++c) {
    if (m_cancel || !m_sink->ShouldContinue()) return 0;
    m_cached->SetCurCacheBlock(static_cast<uint32_t>(c));
    const uint64_t start = c * chunk;
    const uint64_t sectors = std::min<uint64_t>(chunk, static_cast<uint64_t>(last) - start + 1);
    for (ICompleteFileSystemSearchController* s : m_searches) s->AnalyzeBlock(start, sectors);
    ++done;
    SendScanStatus(m_sink, EScanStatusKind::Progress, total, static_cast<uint64_t>(0.8 * static_cast<double>(done)));
  }
  return 0;
}

ICompleteFileSystemSearchController* CCompleteRecoveryController::SearchForPartition(
    CSearchedPartitionInfo* partition) const {
  ECompleteSearchKind kind;
  if (!partition || !ToCompleteSearchKind(partition->GetSearchKind(), kind)) return nullptr;
  for (ICompleteFileSystemSearchController* s : m_searches)
    if (s->GetSearchKind() == kind) return s;
  return nullptr;
}

void CCompleteRecoveryController::GatherPartitions(std::vector<CSearchedPartitionInfo*>& out) const {
  for (ICompleteFileSystemSearchController* s : m_searches) s->GetPartitions(out);
}

void CCompleteRecoveryController::Finish() {
  if (m_searches.empty() || !m_builder) return;
  SendScanStatus(m_sink, EScanStatusKind::Building, m_builder->GetNodeCount(), 100);
  for (ICompleteFileSystemSearchController* s : m_searches) s->EndSearch();
  std::vector<CSearchedPartitionInfo*> found;
  GatherPartitions(found);
  for (CSearchedPartitionInfo* p : found) m_builder->AddCandidate(p);
  m_builder->FinishSearch();
  m_builder->GetCandidates(m_chosen);
  if (!m_chosen.empty()) {
    for (CSearchedPartitionInfo* p : m_chosen) {
      ICompleteFileSystemSearchController* s = SearchForPartition(p);
      if (!s) continue;
      std::vector<CSearchedPartitionInfo*> one{p};
      s->BuildPartitionTrees(one);
      m_builder->FinishPartition(p);
      s->BuildLostFiles(one);
    }
  } else {
    // Without a partition the carved files still get a place, read through
    // the device the recovery was given.
    PlaceRawFiles(m_device, m_store.get(), m_builder, nullptr, nullptr);
  }
  m_builder->FinishBuild();
}

namespace {

bool SameTypeGroup(EFileSystemType a, EFileSystemType b) {
  return FatGroup(a) == FatGroup(b);
}

// The node's runs are filled in for a FAT or exFAT node of the partition's
// type.
void PrepareNode(CSearchedPartitionInfo* p, CFileNode* node) {
  const EFileSystemType t = node->GetFileSystemType();
  if (!SameTypeGroup(p->GetType(), t)) return;
  if (IsFatFamily(t) || t == EFileSystemType::exFAT) p->LoadNodeDataRuns(node);
}

}  // namespace

int CCompleteRecoveryController::GetNodePartition(CFileNode* node, uint64_t& startSector, int& sectorsPerCluster) {
  if (m_searches.empty() || !node) return 0;
  const EFileSystemType t = node->GetFileSystemType();
  if (!m_sink || m_sink->GetLocateMode() != 2 || t == EFileSystemType::Ext2 || t == EFileSystemType::Ext3)
    return node->GetPartitionGeometry(startSector, sectorsPerCluster);
  std::vector<CSearchedPartitionInfo*> partitions;
  GatherPartitions(partitions);
  if (partitions.empty()) return 0;
  auto answer = [&](CSearchedPartitionInfo* p) {
    startSector = p->GetClusterStartSector();
    sectorsPerCluster = static_cast<int>(p->GetSectorsPerCluster());
    return 1;
  };
  for (CSearchedPartitionInfo* p : partitions) {
    PrepareNode(p, node);
    if (IsNodeInPartitionRange(p, node)) return answer(p);
  }
  for (CSearchedPartitionInfo* p : partitions) {
    if (!SameTypeGroup(p->GetType(), t)) continue;
    PrepareNode(p, node);
    return answer(p);
  }
  startSector = 0;
  sectorsPerCluster = 1;
  return 0;
}

int IsNodeInPartitionRange(CSearchedPartitionInfo* p, CFileNode* node) {
  if (!p || !node || node->GetFileSystemType() != p->GetType()) return 0;
  const uint64_t start = p->GetStartSector();
  const uint64_t count = p->GetSectorCount();
  const uint64_t position = node->GetPosition();
  if (position <= start || position - start >= count) return 0;
  const IFileProperties* props = node->GetProperties();
  std::unique_ptr<IDataRunList> runs(props ? props->GetDataRunList() : nullptr);
  if (!runs) return 0;
  const uint64_t spc = p->GetSectorsPerCluster();
  if (spc == 0) return 0;
  uint64_t clusters = 0;
  for (const DataRun& r : runs->Runs()) {
    if (r.IsSparse()) return 0;
    // Cluster numbers beyond the partition (or that would overflow) do not fit.
    if (r.start >= count / spc || r.length > count / spc - r.start) return 0;
    clusters += r.length;
  }
  if (clusters <= 1) return 1;
  const uint64_t size = static_cast<uint64_t>(props->GetFileSize());
  const uint64_t perCluster = size / clusters;
  const uint64_t c = (perCluster + 511) / 512;
  // The cluster size is the smallest power of two (1 to 2^24 sectors) that
  // holds the bytes per cluster.
  for (int k = 0; k <= 24; ++k) {
    const uint64_t power = uint64_t(1) << k;
    if ((power >> 1) < c && c <= power) return spc == power ? 1 : 0;
  }
  return 0;
}
