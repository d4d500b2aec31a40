#include "CNodeTree.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "CFileSystemNode.h"
#include "IFileProperties.h"
#include "RecycleBinNames.h"

namespace {

// Parent chains are built here and never cycle; the bound only keeps a
// chain damaged elsewhere finite.
constexpr int kMaxDepth = 1 << 20;

uint64_t CreationTime(const CFileNode* node) {
  const IFileProperties* p = node->GetProperties();
  return p ? p->GetCreationTime() : 0;
}

std::vector<CFileNode*> TakeRange(std::multimap<int64_t, CFileNode*>& map, int64_t key) {
  std::vector<CFileNode*> taken;
  auto range = map.equal_range(key);
  for (auto it = range.first; it != range.second; ++it) taken.push_back(it->second);
  map.erase(range.first, range.second);
  return taken;
}

void AppendOnce(std::vector<CFileNode*>* out, std::unordered_set<CFileNode*>& listed, CFileNode* node) {
  if (out && listed.insert(node).second) out->push_back(node);
}

}  // namespace

bool CNodeTree::CanBeRoot(EFileSystemType type, const CFileNode* node) {
  return type != EFileSystemType::Unknown && node && node->IsFileSystemNode() && !node->GetParent();
}

bool CNodeTree::IsFolder(const CFileNode* node) {
  if (node->IsFileSystemNode()) return true;
  const IFileProperties* p = node->GetProperties();
  return p && (p->GetAttributes() & kFileAttributeDirectory);
}

bool CNodeTree::IsSelfOrAncestor(const CFileNode* ancestor, const CFileNode* node) {
  int depth = 0;
  for (const CFileNode* n = node; n && depth < kMaxDepth; n = n->GetParent(), ++depth)
    if (n == ancestor) return true;
  return false;
}

void CNodeTree::DestroySubtree(CFileNode* node) {
  if (!node) return;
  std::unordered_set<CFileNode*> seen{node};
  std::vector<CFileNode*> all{node};
  for (size_t i = 0; i < all.size(); ++i)
    for (CFileNode* c = all[i]->GetFirstChild(); c; c = c->GetNextSibling())
      if (seen.insert(c).second) all.push_back(c);
  for (CFileNode* n : all) DeleteFileNode(n);
}

void CNodeTree::EnterRoot(EFileSystemType type, CFileNode* root) {
  m_type = type;
  m_root = static_cast<CFileSystemNode*>(root);
  m_linkedFolders.emplace(root->GetId(), root);
}

CFileNode* CNodeTree::ChooseParent(CFileNode* node, EParentRule rule) const {
  auto range = m_linkedFolders.equal_range(node->GetParentId());
  CFileNode* first = nullptr;
  CFileNode* byTime = nullptr;
  CFileNode* inBin = nullptr;
  int count = 0;
  for (auto it = range.first; it != range.second; ++it) {
    CFileNode* candidate = it->second;
    // Linked folders hang from the root through linked folders only, and the
    // node is not linked yet: only the node itself could close a cycle.
    if (candidate == node) continue;
    ++count;
    if (!first) first = candidate;
    if (!byTime && CreationTime(candidate) <= CreationTime(node)) byTime = candidate;
    if (!inBin && rule == EParentRule::RecycleBin && IsInRecycleBin(candidate)) inBin = candidate;
  }
  CFileNode* usual = (count > 1 && byTime) ? byTime : first;
  if (rule == EParentRule::RecycleBin && first && !IsInRecycleBin(first)) return inBin;
  return usual;
}

int CNodeTree::Link(CFileNode* node, std::vector<CFileNode*>* out, EParentRule rule) {
  CFileNode* parent = ChooseParent(node, rule);
  if (!parent) return 0;
  // A waiting node that lost-node grouping placed somewhere leaves that place.
  if (node->GetParent()) node->GetParent()->RemoveChild(node);
  parent->AddChild(node);
  IFileProperties* parentProperties = parent->GetProperties();
  if (parentProperties && (parentProperties->IsDeleted() & 1) && node->GetProperties())
    node->GetProperties()->SetDeleted(1);
  if (IsFolder(node))
    m_linkedFolders.emplace(node->GetId(), node);
  else
    StoreLinkedFile(node);
  if (out) out->push_back(node);
  AfterLink(node, out);
  return 1;
}

void CNodeTree::ResolveWaitingChildren(CFileNode* folder, std::vector<CFileNode*>* out) {
  // Each waiting node is taken out of its map before it is linked, so a
  // cycle of ids meets an empty map and the walk ends.
  auto linkAll = [&](std::multimap<int64_t, CFileNode*>& map, int64_t key, std::deque<CFileNode*>* next) {
    for (CFileNode* w : TakeRange(map, key)) {
      if (!Link(w, out))
        Park(w);
      else if (next)
        next->push_back(w);
    }
  };
  std::deque<CFileNode*> queue{folder};
  while (!queue.empty()) {
    CFileNode* x = queue.front();
    queue.pop_front();
    linkAll(m_waitingFolders, x->GetId(), &queue);
    if (x != folder) linkAll(m_waitingFiles, x->GetId(), nullptr);
  }
  linkAll(m_waitingFiles, folder->GetId(), nullptr);
}

void CNodeTree::Park(CFileNode* node) {
  (IsFolder(node) ? m_waitingFolders : m_waitingFiles).emplace(node->GetParentId(), node);
}

