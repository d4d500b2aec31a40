#include "CFATSearchedPartitionInfo.h"

#include "ScanStreamIO.h"

bool CFATSearchedPartitionInfo::Save(IScanStream* s) {
  return SaveBase(s) && StreamWriteU16(s, m_reservedSectors) && StreamWriteU32(s, m_fatSize) &&
         StreamWriteU32(s, m_clusterCount) && StreamWriteU32(s, m_rootInfo) && StreamWriteU32(s, m_flags);
}

bool CFATSearchedPartitionInfo::Load(IScanStream* s) {
  if (!LoadBase(s)) return false;
  uint16_t reserved = 0;
  uint32_t fatSize = 0, clusters = 0, root = 0, flags = 0;
  if (!(StreamReadU16(s, reserved) && StreamReadU32(s, fatSize) && StreamReadU32(s, clusters) &&
        StreamReadU32(s, root) && StreamReadU32(s, flags)))
    return false;
  m_reservedSectors = reserved;
  m_fatSize = fatSize;
  m_clusterCount = clusters;
  m_rootInfo = root;
  m_flags = flags;
  return true;
}

void CFATSearchedPartitionInfo::Assign(const FATPartitionFields& f) {
  SetType(static_cast<EFileSystemType>(f.fileSystemType));
  SetSectorsPerCluster(f.sectorsPerCluster);
  // FAT runs count from cluster 2: run cluster 0 lies at the data start.
  SetClusterStartSector(f.dataStart);
  SetStartSector(f.startSector);
  SetSectorCount(f.sectorCount);
  m_reservedSectors = f.reservedSectors;
  m_fatSize = f.fatSize;
  m_clusterCount = f.clusterCount;
  m_rootInfo = f.rootInfo;
  m_flags = f.flags;
}

CFATSearchedPartitionInfo* CreateFATSearchedPartitionInfo(int bytesPerSector) {
  return new CFATSearchedPartitionInfo(bytesPerSector);
}

void DeleteFATSearchedPartitionInfo(CSearchedPartitionInfo* record) { delete record; }
