// The exFAT complete search: the complete recovery hands it every block of a
// device; it scans the sectors for boot sectors, FAT starts, up-case tables
// and directory groups, and at the end offers the exFAT partitions it found.
// Everything is read through the device as given: nothing is written.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ExFatCandidateSet.h"
#include "ExFatEntryScanner.h"
#include "ICompleteFileSystemSearchController.h"

class CExFatCompleteSearch : public ICompleteFileSystemSearchController {
 public:
  CExFatCompleteSearch();
  ~CExFatCompleteSearch() override;

  void SetTreeBuilder(IDirecotryTreeBuilder* builder) override;
  void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) override;
  void SetDevice(IStorageDevice* device) override { m_device = device; }
  void SetSearchOption(int sectorsPerChunk) override { m_blockSectors = sectorsPerChunk > 0 ? sectorsPerChunk : 0; }
  void StartSearch() override {}
  void EndSearch() override;
  void AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) override;
  void SetFoundFileStore(CFoundFileStore* store) override { m_store = store; }
  void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) override;
  void BuildLostFiles(std::vector<CSearchedPartitionInfo*>& partitions) override;
  int IsNodeInPartition(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  int LoadNodeDataRuns(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  void SaveSearchState(IScanStream*) override {}
  void LoadSearchState(IScanStream*) override {}
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::exFAT; }

  // 0 when the block could not be read or the search is not set up, else 1.
  int ScanBlock(uint64_t firstSector, uint64_t sectorCount);
  const std::vector<std::unique_ptr<ExFatDirectoryGroup>>& Groups() const { return m_groups; }

 private:
  bool Setup();

  IStorageDevice* m_device = nullptr;
  int m_blockSectors = 0;
  IDirecotryTreeBuilder* m_builder = nullptr;
  uint32_t m_sectorSize = 0;
  uint64_t m_deviceSectors = 0;
  ExFatScanBuffer m_buffer;
  ExFatEntryScanner m_scanner;
  ExFatCandidateSet m_candidates;
  std::vector<std::unique_ptr<ExFatDirectoryGroup>> m_groups;
  std::vector<std::unique_ptr<CExFatPartitionEx>> m_partitions;
  CFoundFileStore* m_store = nullptr;
  bool m_ended = false;
};

// Registers the exFAT complete search for the complete recovery.
void RegisterExFatCompleteSearch();
