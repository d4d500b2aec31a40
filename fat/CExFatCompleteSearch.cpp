#include "CExFatCompleteSearch.h"

#include "CClusterUseBitMap.h"
#include "CExFatDataRunList.h"
#include "CExFatFileProperties.h"
#include "CFileNode.h"
#include "CFileSystemNode.h"
#include "IDirecotryTreeBuilder.h"
#include "IStorageDevice.h"
#include "ScanEngineRegistry.h"

CFileSystemNode* CreateExFatRootNode(int64_t id, uint32_t firstCluster, uint32_t directoryValue, uint64_t heapStart,
                                     uint32_t sectorsPerCluster) {
  CExFatFileProperties* properties = CreateExFatFileProperties();
  properties->SetName("EXFAT");
  properties->SetAttributes(kFileAttributeDirectory);
  properties->SetFirstCluster(firstCluster);
  properties->SetDirectoryValue(directoryValue);
  CFileSystemNode* root = AllocFileSystemNode();
  root->SetProperties(properties);
  root->SetName("EXFAT");
  root->SetFileSystemType(EFileSystemType::exFAT);
  root->SetPartitionGeometry(heapStart, static_cast<int>(sectorsPerCluster));
  root->SetId(id);
  return root;
}

CExFatCompleteSearch::CExFatCompleteSearch() = default;

CExFatCompleteSearch::~CExFatCompleteSearch() {
  // The scanner keeps pointers into the groups: drop them first.
  m_scanner.Clear();
}

void CExFatCompleteSearch::SetTreeBuilder(IDirecotryTreeBuilder* builder) {
  m_builder = builder;
  m_candidates.SetTreeBuilder(builder);
}

bool CExFatCompleteSearch::Setup() {
  if (m_sectorSize) return true;
  if (!m_device || m_blockSectors <= 0) return false;
  const int size = m_device->GetSectorSize();
  if (size < 512 || size > 4096 || (size & (size - 1))) return false;
  m_sectorSize = static_cast<uint32_t>(size);
  m_deviceSectors = m_device->GetSectorCount();
  m_scanner.SetGeometry(m_deviceSectors, m_sectorSize);
  m_candidates.SetGeometry(m_sectorSize, m_deviceSectors);
  m_buffer.Reset(m_sectorSize, static_cast<uint64_t>(m_blockSectors));
  return true;
}

void CExFatCompleteSearch::AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) {
  ScanBlock(firstSector, sectorCount);
}

int CExFatCompleteSearch::ScanBlock(uint64_t firstSector, uint64_t sectorCount) {
  if (m_ended || !Setup()) return 0;
  uint8_t* at = m_buffer.Prepare(sectorCount);
  if (!at) return 0;
  const bool ok = m_device->ReadSectors(at, firstSector, sectorCount) != 0;
  m_buffer.Analyze(firstSector, sectorCount, ok, m_scanner, m_candidates,
                   [this](std::unique_ptr<ExFatDirectoryGroup> g) { OnGroupFinished(std::move(g)); });
  return ok ? 1 : 0;
}

void CExFatCompleteSearch::OnGroupFinished(std::unique_ptr<ExFatDirectoryGroup> group) {
  if (!group) return;
  // The names of its files, for the carved files that start where they do.
  for (const ExFatEntrySetRecord& s : group->inUse)
    if (!(s.attributes & kFileAttributeDirectory) && CExFatPartition::IsClusterNumber(s.firstCluster))
      m_evidence.AddNarrowName(s.name.data(), s.name.size(), static_cast<int64_t>(s.firstCluster) - 2,
                               static_cast<int64_t>(s.position));
  AddFoundNodes(*group);
  m_groups.push_back(std::move(group));
}

void CExFatCompleteSearch::AddFoundNodes(const ExFatDirectoryGroup& group) {
  if (!m_builder || !m_offerFound) return;
  if (!m_lostRoot) {
    const int64_t id = static_cast<int64_t>(group.firstSector & ~1ull);
    CFileSystemNode* root = CreateExFatRootNode(id, 0, 0, 0, 1);
    if (!m_builder->AddFileSystemNode(root)) {
      DestroyFileNode(root);
      m_offerFound = false;
      return;
    }
    m_lostRoot = root;
    m_lostRootId = id;
  }
  for (const auto* list : {&group.inUse, &group.deleted}) {
    for (const ExFatEntrySetRecord& s : *list) {
      CFileNode* node = CExFatPartition::CreateNodeWithoutRuns(s);
      if (!node) continue;
      if (!node->GetProperties()) {
        DestroyFileNode(node);
        continue;
      }
      node->SetParentId(m_lostRootId);
      int error = 0;
      if (!m_builder->AddNode(node, ETreeKind::exFAT, error)) {
        DestroyFileNode(node);
        m_offerFound = false;
        return;
      }
      ++m_foundNodes;
    }
  }
}

