// What a recovery found, as `vtctl recover` lists it: one tab-separated
// record per line.
//
//   partition  number type start sectors sectors-per-cluster cluster-start-sector
//              flags points record-matches raw-matches score label
//   node       tree d|f live|deleted size id path
//   cap        name dropped
//
// Partition lines come for every candidate the evaluation saw, numbered 1..
// in the order their trees were built (0: not chosen); flags: 1 chosen by
// the evaluation, 2 the proximity mark. Node lines walk each tree depth
// first, siblings by name, with paths relative to the tree's root. Names
// are UTF-8; "/", "\", control characters (tab and newline among them),
// DEL and bytes that are not UTF-8 are written \xHH, so a path joined by "/"
// reads back unambiguously.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "FileSystemTypes.h"
#include "INodeFilter.h"
#include "IRecoveryResultSink.h"
#include "IScanProgressSink.h"

class CFileNode;
class CSearchedPartitionInfo;

// One name with the escapes above.
std::string EscapeListedName(const char* name, size_t length);
// "FAT12", "FAT16", "FAT32", "NTFS", "EXT2", "EXT3", "RAW", "EXFAT", "HFS+",
// else "UNKNOWN".
const char* ListedTypeName(EFileSystemType type);

struct ListedPartition {
  int number = 0;  // 0: no tree
  CSearchedPartitionInfo* partition = nullptr;
  std::string label;
};

struct ListedNode {
  int tree = 0;
  CFileNode* node = nullptr;
  std::string path;
};

class RecoveryListing {
 public:
  // Partitions in the order given; `chosen` numbers them 1.. (others 0).
  void AddPartitions(const std::vector<CSearchedPartitionInfo*>& all,
                     const std::vector<CSearchedPartitionInfo*>& chosen);
  // Tree `number` below `root` (the root itself is not listed); its
  // partition's label is the root's name.
  void AddTree(int number, CFileNode* root);
  // A cap that dropped `dropped` of what it limits.
  void AddCap(const std::string& name, uint64_t dropped);

  void Write(FILE* out) const;
  const std::vector<ListedNode>& Nodes() const { return m_nodes; }
  bool HasTrees() const { return m_trees > 0; }
  // The node of tree `tree` (0: any tree, the first that has it) at the
  // listed `path`; null when there is none.
  CFileNode* Find(int tree, const std::string& path) const;

 private:
  void AddChildren(int tree, CFileNode* folder, const std::string& prefix, int depth);

  std::vector<ListedPartition> m_partitions;
  std::vector<ListedNode> m_nodes;
  std::vector<std::pair<std::string, uint64_t>> m_caps;
  int m_trees = 0;
};

// The result sink, progress sink and node filter of a listing run: keeps
// every node, remembers the roots shown and not removed, and lets the scan
// run to its end.
class RecoveryCollector : public IRecoveryResultSink, public IScanProgressSink, public INodeFilter {
 public:
  void OnStart(const char*) override {}
  void OnNodes(std::vector<CFileNode*>&, int) override {}
  void OnRoot(CFileNode* root, int final) override;
  void OnRemove(CFileNode* root) override;
  void OnNode(CFileNode*) override {}
  void OnNodeChanged(CFileNode*) override {}
  void OnStatus(const ScanStatusRecord*) override {}
  int ShouldContinue() override { return 1; }
  int Accept(CFileNode*) override { return 1; }

  const std::vector<CFileNode*>& Roots() const { return m_roots; }

 private:
  std::vector<CFileNode*> m_roots;
};
