#include "CFileNode.h"

#include "IFileProperties.h"

namespace {
// Bounds every upward walk: a damaged or cyclic chain of parents ends.
constexpr int kMaxDepth = 1 << 16;
}  // namespace

CFileNode::~CFileNode() {
  if (m_properties) m_properties->Release();
  m_properties = nullptr;
  m_parent = m_firstChild = m_nextSibling = nullptr;
}

void CFileNode::CopyIdentityTo(CFileNode& other) const {
  other.m_position = m_position;
  other.m_id = m_id;
  other.m_parentId = m_parentId;
}

CFileNode* CFileNode::Clone() const {
  auto* copy = new CFileNode;
  CopyIdentityTo(*copy);
  if (m_properties) {
    m_properties->AddRef();
    copy->m_properties = m_properties;
  }
  return copy;
}

int CFileNode::GetPartitionGeometry(uint64_t& startSector, int& sectorsPerCluster) const {
  int depth = 0;
  for (const CFileNode* n = m_parent; n && depth < kMaxDepth; n = n->m_parent, ++depth)
    if (n->IsFileSystemNode()) return n->GetPartitionGeometry(startSector, sectorsPerCluster);
  startSector = 0;
  sectorsPerCluster = 0;
  return 0;
}

EFileSystemType CFileNode::GetFileSystemType() const {
  int depth = 0;
  for (const CFileNode* n = m_parent; n && depth < kMaxDepth; n = n->m_parent, ++depth)
    if (n->IsFileSystemNode()) return n->GetFileSystemType();
  return EFileSystemType::Unknown;
}

void CFileNode::SetProperties(IFileProperties* properties) {
  // Giving the node the properties it holds already drops the extra reference.
  if (m_properties) m_properties->Release();
  m_properties = properties;
}

void CFileNode::AddChild(CFileNode* child) {
  if (!child) return;
  child->m_nextSibling = m_firstChild;
  child->m_parent = this;
  child->m_parentId = m_id;
  m_firstChild = child;
}

void CFileNode::AppendChild(CFileNode* child) {
  if (!child) return;
  child->m_parent = this;
  if (!m_firstChild) {
    m_firstChild = child;
    return;
  }
  CFileNode* last = m_firstChild;
  while (last->m_nextSibling) last = last->m_nextSibling;
  last->m_nextSibling = child;
}

int CFileNode::RemoveChild(CFileNode* child) {
  if (!child) return 0;
  CFileNode** link = &m_firstChild;
  while (*link && *link != child) link = &(*link)->m_nextSibling;
  if (!*link) return 0;
  *link = child->m_nextSibling;
  child->m_parent = nullptr;
  child->m_nextSibling = nullptr;
  return 1;
}

CFileNode* CreateFileNode() {
  return new CFileNode;
}

void DeleteFileNode(CFileNode* node) {
  delete node;
}