void CExFatCompleteSearch::EndSearch() {
  if (m_ended) return;
  m_ended = true;
  if (m_sectorSize)
    m_buffer.Finish(m_scanner, m_candidates,
                    [this](std::unique_ptr<ExFatDirectoryGroup> g) { OnGroupFinished(std::move(g)); });
  m_scanner.Clear();
  for (const auto& g : m_groups) m_candidates.AddGroup(g.get());
  m_candidates.CollectCandidates(m_partitions);
  for (auto& p : m_partitions) {
    p->SetOwner(this);
    if (m_store) m_evidence.CountRawMatches(m_store, p.get());
  }
  m_evidence.Clear();
}

void CExFatCompleteSearch::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  for (auto& p : m_partitions) {
    p->SetOwner(this);
    p->SyncBaseFields();
    partitions.push_back(p.get());
  }
}

namespace {

CExFatPartitionEx* OwnPartition(const std::vector<std::unique_ptr<CExFatPartitionEx>>& own,
                                CSearchedPartitionInfo* partition) {
  for (const auto& p : own)
    if (p.get() == partition) return p.get();
  return nullptr;
}

}  // namespace

void CExFatCompleteSearch::BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) {
  if (!m_builder || !m_device) return;
  for (CSearchedPartitionInfo* one : partitions) {
    CExFatPartitionEx* p = OwnPartition(m_partitions, one);
    if (!p) continue;
    if (p->flags & CExFatPartitionEx::kFirstFat)
      p->FatCache().Open(m_device, p->GetVolumeStart() + p->fatOffset, p->fatLength, p->GetClusterCount());
    CFileSystemNode* root = CreateExFatRootNode(-1, 0, 0xFFFFFFFF, p->GetHeapStart(), p->GetClusterSectors());
    if (!m_builder->SetPartitionRoot(root, p)) {
      DestroyFileNode(root);
      p->FatCache().Clear();
      continue;
    }
    p->SizeClusterMap();
    std::vector<CFileNode*> nodes;
    ExFatCandidateSet::RebuildExFatTree(*p, nodes, m_device);
    size_t handed = 0;
    for (; handed < nodes.size(); ++handed)
      if (!m_builder->AddPartitionNode(nodes[handed], p)) break;
    // The first node refused ends the partition: it and the rest are ours.
    for (size_t i = handed; i < nodes.size(); ++i) DestroyFileNode(nodes[i]);
    p->FatCache().Clear();
  }
}

void CExFatCompleteSearch::BuildLostFiles(std::vector<CSearchedPartitionInfo*>& partitions) {
  if (!m_builder || !m_device || !m_store) return;
  for (CSearchedPartitionInfo* one : partitions) {
    CExFatPartitionEx* p = OwnPartition(m_partitions, one);
    if (!p) continue;
    ClusterUseBitMapInfo info;
    info.bits = &p->ClusterMap();
    info.firstSector = p->GetHeapStart();
    info.sectorsPerCluster = p->GetClusterSectors();
    info.clusterCount = p->ClusterMap().size();
    CClusterUseBitMap map(info);
    PlaceRawFiles(m_device, m_store, m_builder, p, &map);
  }
}

int CExFatCompleteSearch::LoadNodeDataRuns(CFileNode* node, CSearchedPartitionInfo* partition) {
  auto* props = node ? dynamic_cast<CExFatFileProperties*>(node->GetProperties()) : nullptr;
  if (!props || !partition) return 0;
  if (props->GetPackedRuns()) return 1;
  if ((props->GetAttributes() & kFileAttributeDirectory) || props->GetFileSize() <= 0 ||
      !CExFatPartition::IsClusterNumber(props->GetFirstCluster()))
    return 0;
  const uint64_t clusterBytes =
      static_cast<uint64_t>(partition->GetSectorsPerCluster()) * partition->GetBytesPerSector();
  if (clusterBytes == 0) return 0;
  const uint64_t size = static_cast<uint64_t>(props->GetFileSize());
  CExFatDataRunList runs;
  runs.AddRun({props->GetFirstCluster() - CExFatPartition::kFirstCluster, (size + clusterBytes - 1) / clusterBytes});
  props->PackRuns(&runs);
  return 1;
}

void RegisterExFatCompleteSearch() {
  RegisterCompleteSearch(ECompleteSearchKind::exFAT, [] { return new CExFatCompleteSearch; });
}
