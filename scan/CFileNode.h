// One file or folder of a result tree. A node links to its parent, first
// child and next sibling, carries an id and a parent id (-1: none) with
// which the builders join nodes that arrive in any order, the sector of its
// on-disk record, a check state, and one reference to shared properties.
// Destroying a node never destroys its children: the tree's owner deletes
// the nodes one by one.
#pragma once

#include <cstdint>

#include "FileSystemTypes.h"

class IFileProperties;
class IScanStream;

enum : uint8_t { kCheckNone = 0, kCheckPartly = 1, kCheckAll = 2 };

class CFileNode {
 public:
  static constexpr int64_t kNoId = -1;

  CFileNode() = default;
  CFileNode(const CFileNode&) = delete;
  CFileNode& operator=(const CFileNode&) = delete;
  // Releases the properties reference and clears the links.
  virtual ~CFileNode();

  // A new node with the same position, ids and properties (one more
  // reference); no links, user data or check state.
  virtual CFileNode* Clone() const;
  virtual int IsFileSystemNode() const { return 0; }
  // The geometry of the nearest file-system ancestor, 1; 0, 0, 0 without.
  virtual int GetPartitionGeometry(uint64_t& startSector, int& sectorsPerCluster) const;
  // The type of the nearest file-system node from this one up; Unknown
  // without.
  virtual EFileSystemType GetFileSystemType() const;
  // Plain nodes save and load nothing (0).
  virtual int Save(IScanStream*) { return 0; }
  virtual int Load(IScanStream*) { return 0; }

  CFileNode* GetParent() const { return m_parent; }
  CFileNode* GetFirstChild() const { return m_firstChild; }
  CFileNode* GetNextSibling() const { return m_nextSibling; }
  int64_t GetId() const { return m_id; }
  void SetId(int64_t id) { m_id = id; }
  int64_t GetParentId() const { return m_parentId; }
  void SetParentId(int64_t id) { m_parentId = id; }
  uint64_t GetPosition() const { return m_position; }
  void SetPosition(uint64_t sector) { m_position = sector; }
  uint8_t GetCheckState() const { return m_checkState; }
  void SetCheckState(uint8_t state) { m_checkState = state; }
  void* GetUserData() const { return m_userData; }
  void SetUserData(void* data) { m_userData = data; }
  // The node takes over the caller's reference (and drops an earlier one).
  void SetProperties(IFileProperties* properties);
  IFileProperties* GetProperties() const { return m_properties; }

  // The child becomes the first child; its parent id becomes this id.
  void AddChild(CFileNode* child);
  // The child becomes the last child; its parent id and next sibling stay.
  void AppendChild(CFileNode* child);
  // 1 when the child was unlinked, 0 when it is not a child.
  int RemoveChild(CFileNode* child);

 protected:
  void CopyIdentityTo(CFileNode& other) const;

 private:
  CFileNode* m_parent = nullptr;
  CFileNode* m_firstChild = nullptr;
  CFileNode* m_nextSibling = nullptr;
  IFileProperties* m_properties = nullptr;
  void* m_userData = nullptr;
  int64_t m_parentId = kNoId;
  int64_t m_id = kNoId;
  uint64_t m_position = 0;
  uint8_t m_checkState = kCheckNone;
};

CFileNode* CreateFileNode();
inline CFileNode* AllocFileNode() {
  return CreateFileNode();
}
void DeleteFileNode(CFileNode* node);
inline void DestroyFileNode(CFileNode* node) {
  DeleteFileNode(node);
}
