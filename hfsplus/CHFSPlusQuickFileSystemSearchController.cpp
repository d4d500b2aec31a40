#include "CHFSPlusQuickFileSystemSearchController.h"

#include <new>

#include "CFileSystemNode.h"
#include "CHFSPlusFileNode.h"
#include "CHFSPlusVolume.h"
#include "HFSPlusProgressReporter.h"
#include "IDirecotryTreeBuilder.h"
#include "IStorageDevice.h"
#include "ReturnError.h"
#include "ScanEngineRegistry.h"

CHFSPlusQuickFileSystemSearchController::CHFSPlusQuickFileSystemSearchController()
    : m_partition(std::make_unique<CSearchedPartitionInfo>(512)) {}

CHFSPlusQuickFileSystemSearchController::~CHFSPlusQuickFileSystemSearchController() = default;

CHFSPlusQuickFileSystemSearchController* CHFSPlusQuickFileSystemSearchController::Create() {
  return new CHFSPlusQuickFileSystemSearchController();
}

void CHFSPlusQuickFileSystemSearchController::GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) {
  partitions.push_back(m_partition.get());
}

int CHFSPlusQuickFileSystemSearchController::QuickSearchFiles(IStorageDevice* device, IScanProgressSink* sink) {
  m_device = device;
  m_sink = sink;
  HFSPlusProgressReporter reporter(sink, false, m_cancel);
  if (!device) return HFS_RETURN_ERROR(kHFSBadArgument);
  if (!m_builder) return HFS_RETURN_ERROR(kHFSMissing);
  if (m_volume) m_earlierVolumes.push_back(std::move(m_volume));
  try {
    m_volume = std::make_unique<CHFSPlusVolume>(device);
  } catch (const std::bad_alloc&) {
    return HFS_RETURN_ERROR(kHFSNoMemory);
  }
  const int state = m_volume->GetState();
  const HFSPlusVolumeHeader* header = m_volume->GetVolumeHeader();
  m_blockSize = header ? header->blockSize : 0;
  const int sectorSize = device->GetSectorSize() > 0 ? device->GetSectorSize() : 512;
  const uint32_t perCluster = m_blockSize >= uint32_t(sectorSize) ? m_blockSize / uint32_t(sectorSize) : 1;
  m_partition = std::make_unique<CSearchedPartitionInfo>(sectorSize);
  m_partition->SetType(EFileSystemType::HFSPlus);
  m_partition->SetSectorsPerCluster(perCluster);
  m_partition->SetClusterStartSector(0);
  m_partition->SetStartSector(0);
  m_partition->SetSectorCount(device->GetSectorCount());
  m_partition->SetScore(1.0);

  CFileSystemNode* root = CreateHFSPlusRootNode(kHFSRootFolderID, 0, static_cast<int>(perCluster));
  if (!root) return HFS_RETURN_ERROR(kHFSNoMemory);
  if (!m_builder->AddFileSystemNode(root)) DestroyFileNode(root);
  int walk = kHFSOk;
  // A device without an HFS+ volume leaves the root alone in its tree.
  if (state == kHFSOk) walk = m_volume->QuickSearchFiles(m_builder, &reporter, nullptr);
  // The recovery that runs the search finishes the builder's search.
  return state != kHFSOk ? state : walk;
}

IQuickFileSystemSearchController* CreateHFSPlusQuickSearch() {
  return CHFSPlusQuickFileSystemSearchController::Create();
}

void RegisterHFSPlusQuickSearch() {
  RegisterQuickSearch(EFileSystemType::HFSPlus, [] { return CreateHFSPlusQuickSearch(); });
  RegisterFolderProperties(EFileSystemType::HFSPlus, [](const char* name) { return CreateHFSPlusFolderProperties(name); });
}
