// The result tree of a deleted-file recovery of a known volume. It keeps
// deleted files and the folders that lead to them: a deleted node whose
// parent is a live folder reaches the root through clones of the live
// folders on the way. Live files are dropped at once; live folders wait,
// unused, until a deleted node needs them. Files in a recycle bin are paired
// with their information files ($R... with $I...) and get their former
// names back.
//
// Ownership. The tree owns its root, every node it holds (linked and
// waiting folders and files, unused live folders, the clones it makes of
// them) with everything below them, and its lost-files folder, and destroys
// them with itself; properties go with their nodes (a clone shares its
// folder's properties by reference), and run lists are never held. There is
// no RAW sub-tree here. The device and the result sink are not owned. AddNode
// and AddDeferredNode answer 1 when the node was linked and 0 when the tree
// kept it otherwise (parked, held as an unused live folder, or destroyed as
// a live file): either way the caller no longer owns it; -1 means the tree
// refused it (null, or a node that already has a parent) and the caller
// still owns it and destroys it. SetRoot takes the node at 1 and leaves it
// to the caller at 0.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "CNodeTree.h"
#include "RecycleBinNames.h"

class IRecoveryResultSink;
class IStorageDevice;

class CFileTree : public CNodeTree {
 public:
  // Recycle-bin pairing stops while more nodes than this wait for a partner.
  static constexpr size_t kMaxPendingRecycled = 200000;

  CFileTree() = default;
  ~CFileTree() override;

  // 0 for a null device, type Unknown, a null node, a node that is not a
  // file-system node or that has a parent; otherwise 1.
  int SetRoot(EFileSystemType type, CFileNode* node, IStorageDevice* device, IRecoveryResultSink* sink);
  // See Ownership. Nodes placed by this call are appended to `placed`.
  int AddNode(CFileNode* node, std::vector<CFileNode*>* placed);
  // A node kept back during the search (recycle-bin content), linked
  // whether deleted or not; an exFAT file only goes below a folder that lies
  // in a recycle bin.
  int AddDeferredNode(CFileNode* node, std::vector<CFileNode*>* placed);
  // Gives the waiting nodes a last chance through the live folders, destroys
  // the unused live folders and groups what still waits below the root; 1.
  int FinishTree(std::vector<CFileNode*>* placed);

  size_t GetUnusedLiveFolderCount() const { return m_liveFolders.size(); }
  size_t GetPendingRecycleCount() const { return m_pending.size(); }

 protected:
  void StoreLinkedFile(CFileNode* node) override;
  void CollectLinkedFiles(std::vector<CFileNode*>& out) const override;
  void ClearLinkedFiles() override { m_linkedFiles.clear(); }
  void AfterLink(CFileNode* node, std::vector<CFileNode*>* placed) override;

 private:
  int AddLiveFolder(CFileNode* folder, std::vector<CFileNode*>* placed);
  // Links the node, else reaches the root for it, else parks it.
  int Place(CFileNode* node, std::vector<CFileNode*>* placed, EParentRule rule);
  // Follows unused live folders from the node's parent id up to a linked
  // folder (ids seen twice end the chase), links clones of them from the
  // top down, then the node itself. False (nothing linked for the node) when
  // an id is missing or repeats.
  bool ReachRoot(CFileNode* node, std::vector<CFileNode*>* placed, EParentRule rule);

  std::multimap<int64_t, CFileNode*> m_linkedFiles;  // by id
  std::multimap<int64_t, CFileNode*> m_liveFolders;  // unused, by id
  IStorageDevice* m_device = nullptr;
  IRecoveryResultSink* m_sink = nullptr;
  CRecyclePendingList m_pending;
};
