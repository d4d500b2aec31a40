// The NTFS quick search of the deleted-recovery controller. In this program
// it is the MFT scrub of the free-space wipe: the controller hands it the
// wipe target (SetOptions) and the volume (QuickSearchFiles), and it scrubs
// the volume's free MFT records through CNTFSMFTWiper.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "CNTFSLogFileAnalyzer.h"
#include "CNTFSMFTWiper.h"
#include "CSearchedPartitionInfo.h"
#include "IQuickFileSystemSearchController.h"
#include "WipeTarget.h"

class CNTFSQuickSearch : public IQuickFileSystemSearchController {
 public:
  CNTFSQuickSearch();
  static CNTFSQuickSearch* Create();

  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override { m_builder = builder; }
  // Appends the volume's partition record (filled by QuickSearchFiles; a
  // later QuickSearchFiles on a volume of another sector size replaces it).
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) override;
  // Scrubs the volume's free MFT records: 0 when all were scrubbed, else an
  // NTFSWipeError. Without a wipe target nothing is written and the answer
  // is kNTFSWipeNoWriter: a scrub that did not run never reports success.
  int QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) override;
  void SetOptions(int deviceNumber, uint64_t partitionStartSector) override;

  // Polled between batches of records (may be null).
  void SetCancelFlag(const std::atomic<int>* cancel) override { m_wiper.SetCancelFlag(cancel); }
  const CNTFSMFTWiper& GetWiper() const { return m_wiper; }

 private:
  IDirecotryTreeBuilder* m_builder = nullptr;  // not owned; no walk uses it yet
  IStorageDevice* m_volume = nullptr;          // not owned
  IScanProgressSink* m_sink = nullptr;         // not owned
  std::unique_ptr<CSearchedPartitionInfo> m_partition;
  WipeTarget m_target;
  CNTFSMFTWiper m_wiper;
  // For the walk of the MFT into file nodes, which the scrub does not take.
  CNTFSLogFileAnalyzer m_logAnalyzer;
};

// Registers CNTFSQuickSearch as the quick search of NTFS volumes.
void RegisterNTFSQuickSearch();
