// The program's directory-tree builder. It works in one of two modes, fixed
// by Init:
//  - complete: one CPartitionTree per file-system root the searches announce
//    (AddFileSystemNode), filled by AddNode during the device scan. When the
//    scan ends (FinishSearch) the evaluation chooses the partitions to build;
//    each chosen partition gets a tree of its own under a clone of its
//    file-system root, which the searches then fill (SetPartitionRoot,
//    AddPartitionNode, AddFoundNode, FinishPartition) before FinishBuild
//    shows them.
//  - quick: one CFileTree of deleted files and the folders that lead to
//    them. The recycle bin's content is held back until the search ends and
//    its files get their former names from their information files ($I...).
//
// Ownership. The builder owns every tree and, through them, every node they
// hold; it destroys them with itself. A node handed to AddNode,
// AddPartitionNode or AddFoundNode belongs to the builder when the answer is
// not 0 (kept or destroyed here); at 0 it stays the caller's, except for
// AddFoundNode, which always takes its node (one it cannot place is
// destroyed). An HFS+ node the builder refuses is never destroyed here: its
// search keeps it. When the search ends, an HFS+ tree hands its nodes back
// to its search, which builds its partitions from them. Candidate
// partitions are borrowed.
//
// Caps. Nodes beyond the added-node limit are destroyed; candidates whose
// nodes would push the counted total past the counted-node limit are not
// built; chosen partitions beyond the evaluation's maximum are not built.
// Each is noted once with its count (NoteCap), logged and kept for
// GetCapNotes.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "CEvaluation.h"
#include "IDirecotryTreeBuilder.h"
#include "RecycleBinNames.h"

class CFileSystemNode;
class CFileTree;
class CNodeTree;
class CPartitionTree;

// The node limits of the builder; tests inject small ones.
struct TreeBuilderLimits {
  // Nodes AddNode keeps in the complete mode; later ones are destroyed.
  uint64_t addedNodes = 3000000;
  // Nodes counted over the candidates when the partitions are chosen.
  uint64_t countedNodes = 7000000;
};

class CDirectoryTreeBuilder : public IDirecotryTreeBuilder {
 public:
  static constexpr const char* kAddedNodesCapName = "added nodes";
  static constexpr const char* kCountedNodesCapName = "counted nodes";

  struct CapNote {
    std::string name;
    uint64_t dropped = 0;
  };

  CDirectoryTreeBuilder();
  explicit CDirectoryTreeBuilder(const TreeBuilderLimits& limits);
  ~CDirectoryTreeBuilder() override;
  CDirectoryTreeBuilder(const CDirectoryTreeBuilder&) = delete;
  CDirectoryTreeBuilder& operator=(const CDirectoryTreeBuilder&) = delete;

