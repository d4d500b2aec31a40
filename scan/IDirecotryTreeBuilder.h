// The directory-tree builder turns the nodes the searches find into result
// trees and hands them to the caller's result sink; the caller's node filter
// decides which nodes are kept. CreateDirectoryTreeBuilder (ScanEngineRegistry.h)
// makes the program's builder.
#pragma once

#include <cstdint>
#include <vector>

#include "FileSystemTypes.h"

class CFileNode;
class CSearchedPartitionInfo;
class IScanProgressSink;
class INodeFilter;
class IRecoveryResultSink;
class IStorageDevice;

enum class ETreeBuildMode : int { Quick = 0, Complete = 1 };

class IDirecotryTreeBuilder {
 public:
  virtual ~IDirecotryTreeBuilder() = default;
  virtual int Init(const char* volumeName, IRecoveryResultSink* results, INodeFilter* filter, ETreeBuildMode mode,
                   IStorageDevice* device, int manyChoices) = 0;
  virtual int SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo* partition) = 0;
  virtual int AddFileSystemNode(CFileNode* root) = 0;
  // 0 when refused (the caller then deletes the node).
  virtual int AddPartitionNode(CFileNode* node, CSearchedPartitionInfo* partition) = 0;
  // Non-zero when the builder took the node; a refusal leaves it to the caller.
  virtual int AddNode(CFileNode* node, ETreeKind kind, int& error) = 0;
  // The builder always takes the node: 0 when it could not place it (it is
  // then destroyed).
  virtual int AddFoundNode(CFileNode* node, CSearchedPartitionInfo* partition) = 0;
  virtual int AddCandidate(CSearchedPartitionInfo* partition) = 0;
  virtual void GetCandidates(std::vector<CSearchedPartitionInfo*>& chosen) = 0;
  virtual void FinishSearch() = 0;
  virtual void FinishPartition(CSearchedPartitionInfo* partition) = 0;
  virtual void FinishBuild() = 0;
  virtual uint64_t GetNodeCount() = 0;
  virtual CFileNode* GetPartitionRoot(CSearchedPartitionInfo* partition) = 0;
  // The root of the first tree of the type, or null.
  virtual CFileNode* FindTreeByType(EFileSystemType type) = 0;
  virtual int GetBuildFlag() = 0;
  virtual void SetBuildFlag(int flag) = 0;
  // Deletes the builder.
  virtual void Release() { delete this; }
  virtual void SetProgressSink(IScanProgressSink* sink) = 0;
  virtual IScanProgressSink* GetProgressSink() = 0;
  virtual INodeFilter* GetNodeFilter() = 0;
  // Every cap that drops something (nodes beyond the node limits,
  // partitions beyond the maximum chosen...) is noted here once with its
  // name and how many it dropped; a builder that wraps another forwards it.
  virtual void NoteCap(const char* name, uint64_t dropped) {
    (void)name;
    (void)dropped;
  }
};
