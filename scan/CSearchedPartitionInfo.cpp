#include "CSearchedPartitionInfo.h"

#include "ICompleteFileSystemSearchController.h"
#include "ScanStreamIO.h"

CSearchedPartitionInfo::CSearchedPartitionInfo(int bytesPerSector) {
  if (bytesPerSector > 0 && bytesPerSector % 512 == 0) m_bytesPerSector = static_cast<uint32_t>(bytesPerSector);
}

int CSearchedPartitionInfo::IsNodeInPartition(CFileNode* node) {
  return m_owner ? m_owner->IsNodeInPartition(node, this) : 0;
}

int CSearchedPartitionInfo::LoadNodeDataRuns(CFileNode* node) {
  return m_owner ? m_owner->LoadNodeDataRuns(node, this) : 0;
}

bool CSearchedPartitionInfo::SaveBase(IScanStream* s) const {
  return StreamWriteU32(s, static_cast<uint32_t>(m_type)) && StreamWriteU32(s, m_sectorsPerCluster) &&
         StreamWriteU64(s, m_clusterStartSector) && StreamWriteU64(s, m_startSector) &&
         StreamWriteU64(s, m_rawMatchCount) && StreamWriteU64(s, m_recordMatchCount) &&
         StreamWriteU32(s, m_engineValue) && StreamWriteU64(s, m_sectorCount) && StreamWriteU64(s, m_points) &&
         StreamWriteF64(s, m_score) && StreamWriteU32(s, m_chosen) && StreamWriteU32(s, m_bytesPerSector);
}

bool CSearchedPartitionInfo::LoadBase(IScanStream* s) {
  uint32_t type = 0, spc = 0, engine = 0, chosen = 0, bps = 0;
  uint64_t clusterStart = 0, start = 0, raw = 0, rec = 0, count = 0, points = 0;
  double score = 0;
  if (!(StreamReadU32(s, type) && StreamReadU32(s, spc) && StreamReadU64(s, clusterStart) && StreamReadU64(s, start) &&
        StreamReadU64(s, raw) && StreamReadU64(s, rec) && StreamReadU32(s, engine) && StreamReadU64(s, count) &&
        StreamReadU64(s, points) && StreamReadF64(s, score) && StreamReadU32(s, chosen) && StreamReadU32(s, bps)))
    return false;
  m_type = static_cast<EFileSystemType>(type);
  m_sectorsPerCluster = spc;
  m_clusterStartSector = clusterStart;
  m_startSector = start;
  m_rawMatchCount = raw;
  m_recordMatchCount = rec;
  m_engineValue = engine;
  m_sectorCount = count;
  m_points = points;
  m_score = score;
  m_chosen = chosen;
  // A damaged record cannot give a sector size the engines would divide by.
  m_bytesPerSector = (bps > 0 && bps % 512 == 0) ? bps : 512;
  return true;
}
