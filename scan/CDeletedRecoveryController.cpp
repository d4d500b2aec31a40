#include "CDeletedRecoveryController.h"

#include "CFileNode.h"
#include "CSearchedPartitionInfo.h"
#include "EngineError.h"
#include "IDirecotryTreeBuilder.h"
#include "IScanProgressSink.h"
#include "ScanEngineRegistry.h"

CDeletedRecoveryController::~CDeletedRecoveryController() {
  // The builder's nodes may point into the searches: it goes first.
  if (m_builder) m_builder->Release();
  m_builder = nullptr;
  m_retired.clear();
  m_quick.reset();
}

int CDeletedRecoveryController::SetFilter(INodeFilter* filter) {
  if (!filter) return 0;
  m_filter = filter;
  return 1;
}

void CDeletedRecoveryController::SetFileSystem(EFileSystemType type, const char* volumeName) {
  m_type = type;
  if (volumeName) m_volumeName = volumeName;
}

bool CDeletedRecoveryController::CreateQuickController() {
  if (m_quick && m_builder) m_retired.push_back(std::move(m_quick));
  m_quick.reset(CreateQuickSearch(m_type));
  if (m_quick) m_quick->SetCancelFlag(&m_cancel);
  return m_quick != nullptr;
}

int CDeletedRecoveryController::RunQuickSearch(IStorageDevice* device, int deviceNumber, uint64_t startSector) {
  m_device = device;
  if (!CreateQuickController()) return engine_error::kQuickNoController;
  if (m_type != EFileSystemType::FAT16 && m_type != EFileSystemType::FAT32 && m_type != EFileSystemType::NTFS) return 0;
  m_quick->SetOptions(deviceNumber, startSector);
  return m_quick->QuickSearchFiles(device, nullptr);
}

int CDeletedRecoveryController::Recover(IStorageDevice* device, IScanProgressSink* sink, IRecoveryResultSink* results,
                                        const char* volumeName, int) {
  if (!device || !sink || !results) return engine_error::kDeletedBadArgument;
  // The quick searches of these types are the deleted-record scrubs: a
  // recovery must never run one.
  if (IsFatFamily(m_type) || m_type == EFileSystemType::NTFS) return engine_error::kDeletedScrubbingType;
  SendScanStatus(sink, EScanStatusKind::Progress, 1);
  if (volumeName) m_volumeName = volumeName;
  m_device = device;
  if (m_builder) m_builder->Release();
  m_builder = nullptr;
  // No node points into the earlier searches any more.
  m_retired.clear();
  m_quick.reset();
  m_builder = CreateDirectoryTreeBuilder();
  if (!m_builder) return engine_error::kDeletedNoBuilder;
  m_builder->SetProgressSink(sink);
  if (!m_builder->Init(m_volumeName.c_str(), results, m_filter, ETreeBuildMode::Quick, device, 0))
    return engine_error::kDeletedBuilderInit;
  // A fresh search: one kept from RunQuickSearch would still hold its write
  // target.
  if (!CreateQuickController()) {
    SendScanStatus(sink, EScanStatusKind::Finished, 1, 1);
    return engine_error::kDeletedNoController;
  }
  m_quick->SetTreeBuilder(m_builder);
  const int r = m_quick->QuickSearchFiles(device, sink);
  if (r == 0 && !m_cancel) {
    m_builder->FinishSearch();
    m_builder->FinishBuild();
  }
  SendScanStatus(sink, EScanStatusKind::Finished, 1, 1);
  return r;
}

int CDeletedRecoveryController::GetNodePartition(CFileNode* node, uint64_t& startSector, int& sectorsPerCluster) {
  if (!node) return 0;
  if (!m_quick) return node->GetPartitionGeometry(startSector, sectorsPerCluster);
  std::vector<CSearchedPartitionInfo*> partitions;
  m_quick->GetPartitions(partitions);
  if (partitions.empty() || !partitions.front()) return 0;
  startSector = partitions.front()->GetClusterStartSector();
  sectorsPerCluster = static_cast<int>(partitions.front()->GetSectorsPerCluster());
  return 1;
}
