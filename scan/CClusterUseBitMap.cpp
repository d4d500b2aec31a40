#include "CClusterUseBitMap.h"

bool CClusterUseBitMap::IsClusterUsed(uint64_t sector) const {
  if (m_info.clusterCount == 0) return false;
  if (sector < m_info.firstSector) return true;
  // Without a cluster size or a vector nothing can be placed safely.
  if (m_info.sectorsPerCluster == 0 || m_info.bits == nullptr) return true;
  const uint64_t index = (sector - m_info.firstSector) / m_info.sectorsPerCluster;
  if (index >= m_info.clusterCount || index >= m_info.bits->size()) return true;
  return (*m_info.bits)[static_cast<size_t>(index)];
}
