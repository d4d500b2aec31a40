// The FAT quick search of the scan framework. Its one job here is the FAT
// step of the free-space wipe: the deleted-recovery controller makes it for
// FAT12, FAT16 and FAT32 volumes, gives it the wipe target with SetOptions
// and runs QuickSearchFiles on the locked volume, which runs the directory
// scrub (CFATQuickScrub) to its end on the calling thread and answers a
// fatscrub:: code (FATScrubCodes.h; kDone when everything was done).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "CFATQuickScrub.h"
#include "CFATSearchedPartitionInfo.h"
#include "IQuickFileSystemSearchController.h"
#include "WipeTarget.h"

class CFATQuickSearch : public IQuickFileSystemSearchController {
 public:
  CFATQuickSearch() = default;
  ~CFATQuickSearch() override = default;

  // Kept; the scrub builds no tree.
  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  // Appends the embedded record (filled by QuickSearchFiles).
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) override;
  int QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) override;
  void SetOptions(int deviceNumber, uint64_t partitionStartSector) override;

  // A cancel flag of the caller's, read at every cluster besides the scan
  // options' FAT stop flag.
  void SetStopFlag(const std::atomic<int>* stop) { m_scrub.SetStopFlag(stop); }
  void SetCancelFlag(const std::atomic<int>* cancel) override { SetStopFlag(cancel); }
  const FATWipeCounters& GetCounters() const { return m_scrub.GetCounters(); }
  uint32_t GetLastWriteError() const { return m_scrub.GetLastWriteError(); }
  const WipeTarget& GetWipeTarget() const { return m_target; }

 private:
  IDirecotryTreeBuilder* m_builder = nullptr;
  IStorageDevice* m_device = nullptr;
  IScanProgressSink* m_sink = nullptr;
  CFATSearchedPartitionInfo m_partition{512};
  WipeTarget m_target;
  CFATQuickScrub m_scrub;
};

IQuickFileSystemSearchController* CreateFATQuickSearch();
// Registers CreateFATQuickSearch for FAT12, FAT16 and FAT32 with the scan
// framework; the composition root calls it before making controllers.
void RegisterFATQuickSearch();
