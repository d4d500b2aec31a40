// A tree builder between the HFS+ searches and the real builder: it passes
// every call on, and drops nodes that would show the same catalog record
// twice (a record met in several node copies, the live tree and the
// journal) or that are hidden.
//
// Hidden names: every name that begins with "." is dropped, as the
// volume's own private folder "HFS+ Private Data" is (a name of that
// length holding that text). Users see Finder's view of the volume, where
// dot files are invisible; this is deliberate.
//
// The filter never owns the wrapped builder: Release deletes the filter
// alone. It remembers the nodes it passed on, not owning them.
#pragma once

#include <cstdint>
#include <map>

#include "IDirecotryTreeBuilder.h"

class DetourDirectoryTree : public IDirecotryTreeBuilder {
 public:
  DetourDirectoryTree() = default;
  ~DetourDirectoryTree() override;

  void SetTarget(IDirecotryTreeBuilder* builder) { m_target = builder; }
  IDirecotryTreeBuilder* GetTarget() const { return m_target; }

  int Init(const char* volumeName, IRecoveryResultSink* results, INodeFilter* filter, ETreeBuildMode mode,
           IStorageDevice* device, int manyChoices) override;
  int SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo* partition) override;
  int AddFileSystemNode(CFileNode* root) override;
  int AddPartitionNode(CFileNode* node, CSearchedPartitionInfo* partition) override;
  // Always 1: the node is passed on (the wrapped builder's when it takes
  // it) or destroyed here.
  int AddNode(CFileNode* node, ETreeKind kind, int& error) override;
  int AddFoundNode(CFileNode* node, CSearchedPartitionInfo* partition) override;
  int AddCandidate(CSearchedPartitionInfo* partition) override;
  void GetCandidates(std::vector<CSearchedPartitionInfo*>& chosen) override;
  void FinishSearch() override;
  void FinishPartition(CSearchedPartitionInfo* partition) override;
  void FinishBuild() override;
  uint64_t GetNodeCount() override;
  CFileNode* GetPartitionRoot(CSearchedPartitionInfo* partition) override;
  CFileNode* FindTreeByType(EFileSystemType type) override;
  int GetBuildFlag() override;
  void SetBuildFlag(int flag) override;
  // Deletes this filter; the wrapped builder stays its owner's.
  void Release() override { delete this; }
  void SetProgressSink(IScanProgressSink* sink) override;
  IScanProgressSink* GetProgressSink() override;
  INodeFilter* GetNodeFilter() override;
  void NoteCap(const char* name, uint64_t dropped) override;

 private:
  // Whether an earlier node passed on is the same record as `node`.
  bool IsPassedOn(CFileNode* node, uint64_t firstRunStart) const;

  IDirecotryTreeBuilder* m_target = nullptr;
  std::multimap<int64_t, CFileNode*> m_passed;
};
