#include "CFATQuickSearch.h"

#include "ScanEngineRegistry.h"

void CFATQuickSearch::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  partitions.push_back(&m_partition);
}

void CFATQuickSearch::SetOptions(int deviceNumber, uint64_t partitionStartSector) {
  m_target.deviceNumber = deviceNumber;
  m_target.startSector = partitionStartSector;
  if (m_target.IsSet()) m_scrub.SetOptions(deviceNumber, partitionStartSector);
}

int CFATQuickSearch::QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) {
  m_device = volume;
  m_sink = sink;
  const int result = m_scrub.QuickSearchFiles(volume);
  m_partition.Assign(m_scrub.GetPartition());
  return result;
}

IQuickFileSystemSearchController* CreateFATQuickSearch() { return new CFATQuickSearch(); }

void RegisterFATQuickSearch() {
  for (EFileSystemType type : {EFileSystemType::FAT12, EFileSystemType::FAT16, EFileSystemType::FAT32})
    RegisterQuickSearch(type, [] { return CreateFATQuickSearch(); });
}
