#include "CNTFSQuickSearch.h"

#include "IStorageDevice.h"
#include "ScanEngineRegistry.h"

CNTFSQuickSearch::CNTFSQuickSearch() : m_partition(std::make_unique<CSearchedPartitionInfo>(512)) {}

CNTFSQuickSearch* CNTFSQuickSearch::Create() {
  return new CNTFSQuickSearch();
}

void CNTFSQuickSearch::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  partitions.push_back(m_partition.get());
}

void CNTFSQuickSearch::SetOptions(int deviceNumber, uint64_t partitionStartSector) {
  m_target.deviceNumber = deviceNumber;
  m_target.startSector = partitionStartSector;
}

int CNTFSQuickSearch::QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) {
  if (!volume) return kNTFSWipeNoDevice;
  m_volume = volume;
  m_sink = sink;
  // The partition record describes the volume as the search sees it.
  const int sectorSize = volume->GetSectorSize();
  if (static_cast<uint32_t>(sectorSize) != m_partition->GetBytesPerSector())
    m_partition = std::make_unique<CSearchedPartitionInfo>(sectorSize);
  const uint64_t sectors = volume->GetSectorCount();
  m_partition->SetType(EFileSystemType::NTFS);
  m_partition->SetStartSector(0);
  m_partition->SetSectorsPerCluster(1);
  m_partition->SetSectorCount(sectors ? sectors - 1 : 0);
  if (!m_target.IsSet()) return kNTFSWipeNoWriter;
  m_wiper.SetOptions(m_target.deviceNumber, m_target.startSector);
  const int rc = m_wiper.Wipe(volume);
  if (m_wiper.GetBootSector().IsValid())
    m_partition->SetSectorsPerCluster(m_wiper.GetBootSector().GetSectorsPerCluster());
  return rc;
}

void RegisterNTFSQuickSearch() {
  RegisterQuickSearch(EFileSystemType::NTFS,
                      [] { return static_cast<IQuickFileSystemSearchController*>(CNTFSQuickSearch::Create()); });
}
