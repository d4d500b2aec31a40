// The deleted-file search of one HFS+ volume, read-only: the files and
// folders the volume's journal still remembers after they were deleted,
// then the live catalog, into the caller's tree builder (whose quick tree
// keeps the deleted ones and the folders that lead to them).
//
// Ownership: the search owns the volume it opened and the record of the
// searched volume GetPartitions hands out. The nodes the builder holds
// point at the volume, so a search must outlive the builder it filled; a
// volume of an earlier run is kept until the search goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "CSearchedPartitionInfo.h"
#include "IQuickFileSystemSearchController.h"

class CHFSPlusVolume;

class CHFSPlusQuickFileSystemSearchController : public IQuickFileSystemSearchController {
 public:
  CHFSPlusQuickFileSystemSearchController();
  ~CHFSPlusQuickFileSystemSearchController() override;
  static CHFSPlusQuickFileSystemSearchController* Create();

  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  // Appends the searched volume's record (type HFS+, one allocation block
  // per cluster).
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) override;
  // 5 without a device, 2 without a builder, 4 when nothing could be
  // allocated; otherwise the volume's state when it did not open (the
  // builder then holds an empty tree), else the catalog walk's status (0, or
  // 13 when stopped).
  int QuickSearchFiles(IStorageDevice* device, IScanProgressSink* sink) override;
  // The search writes nothing.
  void SetOptions(int, uint64_t) override {}
  void SetCancelFlag(const std::atomic<int>* cancel) override { m_cancel = cancel; }

  CHFSPlusVolume* GetVolume() const { return m_volume.get(); }

 private:
  IDirecotryTreeBuilder* m_builder = nullptr;
  IStorageDevice* m_device = nullptr;
  IScanProgressSink* m_sink = nullptr;
  const std::atomic<int>* m_cancel = nullptr;
  uint32_t m_blockSize = 0;
  std::unique_ptr<CHFSPlusVolume> m_volume;
  std::vector<std::unique_ptr<CHFSPlusVolume>> m_earlierVolumes;
  std::unique_ptr<CSearchedPartitionInfo> m_partition;
};

IQuickFileSystemSearchController* CreateHFSPlusQuickSearch();
// Registers the search for HFS+ volumes, and the folder properties of HFS+
// trees, with the scan framework.
void RegisterHFSPlusQuickSearch();
