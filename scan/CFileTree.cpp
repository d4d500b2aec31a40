#include "CFileTree.h"

#include <string>
#include <unordered_set>

#include "CFileSystemNode.h"
#include "IFileProperties.h"
#include "IRecoveryResultSink.h"

namespace {

bool IsDeletedNode(const CFileNode* node) {
  const IFileProperties* p = node->GetProperties();
  return p && (p->IsDeleted() & 1);
}

}  // namespace

CFileTree::~CFileTree() {
  for (auto& entry : m_liveFolders) DeleteFileNode(entry.second);
  m_liveFolders.clear();
  DestroyAll();
}

void CFileTree::StoreLinkedFile(CFileNode* node) {
  m_linkedFiles.emplace(node->GetId(), node);
}

void CFileTree::CollectLinkedFiles(std::vector<CFileNode*>& out) const {
  for (auto& entry : m_linkedFiles) out.push_back(entry.second);
}

int CFileTree::SetRoot(EFileSystemType type, CFileNode* node, IStorageDevice* device, IRecoveryResultSink* sink) {
  if (!device || !CanBeRoot(type, node)) return 0;
  m_device = device;
  m_sink = sink;
  EnterRoot(type, node);
  return 1;
}

int CFileTree::AddNode(CFileNode* node, std::vector<CFileNode*>* placed) {
  if (!node || node->GetParent()) return -1;
  if (node == m_root) return 1;
  if (!IsDeletedNode(node)) {
    if (IsFolder(node)) return AddLiveFolder(node, placed);
    DeleteFileNode(node);  // live files are no results
    return 0;
  }
  return Place(node, placed, EParentRule::Usual);
}

int CFileTree::AddDeferredNode(CFileNode* node, std::vector<CFileNode*>* placed) {
  if (!node || node->GetParent()) return -1;
  if (node == m_root) return 1;
  const IFileProperties* p = node->GetProperties();
  const bool exFatFile = p && p->GetSearchKind() == EPartitionKind::exFAT && !IsFolder(node);
  return Place(node, placed, exFatFile ? EParentRule::RecycleBin : EParentRule::Usual);
}

int CFileTree::Place(CFileNode* node, std::vector<CFileNode*>* placed, EParentRule rule) {
  if (Link(node, placed, rule)) {
    if (IsFolder(node)) ResolveWaitingChildren(node, placed);
    return 1;
  }
  if (ReachRoot(node, placed, rule)) return 1;
  Park(node);
  return 0;
}

int CFileTree::AddLiveFolder(CFileNode* folder, std::vector<CFileNode*>* placed) {
  const int64_t id = folder->GetId();
  if ((m_waitingFolders.count(id) || m_waitingFiles.count(id)) && ReachRoot(folder, placed, EParentRule::Usual))
    return 1;
  m_liveFolders.emplace(id, folder);
  return 0;
}

bool CFileTree::ReachRoot(CFileNode* node, std::vector<CFileNode*>* placed, EParentRule rule) {
  std::vector<CFileNode*> chain;
  std::unordered_set<int64_t> visited;
  for (int64_t id = node->GetParentId(); !m_linkedFolders.count(id);) {
    if (!visited.insert(id).second) return false;  // a cycle of live folders
    auto it = m_liveFolders.find(id);
    if (it == m_liveFolders.end() || it->second == node) return false;
    chain.push_back(it->second);
    id = it->second->GetParentId();
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    CFileNode* clone = (*it)->Clone();
    if (!Link(clone, placed)) {
      DeleteFileNode(clone);
      return false;
    }
    ResolveWaitingChildren(clone, placed);
  }
  if (!Link(node, placed, rule)) return false;
  if (IsFolder(node)) ResolveWaitingChildren(node, placed);
  return true;
}

void CFileTree::AfterLink(CFileNode* node, std::vector<CFileNode*>* placed) {
  (void)placed;
  if (m_pending.size() > kMaxPendingRecycled || !IsInRecycleBin(node->GetParent())) return;
  CFileNode* partner = MatchRecyclePair(m_pending, node);
  if (!partner) return;
  CFileNode* info = IsRecycleInfoFile(node) ? node : partner;
  CFileNode* data = info == node ? partner : node;
  if (!IsRecycleInfoFile(info) || !data->GetProperties()) return;
  const std::string before = data->GetProperties()->GetName();
  RenameRecycledNode(m_device, data, info);
  if (m_sink && IsFolder(data) && before != data->GetProperties()->GetName()) m_sink->OnNodeChanged(data);
}

int CFileTree::FinishTree(std::vector<CFileNode*>* placed) {
  if (!m_liveFolders.empty() && HasWaitingNodes()) {
    // A live folder that arrived after the deleted node below it.
    std::vector<CFileNode*> waiting;
    for (auto* map : {&m_waitingFolders, &m_waitingFiles})
      for (auto& entry : *map) waiting.push_back(entry.second);
    for (CFileNode* n : waiting) {
      if (n->GetParent() || !Unpark(n)) continue;
      if (!ReachRoot(n, placed, EParentRule::Usual)) Park(n);
    }
  }
  for (auto& entry : m_liveFolders) DeleteFileNode(entry.second);
  m_liveFolders.clear();
  if (!HasWaitingNodes()) return 1;
  CFileNode* lost = GroupLostNodes(placed);
  if (lost && m_root && !lost->GetParent()) m_root->AddChild(lost);
  return 1;
}
