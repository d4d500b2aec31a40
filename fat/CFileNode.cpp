#include "CFileNode.h"

#include "IFileProperties.h"

CFileNode::~CFileNode() {
  if (m_properties) m_properties->Release();
}

void CFileNode::SetProperties(IFileProperties* properties) {
  if (m_properties == properties) return;
  if (m_properties) m_properties->Release();
  m_properties = properties;
}

void CFileNode::AddChild(CFileNode* child) {
  if (child == nullptr || child == this) return;
  child->m_parent = this;
  child->m_parentId = m_id;
  child->m_nextSibling = m_firstChild;
  m_firstChild = child;
}

bool CFileNode::RemoveChild(CFileNode* child) {
  CFileNode** link = &m_firstChild;
  while (*link != nullptr) {
    if (*link == child) {
      *link = child->m_nextSibling;
      child->m_nextSibling = nullptr;
      child->m_parent = nullptr;
      return true;
    }
    link = &(*link)->m_nextSibling;
  }
  return false;
}

CFileNode* CreateFileNode() { return new CFileNode(); }

void DeleteFileNode(CFileNode* node) { delete node; }
