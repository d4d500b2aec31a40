#include "CExFatPartition.h"

#include "CExFatDataRunList.h"
#include "CExFatFileProperties.h"
#include "CFileNode.h"
#include "ExFatDirEntry.h"

CExFatPartition::CExFatPartition(int bytesPerSector) : CSearchedPartitionInfo(bytesPerSector) {
  SetType(EFileSystemType::exFAT);
}

uint32_t CExFatPartition::GetNextCluster(uint32_t cluster, bool contiguous) {
  // A contiguous chain has no FAT entries of its own: whatever the FAT
  // holds there is not its chain.
  const uint32_t next = contiguous ? cluster + 1 : m_fat.GetEntry(cluster);
  return next < m_clusterCount ? next : kEndOfChain;
}

std::unique_ptr<CExFatDataRunList> CExFatPartition::BuildDataRunList(const ExFatEntrySetRecord& record) {
  auto list = std::make_unique<CExFatDataRunList>();
  if (record.attributes & kFileAttributeDirectory) return list;
  UpdateClusterSize();
  const uint64_t clusterSize = m_clusterSize ? m_clusterSize : 512;
  const bool mark = record.noFatChain || m_fat.IsOpen() || record.size <= clusterSize;
  if (record.size == 0 || !IsClusterNumber(record.firstCluster)) return list;
  if (record.noFatChain) {
    const uint64_t count = (record.size + clusterSize - 1) / clusterSize;
    list->AddRun({record.firstCluster - kFirstCluster, count});
    if (mark) MarkClustersUsed(record.firstCluster - kFirstCluster, count);
    return list;
  }
  // A damaged FAT may chain back into the chain: the walk ends where it
  // meets a cluster it passed (checked against one cluster at a time, taken
  // anew at each power of two of steps), not after size / cluster size.
  uint64_t left = record.size;
  uint32_t seen = record.firstCluster;
  uint64_t steps = 0, lap = 1;
  for (uint32_t c = record.firstCluster; IsClusterNumber(c) && left > 0;) {
    list->AddRun({c - kFirstCluster, 1});
    if (mark) MarkClustersUsed(c - kFirstCluster, 1);
    left = left > clusterSize ? left - clusterSize : 0;
    c = GetNextCluster(c, false);
    if (c == seen) break;
    if (++steps == lap) {
      seen = c;
      lap *= 2;
      steps = 0;
    }
  }
  return list;
}

void CExFatPartition::MarkClustersUsed(uint64_t first, uint64_t count) {
  for (uint64_t i = first; i < m_inUse.size() && i - first < count; ++i) m_inUse[static_cast<size_t>(i)] = true;
}

void CExFatPartition::SizeClusterMap() {
  if (!IsClusterNumber(m_rootCluster)) return;
  m_inUse.assign(static_cast<size_t>(m_clusterCount) + 3, false);
}

CFileNode* CExFatPartition::CreateNodeWithoutRuns(const ExFatEntrySetRecord& record) {
  CFileNode* node = AllocFileNode();
  if (!node) return nullptr;
  CExFatFileProperties* p = CreateExFatFileProperties();
  if (!p) return node;
  p->SetFirstCluster(record.firstCluster);
  p->SetAttributes(record.attributes);
  p->SetCreationTime(ExFatDosTimeToFileTime(record.creation));
  p->SetModificationTime(ExFatDosTimeToFileTime(record.modification));
  p->SetAccessTime(ExFatDosTimeToFileTime(record.access));
  p->SetName(record.name.c_str());
  p->SetFileSize(static_cast<int64_t>(record.size > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : record.size));
  p->SetContiguous(record.noFatChain != 0);
  node->SetPosition(record.position);
  if (!record.inUse) p->SetDeleted(1);
  node->SetProperties(p);
  return node;
}

CFileNode* CExFatPartition::CreateFileNode(const ExFatEntrySetRecord& record) {
  CFileNode* node = CreateNodeWithoutRuns(record);
  auto* p = node ? static_cast<CExFatFileProperties*>(node->GetProperties()) : nullptr;
  if (!p) return node;
  std::unique_ptr<CExFatDataRunList> runs = BuildDataRunList(record);
  if (runs->GetRunCount() != 0) p->SetDataRunList(runs.release());
  return node;
}

void CExFatPartition::SyncBaseFields() {
  SetSectorsPerCluster(m_sectorsPerCluster);
  SetClusterStartSector(m_heapStart);
  SetStartSector(m_volumeStart);
  SetSectorCount(m_volumeLength);
}
