// What the partition tree (complete recovery) and the quick file tree share:
// joining nodes that arrive in any order by id and parent id, parking the
// ones whose parent has not arrived, and gathering what stayed unjoined
// under a folder named "Other lost files" (id -14).
//
// Ownership: the tree owns its root, every node in its collections (linked
// and waiting folders and files), its lost-files folder and every node
// below any of them, and destroys them all exactly once with itself. Ids
// come from disk and may repeat or form cycles: no walk here follows ids
// without a visited set, and no node is ever linked below itself.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "FileSystemTypes.h"

class CFileNode;
class CFileSystemNode;

class CNodeTree {
 public:
  static constexpr int64_t kLostFilesId = -14;

  CNodeTree() = default;
  CNodeTree(const CNodeTree&) = delete;
  CNodeTree& operator=(const CNodeTree&) = delete;
  virtual ~CNodeTree() = default;

  EFileSystemType GetFileSystemType() const { return m_type; }
  CFileSystemNode* GetRoot() const { return m_root; }
  // Null until lost nodes were grouped.
  CFileNode* GetLostFilesFolder() const { return m_lost; }
  int IsShown() const { return m_shown; }
  void SetShown(int shown) { m_shown = shown; }

  // The node has the directory attribute.
  static bool IsFolder(const CFileNode* node);
  // Destroys the node and everything below it.
  static void DestroySubtree(CFileNode* node);

 protected:
  enum class EParentRule {
    Usual,       // by creation time among folders of the same id
    RecycleBin,  // an exFAT file kept back for the recycle bin
  };

  // A usable root: a known type and a file-system node without a parent.
  static bool CanBeRoot(EFileSystemType type, const CFileNode* node);
  // `ancestor` is `node` or lies on its parent chain.
  static bool IsSelfOrAncestor(const CFileNode* ancestor, const CFileNode* node);

  void EnterRoot(EFileSystemType type, CFileNode* root);
  // The linked folder the node goes under, or null.
  CFileNode* ChooseParent(CFileNode* node, EParentRule rule) const;
  // Links the node under its parent (1) or leaves it untouched (0).
  int Link(CFileNode* node, std::vector<CFileNode*>* out, EParentRule rule = EParentRule::Usual);
  // Links the nodes waiting for this linked folder, breadth first through
  // the folders among them.
  void ResolveWaitingChildren(CFileNode* folder, std::vector<CFileNode*>* out);
  void Park(CFileNode* node);
  // Takes a waiting node out of its map; false when it is not there.
  bool Unpark(CFileNode* node);
  bool HasWaitingNodes() const { return !m_waitingFolders.empty() || !m_waitingFiles.empty(); }
  // Groups the waiting nodes: waiting folders take their waiting children,
  // the rest go under the lost-files folder. Null when nothing was lost or
  // the type has no lost-files folder.
  CFileNode* GroupLostNodes(std::vector<CFileNode*>* out);
  // Destroys everything held except `spare` and its subtree, and forgets it.
  void DestroyAll(CFileNode* spare = nullptr);
  void ForgetCollections();

  // Where each tree keeps its linked files.
  virtual void StoreLinkedFile(CFileNode* node) = 0;
  virtual void CollectLinkedFiles(std::vector<CFileNode*>& out) const = 0;
  virtual void ClearLinkedFiles() = 0;
  // Called after every link (the quick tree pairs recycle-bin files here).
  virtual void AfterLink(CFileNode* node, std::vector<CFileNode*>* out) {
    (void)node;
    (void)out;
  }

  EFileSystemType m_type = EFileSystemType::Unknown;
  CFileSystemNode* m_root = nullptr;
  CFileNode* m_lost = nullptr;
  std::multimap<int64_t, CFileNode*> m_linkedFolders;   // by id, the root included
  std::multimap<int64_t, CFileNode*> m_waitingFolders;  // by parent id
  std::multimap<int64_t, CFileNode*> m_waitingFiles;    // by parent id
  std::vector<CFileNode*> m_pruned;                     // emptied below the lost-files folder; still held
  int m_shown = 0;
};

// A new folder node with id -14 named "Other lost files" whose properties
// are the member of the type (an HFS+ one also marked deleted 9); null for a
// type without a member.
CFileNode* CreateLostFilesFolder(EFileSystemType type);
