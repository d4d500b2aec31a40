// A file or folder node of the file tree. Stand-in until the scan
// framework's file model joins the build: the links and properties the FAT
// code uses.
#pragma once

#include <cstdint>

class IFileProperties;

class CFileNode {
 public:
  CFileNode() = default;
  CFileNode(const CFileNode&) = delete;
  CFileNode& operator=(const CFileNode&) = delete;
  // Releases the properties; children are not deleted.
  virtual ~CFileNode();

  // Takes over one reference of the properties, releasing earlier ones.
  void SetProperties(IFileProperties* properties);
  IFileProperties* GetProperties() const { return m_properties; }
  void SetId(int64_t id) { m_id = id; }
  int64_t GetId() const { return m_id; }
  void SetParentId(int64_t id) { m_parentId = id; }
  int64_t GetParentId() const { return m_parentId; }
  void SetPosition(uint64_t sector) { m_position = sector; }
  uint64_t GetPosition() const { return m_position; }

  // Links the child as first child.
  void AddChild(CFileNode* child);
  // False when `child` is not a child of this node.
  bool RemoveChild(CFileNode* child);
  CFileNode* GetParent() const { return m_parent; }
  CFileNode* GetFirstChild() const { return m_firstChild; }
  CFileNode* GetNextSibling() const { return m_nextSibling; }

 private:
  IFileProperties* m_properties = nullptr;
  int64_t m_id = -1;
  int64_t m_parentId = -1;
  uint64_t m_position = 0;
  CFileNode* m_parent = nullptr;
  CFileNode* m_firstChild = nullptr;
  CFileNode* m_nextSibling = nullptr;
};

CFileNode* CreateFileNode();
void DeleteFileNode(CFileNode* node);
