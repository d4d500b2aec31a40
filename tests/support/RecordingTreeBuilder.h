// A directory-tree builder for engine tests, fuzz targets and benchmarks:
// it takes every node a search hands it and either keeps them in order
// (destroyed with the builder) or counts and destroys them at once. It can
// be told to refuse every node after a number of them. With it, a progress
// sink that counts its reports and can answer no after a number of questions.
//
// Header-only; its users link `scan`.
#pragma once

#include <cstdint>
#include <vector>

#include "CFileNode.h"
#include "IDirecotryTreeBuilder.h"
#include "IRecoveryResultSink.h"
#include "IScanProgressSink.h"

namespace testutil {

class RecordingTreeBuilder : public IDirecotryTreeBuilder {
 public:
  explicit RecordingTreeBuilder(bool keep = true) : m_keep(keep) {}
  ~RecordingTreeBuilder() override {
    for (CFileNode* n : nodes) DestroyFileNode(n);
  }
  int Init(const char*, IRecoveryResultSink*, INodeFilter*, ETreeBuildMode, IStorageDevice*, int) override { return 1; }
  int SetPartitionRoot(CFileNode*, CSearchedPartitionInfo*) override { return 1; }
  int AddFileSystemNode(CFileNode* root) override { return Take(root); }
  int AddPartitionNode(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  // Nodes of another tree kind than `kind` are refused.
  int AddNode(CFileNode* node, ETreeKind treeKind, int&) override {
    if (treeKind != kind || (refuseAfter >= 0 && count >= static_cast<uint64_t>(refuseAfter))) {
      ++refused;
      return 0;
    }
    return Take(node);
  }
  int AddFoundNode(CFileNode*, CSearchedPartitionInfo*) override { return 0; }
  int AddCandidate(CSearchedPartitionInfo*) override { return 0; }
  void GetCandidates(std::vector<CSearchedPartitionInfo*>&) override {}
  void FinishSearch() override {}
  void FinishPartition(CSearchedPartitionInfo*) override {}
  void FinishBuild() override {}
  uint64_t GetNodeCount() override { return count; }
  CFileNode* GetPartitionRoot(CSearchedPartitionInfo*) override { return nodes.empty() ? nullptr : nodes[0]; }
  CFileNode* FindTreeByType(EFileSystemType) override { return nullptr; }
  int GetBuildFlag() override { return 0; }
  void SetBuildFlag(int) override {}
  void SetProgressSink(IScanProgressSink*) override {}
  IScanProgressSink* GetProgressSink() override { return nullptr; }
  INodeFilter* GetNodeFilter() override { return nullptr; }

  std::vector<CFileNode*> nodes;  // kept nodes, in the order they came
  uint64_t count = 0;             // nodes taken
  int refuseAfter = -1;           // >= 0: refuse once this many were taken
  int refused = 0;
  ETreeKind kind = ETreeKind::Ext2;

 private:
  int Take(CFileNode* node) {
    ++count;
    if (m_keep)
      nodes.push_back(node);
    else
      DestroyFileNode(node);
    return 1;
  }
  bool m_keep;
};

// A recording builder that also takes the tree of a partition root, as the
// program's builder does: it owns every node below the root it was handed
// (frees them with itself) and answers that root for any partition.
class PartitionTreeKeeper : public RecordingTreeBuilder {
 public:
  PartitionTreeKeeper() : RecordingTreeBuilder(false) {}
  ~PartitionTreeKeeper() override { Free(); }
  int SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo*) override {
    Free();
    std::vector<CFileNode*> stack{root};
    while (!stack.empty()) {
      CFileNode* n = stack.back();
      stack.pop_back();
      m_tree.push_back(n);
      for (CFileNode* c = n->GetFirstChild(); c; c = c->GetNextSibling()) stack.push_back(c);
    }
    m_root = root;
    return 1;
  }
  CFileNode* GetPartitionRoot(CSearchedPartitionInfo*) override { return m_root; }
  const std::vector<CFileNode*>& Tree() const { return m_tree; }

 private:
  void Free() {
    for (CFileNode* n : m_tree) DestroyFileNode(n);
    m_tree.clear();
    m_root = nullptr;
  }
  CFileNode* m_root = nullptr;
  std::vector<CFileNode*> m_tree;
};

// A result sink that ignores what it is told.
class IgnoringResultSink : public IRecoveryResultSink {
 public:
  void OnStart(const char*) override {}
  void OnNodes(std::vector<CFileNode*>&, int) override {}
  void OnRoot(CFileNode*, int) override {}
  void OnRemove(CFileNode*) override {}
  void OnNode(CFileNode*) override {}
  void OnNodeChanged(CFileNode*) override {}
};

class CountingSink : public IScanProgressSink {
 public:
  void OnStatus(const ScanStatusRecord*) override { ++reports; }
  // With stopAfter >= 0, the stopAfter-th question is answered no.
  int ShouldContinue() override { return stopAfter < 0 || --stopAfter > 0 ? 1 : 0; }
  int reports = 0;
  int stopAfter = -1;
};

}  // namespace testutil
