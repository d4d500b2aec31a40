// The exFAT complete search: the complete recovery hands it every block of a
// device; it scans the sectors for boot sectors, FAT starts, up-case tables
// and directory groups, and at the end offers the exFAT partitions it found.
// Every entry set found during the scan is handed to the tree builder as a
// found node under a file-system node named "EXFAT"; the tree of a chosen
// partition is rebuilt afterwards from the groups attached to it.
// Everything is read through the device as given: nothing is written.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "CFileTypeEvidence.h"
#include "ExFatCandidateSet.h"
#include "ExFatEntryScanner.h"
#include "ICompleteFileSystemSearchController.h"

class CFileSystemNode;

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
  // A file node without runs (a found node) gets its clusters from its
  // stream entry: contiguous from its first cluster for its size, counted
  // from the partition's cluster heap. 1 when the node has runs afterwards.
  int LoadNodeDataRuns(CFileNode* node, CSearchedPartitionInfo* partition) override;
  void SaveSearchState(IScanStream*) override {}
  void LoadSearchState(IScanStream*) override {}
  ECompleteSearchKind GetSearchKind() override { return ECompleteSearchKind::exFAT; }

  // 0 when the block could not be read or the search is not set up, else 1.
  int ScanBlock(uint64_t firstSector, uint64_t sectorCount);
  const std::vector<std::unique_ptr<ExFatDirectoryGroup>>& Groups() const { return m_groups; }
  // Found nodes handed to the builder during the scan.
  uint64_t FoundNodes() const { return m_foundNodes; }

 private:
  bool Setup();
  // A group the scan handed out: kept, its names counted as evidence, and
  // its sets handed to the builder as found nodes.
  void OnGroupFinished(std::unique_ptr<ExFatDirectoryGroup> group);
  void AddFoundNodes(const ExFatDirectoryGroup& group);

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
  CFileTypeEvidence m_evidence;
  bool m_ended = false;
  // The root of the found nodes, once it was made; false after the builder
  // refused it or a found node (no more are offered then).
  CFileSystemNode* m_lostRoot = nullptr;
  int64_t m_lostRootId = 0;
  bool m_offerFound = true;
  uint64_t m_foundNodes = 0;
};

// A file-system node named "EXFAT" for exFAT nodes: a folder with the given
// first cluster and directory value, `id`, and the geometry its nodes' runs
// are read with.
CFileSystemNode* CreateExFatRootNode(int64_t id, uint32_t firstCluster, uint32_t directoryValue, uint64_t heapStart,
                                     uint32_t sectorsPerCluster);

// Registers the exFAT complete search for the complete recovery.
void RegisterExFatCompleteSearch();
