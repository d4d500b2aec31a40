// The search controllers through which the file-system engines plug into the
// recovery controllers. A quick search walks the file system of one known
// volume; a complete search reads a whole device chunk by chunk and finds
// partitions from their traces.
#pragma once

#include <cstdint>
#include <vector>

#include "FileSystemTypes.h"

class CFileNode;
class CFoundFileStore;
class CSearchedPartitionInfo;
class IDirecotryTreeBuilder;
class IScanProgressSink;
class IScanStream;
class IStorageDevice;

class IFileSystemSearchController {
 public:
  virtual ~IFileSystemSearchController() = default;
  virtual void SetTreeBuilder(IDirecotryTreeBuilder* builder) = 0;
  // Appends the partitions known so far; the records stay the controller's.
  virtual void GetPartitions(std::vector<CSearchedPartitionInfo*>& partitions) = 0;
};

// The volume location a quick search may write to when it scrubs: the
// mount-driver device number and the volume's first sector on that device.
// It travels as the two arguments of SetOptions; a quick search that never
// received SetOptions has no target and writes nothing.
struct WipeTarget {
  static constexpr int32_t kNoDevice = -1;
  int32_t deviceNumber = kNoDevice;
  uint64_t startSector = 0;
  bool IsSet() const { return deviceNumber >= 0; }
};

class IQuickFileSystemSearchController : public IFileSystemSearchController {
 public:
  // Walks the volume; an engine error code (0 success). `sink` may be null.
  virtual int QuickSearchFiles(IStorageDevice* volume, IScanProgressSink* sink) = 0;
  // The write target (WipeTarget). Searches that never write ignore it.
  virtual void SetOptions(int deviceNumber, uint64_t partitionStartSector) = 0;
};

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
};