  // 0 when the volume name, the result sink, the filter or the device is
  // null.
  int Init(const char* volumeName, IRecoveryResultSink* results, INodeFilter* filter, ETreeBuildMode mode,
           IStorageDevice* device, int manyChoices) override;
  int SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo* partition) override;
  int AddFileSystemNode(CFileNode* root) override;
  int AddPartitionNode(CFileNode* node, CSearchedPartitionInfo* partition) override;
  int AddNode(CFileNode* node, ETreeKind kind, int& error) override;
  int AddFoundNode(CFileNode* node, CSearchedPartitionInfo* partition) override;
  int AddCandidate(CSearchedPartitionInfo* partition) override;
  // Before FinishSearch the evaluation's choice; afterwards the partitions
  // that got a tree, in the order of their trees.
  void GetCandidates(std::vector<CSearchedPartitionInfo*>& chosen) override;
  void FinishSearch() override;
  void FinishPartition(CSearchedPartitionInfo* partition) override;
  void FinishBuild() override;
  uint64_t GetNodeCount() override { return m_nodeCount; }
  CFileNode* GetPartitionRoot(CSearchedPartitionInfo* partition) override;
  CFileNode* FindTreeByType(EFileSystemType type) override;
  int GetBuildFlag() override { return m_buildFlag; }
  void SetBuildFlag(int flag) override { m_buildFlag = flag; }
  void SetProgressSink(IScanProgressSink* sink) override { m_progress = sink; }
  IScanProgressSink* GetProgressSink() override { return m_progress; }
  INodeFilter* GetNodeFilter() override { return m_filter; }
  // Logs the cap once with its count and keeps it (counts of one name add).
  void NoteCap(const char* name, uint64_t dropped) override;

  const std::vector<CapNote>& GetCapNotes() const { return m_caps; }
  // Files (not folders) among the nodes counted by GetNodeCount.
  uint64_t GetFileCount() const { return m_fileCount; }
  const CEvaluation& GetEvaluation() const { return m_evaluation; }
  const std::vector<CPartitionTree*>& GetTrees() const { return m_trees; }
  CFileTree* GetQuickTree() const { return m_quickTree; }

 protected:
  // The placeholder root of a chosen partition's new tree (a clone of its
  // file-system root); null fails that tree.
  virtual CFileNode* CloneTreeRoot(const CFileSystemNode& root);

 private:
  struct Pairing {
    CSearchedPartitionInfo* partition;
    CPartitionTree* tree;
  };

  bool IsComplete() const { return m_mode == ETreeBuildMode::Complete; }
  // Filter, size and properties: false when the node is no result.
  bool IsAcceptable(CFileNode* node);
  int AddCompleteNode(CFileNode* node, ETreeKind kind, int& error);
  int AddQuickNode(CFileNode* node);
  // Shows the tree on its first link and delivers what was placed.
  void Deliver(CNodeTree* tree, std::vector<CFileNode*>& placed, bool deliver);

  CPartitionTree* TreeOfPartition(const CSearchedPartitionInfo* partition) const;
  CPartitionTree* TreeOfKind(ETreeKind kind) const;
  CPartitionTree* RawTree();
  void FindExt2Tree();
  bool BelongsTo(CSearchedPartitionInfo* partition, CPartitionTree* tree) const;
  uint64_t CountNodesIn(CPartitionTree* tree, CSearchedPartitionInfo* partition) const;
  void SelectChosenPartitions(std::vector<Pairing>& pairs);
  // The new trees of `tree`'s partitions, appended to `out`; false (nothing
  // appended) when one could not be made.
  bool CreateNewTrees(CPartitionTree* tree, const std::vector<CSearchedPartitionInfo*>& partitions,
                      std::vector<CPartitionTree*>& out);
  void RemoveTree(CPartitionTree* tree);
  // Held back in the quick mode: 1, else 0.
  int Hold(CFileNode* node);
  // Renames a held $R... node from its information file, which is then
  // destroyed.
  void PairRecycledFile(CFileNode* node);
  void PlaceHeldNodes();
  void DestroyHeldNodes();
  void NoteDroppedNodes();

  std::string m_volumeName;
  IRecoveryResultSink* m_results = nullptr;
  INodeFilter* m_filter = nullptr;
  IStorageDevice* m_device = nullptr;
  IScanProgressSink* m_progress = nullptr;
  ETreeBuildMode m_mode = ETreeBuildMode::Quick;
  TreeBuilderLimits m_limits;
  CEvaluation m_evaluation;
  std::vector<CPartitionTree*> m_trees;           // owned
  std::vector<CSearchedPartitionInfo*> m_chosen;  // borrowed
  CPartitionTree* m_ext2Tree = nullptr;           // one of m_trees
  CFileTree* m_quickTree = nullptr;               // owned
  // Quick mode: the recycle bin's nodes held back until the search ends.
  std::vector<CFileNode*> m_heldFolders;        // owned
  std::vector<CFileNode*> m_heldFiles;          // owned
  std::unordered_set<CFileNode*> m_indexFiles;  // owned, $I...
  CRecyclePendingList m_indexByName;            // the same, by name
  std::unordered_set<int64_t> m_heldIds;        // of the held folders
  uint64_t m_nodeCount = 0;
  uint64_t m_fileCount = 0;
  uint64_t m_droppedNodes = 0;
  bool m_droppedNoted = false;
  bool m_selected = false;
  int m_building = 0;
  int m_buildFlag = 0;
  std::vector<CapNote> m_caps;
};

// A name of more than one character starting "#R" or "$R" that does not
// occur within "$RmMetadata$Reparse$Repair".
bool IsRecycledFileName(const CFileNode* node);
