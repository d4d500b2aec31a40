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
#include "CNTFSMFTRecordInfo.h"
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

  // The quick search's own walk of the MFT into file nodes for the tree
  // builder: read-only, and never taken by the scrub. Reads the boot sector
  // and $MFT record 0 of the volume, hands the volume node to the builder,
  // then every file record's node. 0, or an NTFSWipeError code.
  int ScanVolume(IStorageDevice* volume, IScanProgressSink* sink);
  // Walks the $MFT's runs in batches of 128 sectors; 0 or kScanNoBuffer.
  int ScanMFT(const CNTFSMFTRecordInfo& mft, uint32_t recordSize);
  // The volume node named by the label ("NTFS" when none), id 5.
  int CreateVolumeNode(const char* label);
  // The label of the $Volume record (record 3) of the $MFT at `mftSector`;
  // false for a negative sector, a record size outside 1024-4096 or a failed
  // read.
  static bool ReadVolumeLabel(int64_t mftSector, IStorageDevice* device, char out[100], int recordSize);
  // A status record of `kind` with three values, sent when a sink is set.
  void ReportStatus(int kind, uint64_t v1, uint64_t v2, uint64_t v3);
  static constexpr int kScanNoBuffer = 0x2780004;
  static constexpr uint32_t kBatchSectors = 128;

  // Polled between batches of records (may be null).
  void SetCancelFlag(const std::atomic<int>* cancel) override { m_wiper.SetCancelFlag(cancel); }
  const CNTFSMFTWiper& GetWiper() const { return m_wiper; }

 private:
  // Nodes for the records of one batch; false when the builder refused one.
  bool AnalyzeMFTBatch(const uint8_t* batch, const std::vector<uint64_t>& sectors, uint32_t count,
                       const CNTFSMFTRecordInfo& mft, uint32_t recordSize);

  IDirecotryTreeBuilder* m_builder = nullptr;  // not owned; used by the MFT walk only
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
