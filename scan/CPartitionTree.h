// The result tree of one file system or found partition in a complete
// recovery. Engines hand nodes over in whatever order they meet them; the
// tree joins them by id and parent id as they come, parks the ones whose
// parent has not arrived, and at the end gathers what stayed unjoined under
// "Other lost files" (id -14). Carved files placed in the partition live in
// a RAW sub-tree until they are attached below the root.
//
// Ownership. The tree owns its root, every node it holds (linked and
// waiting folders and files) with everything below them, its lost-files
// folder and its RAW sub-tree, and destroys them with itself; properties go
// with their nodes (each node drops its reference), and run lists are never
// held: IFileProperties::GetDataRunList hands a new list to whoever asks.
// The partition is not owned. AddNode answers 1 when the node was linked
// and 0 when it was parked: either way the tree owns it from then on; -1
// means the tree refused it (null, or a node that already has a parent) and
// the caller still owns it and destroys it. SetRoot, ReplaceRoot and
// AttachFilteredTree take the node when they answer 1 and leave it to the
// caller at 0; AddRawNode likewise (the RAW sub-tree owns what it took).
// ForgetAll hands everything the tree held (root and lost-files folder
// included) to the caller; TakeAnyNode hands over one node, unlinked from its
// parent and children.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "CNodeTree.h"

class CSearchedPartitionInfo;
class INodeFilter;

class CPartitionTree : public CNodeTree {
 public:
  CPartitionTree() = default;
  ~CPartitionTree() override;

  // 0 for type Unknown, a null node, a node that is not a file-system node
  // or that has a parent; otherwise the root is kept and entered among the
  // linked folders by its id (1).
  int SetRoot(EFileSystemType type, CFileNode* node);
  // The same refusals; the tree's earlier content (old root and all below
  // and beside it, not the RAW sub-tree) is destroyed first.
  int ReplaceRoot(EFileSystemType type, CFileNode* node);
  // 1 linked, 0 parked, -1 refused (see Ownership). Nodes placed by this call
  // (the node and the waiting nodes it resolved) are appended to `placed`.
  int AddNode(CFileNode* node, std::vector<CFileNode*>* placed);
  // Groups the lost nodes below the root (not for RAW trees); 1.
  int Finish(std::vector<CFileNode*>* placed);
  // Takes a built file-system tree as the tree's content: the earlier content
  // is destroyed and the node becomes the root. An exFAT root is entered by
  // its id only (the subtree below it is still the tree's). Otherwise the
  // subtree is walked breadth first: each node the filter accepts (a null
  // filter accepts all) joins the linked files; a rejected node is destroyed
  // with its whole subtree, and a rejected root leaves an empty tree. 0 for a
  // null node, a node that is not a file-system node or has a parent.
  int AttachFilteredTree(CFileNode* node, INodeFilter* filter);
  // Carved files only (properties of search kind RAW): a file-system node
  // becomes the RAW sub-tree's root, any other node is added to it. 1 taken,
  // 0 left to the caller.
  int AddRawNode(CFileNode* node);
  // The RAW sub-tree's childless top-level folders are unlinked (it still
  // holds them) and its root becomes the first child of this root. 0 without
  // a RAW sub-tree, a RAW root or a root here.
  int AttachRawTree();
  CPartitionTree* GetRawTree() const { return m_rawTree; }

  void SetPartition(CSearchedPartitionInfo* partition) { m_partition = partition; }
  CSearchedPartitionInfo* GetPartition() const { return m_partition; }

  // Linked folders + waiting folders + linked files + waiting files.
  uint64_t GetNodeCount() const;
  // Sequential access in that order; index 0 of a section starts it, the
  // next index continues from the node returned before (any other index is
  // found by counting). Null past the end.
  CFileNode* GetNodeAt(uint64_t index);
  // The tree holds nothing afterwards (the RAW sub-tree stays); the nodes
  // are not destroyed: their ownership has moved.
  void ForgetAll();
  // Removes one node from the first non-empty of linked folders, waiting
  // folders, linked files and waiting files, unlinks it from its parent and
  // its children, and hands it over; null when the tree holds none.
  CFileNode* TakeAnyNode();

 protected:
  void StoreLinkedFile(CFileNode* node) override { m_linkedFiles.push_back(node); }
  void CollectLinkedFiles(std::vector<CFileNode*>& out) const override;
  void ClearLinkedFiles() override { m_linkedFiles.clear(); }

 private:
  // The RAW root leaves this root before this tree's nodes go.
  void DetachRawRoot();
  void ResetCursor() { m_cursorSection = -1; }

  std::vector<CFileNode*> m_linkedFiles;
  int m_cursorSection = -1;
  uint64_t m_cursorIndex = 0;
  std::multimap<int64_t, CFileNode*>::const_iterator m_cursor;
  CSearchedPartitionInfo* m_partition = nullptr;
  CPartitionTree* m_rawTree = nullptr;
};

// The file-system type whose tree takes nodes of this search kind: NTFS,
// FAT32, Ext2 and RAW for kinds 0 to 3, Unknown for the others.
EFileSystemType RawPlacementType(EPartitionKind kind);
