#include "CPartitionTree.h"

#include <deque>
#include <unordered_set>

#include "CFileSystemNode.h"
#include "IFileProperties.h"
#include "INodeFilter.h"

EFileSystemType RawPlacementType(EPartitionKind kind) {
  switch (kind) {
    case EPartitionKind::NTFS:
      return EFileSystemType::NTFS;
    case EPartitionKind::FAT:
      return EFileSystemType::FAT32;
    case EPartitionKind::Ext2:
      return EFileSystemType::Ext2;
    case EPartitionKind::RAW:
      return EFileSystemType::RAW;
    default:
      return EFileSystemType::Unknown;
  }
}

CPartitionTree::~CPartitionTree() {
  DetachRawRoot();
  DestroyAll();
  delete m_rawTree;
}

void CPartitionTree::DetachRawRoot() {
  CFileNode* rawRoot = m_rawTree ? m_rawTree->GetRoot() : nullptr;
  if (rawRoot && rawRoot->GetParent()) rawRoot->GetParent()->RemoveChild(rawRoot);
}

void CPartitionTree::CollectLinkedFiles(std::vector<CFileNode*>& out) const {
  out.insert(out.end(), m_linkedFiles.begin(), m_linkedFiles.end());
}

int CPartitionTree::SetRoot(EFileSystemType type, CFileNode* node) {
  if (!CanBeRoot(type, node)) return 0;
  ResetCursor();
  EnterRoot(type, node);
  return 1;
}

int CPartitionTree::ReplaceRoot(EFileSystemType type, CFileNode* node) {
  if (!CanBeRoot(type, node)) return 0;
  ResetCursor();
  DetachRawRoot();
  DestroyAll(node);
  EnterRoot(type, node);
  return 1;
}

int CPartitionTree::AddNode(CFileNode* node, std::vector<CFileNode*>* placed) {
  if (!node || node->GetParent()) return -1;
  if (node == m_root) return 1;
  ResetCursor();
  if (!Link(node, placed)) {
    Park(node);
    return 0;
  }
  if (IsFolder(node)) ResolveWaitingChildren(node, placed);
  return 1;
}

int CPartitionTree::Finish(std::vector<CFileNode*>* placed) {
  if (m_type == EFileSystemType::RAW) return 1;
  CFileNode* lost = GroupLostNodes(placed);
  if (lost && m_root && !lost->GetParent()) m_root->AddChild(lost);
  return 1;
}

int CPartitionTree::AttachFilteredTree(CFileNode* node, INodeFilter* filter) {
  if (!node || !node->IsFileSystemNode() || node->GetParent()) return 0;
  ResetCursor();
  DetachRawRoot();
  const EFileSystemType type = m_type;
  DestroyAll(node);
  m_type = type != EFileSystemType::Unknown ? type : node->GetFileSystemType();
  m_root = static_cast<CFileSystemNode*>(node);
  if (m_type == EFileSystemType::exFAT) {
    m_linkedFolders.emplace(node->GetId(), node);
    return 1;
  }
  std::unordered_set<CFileNode*> seen{node};
  std::deque<CFileNode*> queue{node};
  while (!queue.empty()) {
    CFileNode* n = queue.front();
    queue.pop_front();
    if (filter && !filter->Accept(n)) {
      if (n == node) {
        // A rejected root: nothing of the built tree stays.
        m_root = nullptr;
        m_linkedFiles.clear();
        DestroySubtree(node);
        return 1;
      }
      if (n->GetParent()) n->GetParent()->RemoveChild(n);
      DestroySubtree(n);
      continue;
    }
    m_linkedFiles.push_back(n);
    for (CFileNode* c = n->GetFirstChild(); c; c = c->GetNextSibling())
      if (seen.insert(c).second) queue.push_back(c);
  }
  return 1;
}

int CPartitionTree::AddRawNode(CFileNode* node) {
  if (!node || !node->GetProperties()) return 0;
  if (RawPlacementType(node->GetProperties()->GetSearchKind()) != EFileSystemType::RAW) return 0;
  if (!m_rawTree) m_rawTree = new CPartitionTree;
  if (node->IsFileSystemNode()) return m_rawTree->SetRoot(EFileSystemType::RAW, node);
  return m_rawTree->AddNode(node, nullptr) >= 0 ? 1 : 0;
}

int CPartitionTree::AttachRawTree() {
  CFileNode* rawRoot = m_rawTree ? m_rawTree->GetRoot() : nullptr;
  if (!rawRoot || !m_root) return 0;
  if (rawRoot->GetParent() == m_root) return 1;
  for (CFileNode* c = rawRoot->GetFirstChild(); c;) {
    CFileNode* next = c->GetNextSibling();
    if (IsFolder(c) && !c->GetFirstChild()) rawRoot->RemoveChild(c);
    c = next;
  }
  if (rawRoot->GetParent()) rawRoot->GetParent()->RemoveChild(rawRoot);
  m_root->AddChild(rawRoot);
  return 1;
}

uint64_t CPartitionTree::GetNodeCount() const {
  return m_linkedFolders.size() + m_waitingFolders.size() + m_linkedFiles.size() + m_waitingFiles.size();
}

CFileNode* CPartitionTree::GetNodeAt(uint64_t index) {
  const std::multimap<int64_t, CFileNode*>* maps[4] = {&m_linkedFolders, &m_waitingFolders, nullptr, &m_waitingFiles};
  const uint64_t sizes[4] = {m_linkedFolders.size(), m_waitingFolders.size(), m_linkedFiles.size(),
                             m_waitingFiles.size()};
  int section = 0;
  while (section < 4 && index >= sizes[section]) index -= sizes[section++];
  if (section == 4) return nullptr;
  if (!maps[section]) return m_linkedFiles[index];
  const auto& map = *maps[section];
  if (index == 0)
    m_cursor = map.begin();
  else if (m_cursorSection == section && m_cursorIndex + 1 == index)
    ++m_cursor;
  else
    m_cursor = std::next(map.begin(), static_cast<std::ptrdiff_t>(index));
  m_cursorSection = section;
  m_cursorIndex = index;
  return m_cursor->second;
}

void CPartitionTree::ForgetAll() {
  ResetCursor();
  DetachRawRoot();
  ForgetCollections();
}

CFileNode* CPartitionTree::TakeAnyNode() {
  ResetCursor();
  CFileNode* node = nullptr;
  for (auto* map : {&m_linkedFolders, &m_waitingFolders}) {
    if (!node && !map->empty()) {
      node = map->begin()->second;
      map->erase(map->begin());
    }
  }
  if (!node && !m_linkedFiles.empty()) {
    node = m_linkedFiles.back();
    m_linkedFiles.pop_back();
  }
  if (!node && !m_waitingFiles.empty()) {
    node = m_waitingFiles.begin()->second;
    m_waitingFiles.erase(m_waitingFiles.begin());
  }
  if (!node) return nullptr;
  if (node->GetParent()) node->GetParent()->RemoveChild(node);
  while (CFileNode* child = node->GetFirstChild()) node->RemoveChild(child);
  if (node == m_root) m_root = nullptr;
  if (node == m_lost) m_lost = nullptr;
  return node;
}