bool CNodeTree::Unpark(CFileNode* node) {
  auto& map = IsFolder(node) ? m_waitingFolders : m_waitingFiles;
  auto range = map.equal_range(node->GetParentId());
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == node) {
      map.erase(it);
      return true;
    }
  }
  return false;
}

CFileNode* CNodeTree::GroupLostNodes(std::vector<CFileNode*>* out) {
  CFileNode* lost = m_lost ? m_lost : CreateLostFilesFolder(m_type);
  if (!lost) return nullptr;
  std::unordered_set<CFileNode*> listed;
  std::vector<CFileNode*> fronts;
  // The folder each grouped folder went under, so that the top of a group
  // is found without walking its whole chain (path halving).
  std::unordered_map<CFileNode*, CFileNode*> under;
  auto topOf = [&under](CFileNode* n) {
    for (auto it = under.find(n); it != under.end(); it = under.find(n)) {
      auto up = under.find(it->second);
      if (up != under.end()) it->second = up->second;
      n = it->second;
    }
    return n;
  };
  for (auto& [key, folder] : m_waitingFolders) {
    (void)key;
    bool received = false;
    auto children = m_waitingFolders.equal_range(folder->GetId());
    for (auto it = children.first; it != children.second; ++it) {
      CFileNode* f = it->second;
      // A parentless folder is an ancestor of this one only as the top of its
      // group (or, for a group placed earlier, on the chain above that top).
      if (f == folder || f->GetParent()) continue;
      CFileNode* top = topOf(folder);
      if (top == f || (top->GetParent() && IsSelfOrAncestor(f, top))) continue;
      folder->AddChild(f);
      under[f] = folder;
      AppendOnce(out, listed, f);
      received = true;
    }
    auto files = m_waitingFiles.equal_range(folder->GetId());
    for (auto it = files.first; it != files.second; ++it) {
      if (it->second->GetParent()) continue;
      folder->AddChild(it->second);
      AppendOnce(out, listed, it->second);
      received = true;
    }
    if (received && std::find(fronts.begin(), fronts.end(), folder) == fronts.end()) fronts.push_back(folder);
  }
  for (auto* map : {&m_waitingFolders, &m_waitingFiles}) {
    for (auto& entry : *map) {
      CFileNode* n = entry.second;
      if (n->GetParent()) continue;
      lost->AddChild(n);
      if (!IsFolder(n) || !n->GetFirstChild()) AppendOnce(out, listed, n);
    }
  }
  if (out) {
    for (CFileNode* f : fronts) listed.insert(f);
    out->insert(out->begin(), fronts.begin(), fronts.end());
  }
  if (!lost->GetFirstChild()) {
    if (lost != m_lost) DeleteFileNode(lost);
    if (out) out->erase(std::remove(out->begin(), out->end(), nullptr), out->end());
    return nullptr;
  }
  m_lost = lost;
  if (m_type != EFileSystemType::HFSPlus) PruneEmptyResults(lost, m_pruned);
  if (out) {
    out->erase(std::remove_if(out->begin(), out->end(), [](CFileNode* n) { return !n || !n->GetParent(); }),
               out->end());
    out->insert(out->begin(), lost);
  }
  return lost;
}

void CNodeTree::DestroyAll(CFileNode* spare) {
  std::unordered_set<CFileNode*> keep;
  if (spare) {
    std::vector<CFileNode*> below{spare};
    keep.insert(spare);
    for (size_t i = 0; i < below.size(); ++i)
      for (CFileNode* c = below[i]->GetFirstChild(); c; c = c->GetNextSibling())
        if (keep.insert(c).second) below.push_back(c);
  }
  std::unordered_set<CFileNode*> seen;
  std::vector<CFileNode*> all;
  auto add = [&](CFileNode* n) {
    if (n && !keep.count(n) && seen.insert(n).second) all.push_back(n);
  };
  add(m_root);
  add(m_lost);
  for (auto* map : {&m_linkedFolders, &m_waitingFolders, &m_waitingFiles})
    for (auto& entry : *map) add(entry.second);
  std::vector<CFileNode*> files;
  CollectLinkedFiles(files);
  for (CFileNode* n : files) add(n);
  // Whatever hangs below a held node is held too (a subtree entered by its
  // root only).
  for (size_t i = 0; i < all.size(); ++i)
    for (CFileNode* c = all[i]->GetFirstChild(); c; c = c->GetNextSibling()) add(c);
  // A spared subtree hanging below a destroyed node leaves it first.
  if (spare && spare->GetParent() && seen.count(spare->GetParent())) spare->GetParent()->RemoveChild(spare);
  for (CFileNode* n : all) DeleteFileNode(n);
  ForgetCollections();
}

void CNodeTree::ForgetCollections() {
  m_root = nullptr;
  m_lost = nullptr;
  m_linkedFolders.clear();
  m_waitingFolders.clear();
  m_waitingFiles.clear();
  m_pruned.clear();
  ClearLinkedFiles();
}

CFileNode* CreateLostFilesFolder(EFileSystemType type) {
  IFileProperties* p = CreateFolderProperties(type, "Other lost files");
  if (!p) return nullptr;
  if (type == EFileSystemType::HFSPlus) p->SetDeleted(9);
  CFileNode* folder = CreateFileNode();
  folder->SetId(CNodeTree::kLostFilesId);
  folder->SetProperties(p);
  return folder;
}
