// The interface of complete searches: they read a whole device chunk by
// chunk and find partitions from their traces.
#pragma once

#include "IFileSystemSearchController.h"

class ICompleteFileSystemSearchController : public IFileSystemSearchController {
 public:
  // The (cached) device that is scanned.
  virtual void SetDevice(IStorageDevice* device) = 0;
  // The chunk size in sectors.
  virtual void SetSearchOption(int sectorsPerChunk) = 0;
  virtual void StartSearch() = 0;
  // Settles the candidates after the last chunk.
  virtual void EndSearch() {}
  // One chunk; chunks arrive in ascending order without gaps.
  virtual void AnalyzeBlock(uint64_t firstSector, uint64_t sectorCount) = 0;
  virtual void SetFoundFileStore(CFoundFileStore* store) = 0;
  // The partitions chosen for this controller (one at a time).
  virtual void BuildPartitionTrees(std::vector<CSearchedPartitionInfo*>& partitions) = 0;
  virtual void BuildLostFiles(std::vector<CSearchedPartitionInfo*>& partitions) = 0;
  virtual int IsNodeInPartition(CFileNode* node, CSearchedPartitionInfo* partition) = 0;
  // Fills in a node's data runs on demand.
  virtual int LoadNodeDataRuns(CFileNode* node, CSearchedPartitionInfo* partition) = 0;
  virtual void SaveSearchState(IScanStream* stream) = 0;
  virtual void LoadSearchState(IScanStream* stream) = 0;
  virtual ECompleteSearchKind GetSearchKind() = 0;
  virtual void SetProgressSink(IScanProgressSink* sink) { (void)sink; }
  // The partition this search associated with a file-system root node, or
  // null. The tree builder asks a partition's owner before it takes an Ext2
  // or Ext3 partition for a tree.
  virtual CSearchedPartitionInfo* FindPartitionOfNode(CFileNode* root) {
    (void)root;
    return nullptr;
  }
};
