#include "CDirectoryTreeBuilder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "CFileSystemNode.h"
#include "CFileTree.h"
#include "CPartitionTree.h"
#include "CSearchedPartitionInfo.h"
#include "EngineError.h"
#include "ICompleteFileSystemSearchController.h"
#include "IFileProperties.h"
#include "INodeFilter.h"
#include "IRecoveryResultSink.h"
#include "IScanProgressSink.h"
#include "IStorageDevice.h"
#include "RunLog.h"

namespace {

constexpr const char* kFinishSearch = "CDirectoryTreeBuilder::FinishSearch";
constexpr const char* kSelect = "CDirectoryTreeBuilder::GetSelPartitonAndSystemTree";

bool IsExt(EFileSystemType t) {
  return t == EFileSystemType::Ext2 || t == EFileSystemType::Ext3;
}

// FAT12, FAT16 and FAT32 count as one type, and so do Ext2 and Ext3 (an
// Ext2 partition is paired with a tree only when its search says so).
EFileSystemType TypeGroup(EFileSystemType t) {
  return IsExt(t) ? EFileSystemType::Ext2 : FatGroup(t);
}

// The name a chosen partition's root takes; null keeps the clone's.
const char* TreeTypeName(EFileSystemType t) {
  static const char* const kNames[] = {"FAT12", "FAT16", "FAT32", "NTFS", "EXT2", "EXT3", "RAW", "EXFAT"};
  const int i = static_cast<int>(t);
  return i >= 0 && i < static_cast<int>(sizeof kNames / sizeof kNames[0]) ? kNames[i] : nullptr;
}

std::string NameOf(const CFileNode* node) {
  const IFileProperties* p = node->GetProperties();
  const char* name = p ? p->GetName() : nullptr;
  return name ? name : "";
}

// A node handed to the builder that it does not keep: out of any parent it
// was linked to, destroyed with what lies below it.
void Discard(CFileNode* node) {
  if (!node) return;
  if (CFileNode* parent = node->GetParent()) parent->RemoveChild(node);
  CNodeTree::DestroySubtree(node);
}

}  // namespace

bool IsRecycledFileName(const CFileNode* node) {
  if (!node) return false;
  const std::string name = NameOf(node);
  if (name.size() < 2 || (name[0] != '#' && name[0] != '$') || name[1] != 'R') return false;
  static const std::string kMetadata = "$RmMetadata$Reparse$Repair";
  return kMetadata.find(name) == std::string::npos;
}

CDirectoryTreeBuilder::CDirectoryTreeBuilder() = default;

CDirectoryTreeBuilder::CDirectoryTreeBuilder(const TreeBuilderLimits& limits) : m_limits(limits) {}

CDirectoryTreeBuilder::~CDirectoryTreeBuilder() {
  DestroyHeldNodes();
  for (CPartitionTree* t : m_trees) delete t;
  m_trees.clear();
  delete m_quickTree;
}

int CDirectoryTreeBuilder::Init(const char* volumeName, IRecoveryResultSink* results, INodeFilter* filter,
                                ETreeBuildMode mode, IStorageDevice* device, int manyChoices) {
  if (!volumeName || !results || !filter || !device) return 0;
  m_volumeName = volumeName;
  m_results = results;
  m_filter = filter;
  m_device = device;
  m_mode = mode;
  if (mode == ETreeBuildMode::Quick && !m_quickTree) m_quickTree = new CFileTree;
  const int sectorSize = device->GetSectorSize();
  m_evaluation.Init(device->GetSectorCount(), manyChoices, sectorSize > 0 ? static_cast<uint32_t>(sectorSize) : 512);
  m_results->OnStart(m_volumeName.c_str());
  return 1;
}

// ---- nodes during the search ----

int CDirectoryTreeBuilder::AddFileSystemNode(CFileNode* root) {
  if (!root || !root->IsFileSystemNode() || !m_results) return 0;
  const EFileSystemType type = root->GetFileSystemType();
  if (!IsComplete()) {
    if (!m_quickTree || m_quickTree->GetRoot()) return 0;
    return m_quickTree->SetRoot(type, root, m_device, m_results);
  }
  if (m_building) {
    // Too late for a tree of its own.
    Discard(root);
    return 1;
  }
  auto tree = std::make_unique<CPartitionTree>();
  if (!tree->SetRoot(type, root)) return 0;
  m_trees.push_back(tree.release());
  if (IsExt(type)) m_ext2Tree = m_trees.back();
  return 1;
}

bool CDirectoryTreeBuilder::IsAcceptable(CFileNode* node) {
  const IFileProperties* p = node->GetProperties();
  if (!p || (m_filter && !m_filter->Accept(node))) return false;
  uint64_t deviceBytes = UINT64_MAX;
  const int sectorSize = m_device ? m_device->GetSectorSize() : 0;
  if (m_device && sectorSize > 0 &&
      __builtin_mul_overflow(m_device->GetSectorCount(), static_cast<uint64_t>(sectorSize), &deviceBytes))
    deviceBytes = UINT64_MAX;
  // A negative size reads as a huge one.
  return static_cast<uint64_t>(p->GetFileSize()) < deviceBytes;
}

int CDirectoryTreeBuilder::AddNode(CFileNode* node, ETreeKind kind, int& error) {
  error = 0;
  if (m_progress) m_progress->ShouldContinue();
  if (!node || !m_results) return 0;
  if (!IsAcceptable(node)) {
    // The HFS+ search keeps its own refused nodes.
    const IFileProperties* p = node->GetProperties();
    const bool hfs = p ? p->GetSearchKind() == EPartitionKind::HFSPlus : kind == ETreeKind::HFSPlus;
    if (hfs) return 0;
    Discard(node);
    return 1;
  }
  return IsComplete() ? AddCompleteNode(node, kind, error) : AddQuickNode(node);
}

int CDirectoryTreeBuilder::AddCompleteNode(CFileNode* node, ETreeKind kind, int& error) {
  if (m_nodeCount >= m_limits.addedNodes) {
    Discard(node);
    ++m_droppedNodes;
    return 1;
  }
  CPartitionTree* tree = kind == ETreeKind::Ext2 ? m_ext2Tree : TreeOfKind(kind);
  if (!tree) {
    error = engine_error::kBuilderNoTree;
    return 0;
  }
  const bool folder = CNodeTree::IsFolder(node);
  std::vector<CFileNode*> placed;
  const int r = tree->AddNode(node, &placed);
  if (r < 0) {
    Discard(node);
    return 1;
  }
  ++m_nodeCount;
  if (!folder) ++m_fileCount;
  m_results->OnNode(node);
  if (r == 1) Deliver(tree, placed, !m_building);
  return 1;
}

int CDirectoryTreeBuilder::AddQuickNode(CFileNode* node) {
  if (!m_quickTree) {
    Discard(node);
    return 1;
  }
  if (Hold(node)) return 1;
  const IFileProperties* p = node->GetProperties();
  const bool deleted = p && (p->IsDeleted() & 1);
  std::vector<CFileNode*> placed;
  // A live file is destroyed in there: `node` is not read afterwards unless
  // it was deleted.
  const int r = m_quickTree->AddNode(node, &placed);
  if (r < 0) {
    Discard(node);
    return 1;
  }
  if (deleted) m_results->OnNode(node);
  if (r == 1) Deliver(m_quickTree, placed, true);
  return 1;
}

void CDirectoryTreeBuilder::Deliver(CNodeTree* tree, std::vector<CFileNode*>& placed, bool deliver) {
  if (!tree->IsShown() && tree->GetRoot()) {
    m_results->OnRoot(tree->GetRoot(), 0);
    tree->SetShown(1);
  }
  if (deliver && !placed.empty()) m_results->OnNodes(placed, 0);
}

// ---- quick mode: the recycle bin ----

int CDirectoryTreeBuilder::Hold(CFileNode* node) {
  const bool inBin = IsInRecycleBin(node) || m_heldIds.count(node->GetParentId());
  if (!inBin && !IsRecycleInfoFile(node) && !IsRecycledFileName(node)) return 0;
  if (CNodeTree::IsFolder(node)) {
    m_heldFolders.push_back(node);
    m_heldIds.insert(node->GetId());
  } else if (NameOf(node).rfind("$I", 0) == 0) {
    m_indexFiles.insert(node);
    m_indexByName.push_back(node);
  } else {
    m_heldFiles.push_back(node);
  }
  return 1;
}

void CDirectoryTreeBuilder::PairRecycledFile(CFileNode* node) {
  const std::string name = NameOf(node);
  if (name.rfind("$R", 0) != 0 || IsRecycleBinFolder(node)) return;
  CFileNode* index = m_indexByName.TakeFirst(CRecyclePendingList::PairKey(name.c_str()));
  if (!index) return;
  uint64_t start = 0;
  int sectorsPerCluster = 0;
  if (CFileNode* root = m_quickTree->GetRoot()) root->GetPartitionGeometry(start, sectorsPerCluster);
  RestoreRecycledName(m_device, node, index, start, static_cast<uint32_t>(std::max(sectorsPerCluster, 0)));
  // An information file is no result of its own.
  m_indexFiles.erase(index);
  DeleteFileNode(index);
}

void CDirectoryTreeBuilder::PlaceHeldNodes() {
  if (!m_quickTree) return;
  std::stable_sort(m_heldFolders.begin(), m_heldFolders.end(),
                   [](const CFileNode* a, const CFileNode* b) { return a->GetParentId() < b->GetParentId(); });
  for (std::vector<CFileNode*>* list : {&m_heldFolders, &m_heldFiles}) {
    std::vector<CFileNode*> nodes;
    nodes.swap(*list);
    for (CFileNode* n : nodes) {
      PairRecycledFile(n);
      std::vector<CFileNode*> placed;
      const int r = m_quickTree->AddDeferredNode(n, &placed);
      if (r < 0)
        Discard(n);
      else if (r == 1)
        Deliver(m_quickTree, placed, true);
    }
  }
  DestroyHeldNodes();
}

void CDirectoryTreeBuilder::DestroyHeldNodes() {
  for (CFileNode* n : m_heldFolders) Discard(n);
  for (CFileNode* n : m_heldFiles) Discard(n);
  for (CFileNode* n : m_indexFiles) Discard(n);
  m_heldFolders.clear();
  m_heldFiles.clear();
  m_indexFiles.clear();
  m_indexByName.clear();
  m_heldIds.clear();
}

// ---- nodes of the chosen partitions ----

int CDirectoryTreeBuilder::SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo* partition) {
  CPartitionTree* tree = TreeOfPartition(partition);
  if (!tree || !root) return 0;
  if (tree->GetFileSystemType() == EFileSystemType::HFSPlus)
    return tree->ReplaceRoot(EFileSystemType::HFSPlus, root) ? 1 : 0;
  return tree->AttachFilteredTree(root, m_filter) ? 1 : 0;
}

int CDirectoryTreeBuilder::AddPartitionNode(CFileNode* node, CSearchedPartitionInfo* partition) {
  CPartitionTree* tree = TreeOfPartition(partition);
  if (!node || !tree) return 0;
  if ((m_filter && !m_filter->Accept(node)) || tree->AddNode(node, nullptr) < 0) {
    Discard(node);
    return 1;
  }
  ++m_nodeCount;
  return 1;
}

int CDirectoryTreeBuilder::AddFoundNode(CFileNode* node, CSearchedPartitionInfo* partition) {
  if (!node) return 0;
  if (!node->IsFileSystemNode() && m_filter && !m_filter->Accept(node)) {
    Discard(node);
    return 1;
  }
  if (partition) {
    CPartitionTree* tree = TreeOfPartition(partition);
    if (!tree) {
      Discard(node);
      return 0;
    }
    if (node->IsFileSystemNode() && tree->GetRoot()) node->SetParentId(tree->GetRoot()->GetId());
    // A node that is not a carved file joins the partition's own tree.
    if (!tree->AddRawNode(node) && tree->AddNode(node, nullptr) < 0) {
      Discard(node);
      return 0;
    }
  } else {
    CPartitionTree* tree = RawTree();
    const int r = node->IsFileSystemNode() && !tree->GetRoot() ? tree->SetRoot(EFileSystemType::RAW, node)
                                                               : tree->AddNode(node, nullptr) >= 0;
    if (!r) {
      Discard(node);
      return 0;
    }
  }
  ++m_nodeCount;
  return 1;
}

void CDirectoryTreeBuilder::FinishPartition(CSearchedPartitionInfo* partition) {
  if (!IsComplete()) return;
  if (CPartitionTree* tree = TreeOfPartition(partition)) tree->Finish(nullptr);
}

// ---- candidates and the end of the search ----

int CDirectoryTreeBuilder::AddCandidate(CSearchedPartitionInfo* partition) {
  return m_evaluation.AddCandidate(partition) ? 1 : 0;
}

void CDirectoryTreeBuilder::GetCandidates(std::vector<CSearchedPartitionInfo*>& chosen) {
  if (m_selected)
    chosen.insert(chosen.end(), m_chosen.begin(), m_chosen.end());
  else
    m_evaluation.GetResult(chosen);
}

void CDirectoryTreeBuilder::FinishSearch() {
  m_building = 1;
  NoteDroppedNodes();
  if (!IsComplete()) {
    PlaceHeldNodes();
    return;
  }
  if (m_buildFlag || m_selected) return;
  m_selected = true;
  m_nodeCount = 0;
  m_fileCount = 0;
  std::vector<Pairing> pairs;
  SelectChosenPartitions(pairs);
  if (m_trees.empty()) {
    LogError("%s isn't find match file system tree", kFinishSearch);
    return;
  }
  const std::vector<CPartitionTree*> oldTrees = m_trees;
  std::vector<CPartitionTree*> newTrees;
  for (CPartitionTree* tree : oldTrees) {
    std::vector<CSearchedPartitionInfo*> partitions;
    for (const Pairing& p : pairs)
      if (p.tree == tree) partitions.push_back(p.partition);
    const size_t before = newTrees.size();
    if (!CreateNewTrees(tree, partitions, newTrees)) {
      // Its partitions get no tree; the other trees still get theirs.
      LogError("%s call CreateNewFileSystemTree failed", kFinishSearch);
      RemoveTree(tree);
      continue;
    }
    for (size_t i = before; i < newTrees.size(); ++i) m_chosen.push_back(newTrees[i]->GetPartition());
    m_trees.erase(std::find(m_trees.begin(), m_trees.end(), tree));
    // The HFS+ search builds its partitions from the nodes it found: they
    // go back to it.
    if (tree->GetFileSystemType() == EFileSystemType::HFSPlus) tree->ForgetAll();
    delete tree;
  }
  m_trees = newTrees;
  FindExt2Tree();
}

void CDirectoryTreeBuilder::SelectChosenPartitions(std::vector<Pairing>& pairs) {
  std::vector<CSearchedPartitionInfo*> candidates;
  m_evaluation.SetCapNote([this](const char* name, uint64_t dropped) { NoteCap(name, dropped); });
  m_evaluation.GetResult(candidates);
  m_evaluation.SetCapNote(nullptr);
  if (candidates.empty()) {
    LogError("%s hasn't searchPartition", kSelect);
    while (!m_trees.empty()) RemoveTree(m_trees.back());
    return;
  }
  auto matches = [this](CSearchedPartitionInfo* c, CPartitionTree* t) {
    return t->GetRoot() && TypeGroup(c->GetType()) == TypeGroup(t->GetFileSystemType()) && BelongsTo(c, t);
  };
  uint64_t total = 0;
  std::vector<CSearchedPartitionInfo*> dropped;
  for (CSearchedPartitionInfo* c : candidates) {
    // One tree per partition: the one with the most of its nodes inside it
    // (the first on a tie).
    CPartitionTree* best = nullptr;
    uint64_t bestCount = 0;
    for (CPartitionTree* t : m_trees) {
      if (!matches(c, t)) continue;
      if (total >= m_limits.countedNodes) {
        best = t;
        break;
      }
      const uint64_t n = CountNodesIn(t, c);
      if (!best || n > bestCount) {
        best = t;
        bestCount = n;
      }
    }
    if (!best) continue;
    total = bestCount > UINT64_MAX - total ? UINT64_MAX : total + bestCount;
    if (total < m_limits.countedNodes)
      pairs.push_back({c, best});
    else
      dropped.push_back(c);
  }
  // The best candidate is built whatever its count.
  if (pairs.empty()) {
    for (CPartitionTree* t : m_trees) {
      if (!matches(candidates.front(), t)) continue;
      pairs.push_back({candidates.front(), t});
      dropped.erase(std::remove(dropped.begin(), dropped.end(), candidates.front()), dropped.end());
      break;
    }
  }
  if (!dropped.empty()) NoteCap(kCountedNodesCapName, dropped.size());
  const std::vector<CPartitionTree*> trees = m_trees;
  for (CPartitionTree* t : trees) {
    const bool paired = std::any_of(pairs.begin(), pairs.end(), [t](const Pairing& p) { return p.tree == t; });
    if (!paired) RemoveTree(t);
  }
}

bool CDirectoryTreeBuilder::CreateNewTrees(CPartitionTree* tree, const std::vector<CSearchedPartitionInfo*>& partitions,
                                           std::vector<CPartitionTree*>& out) {
  if (tree->GetFileSystemType() == EFileSystemType::HFSPlus) tree->Finish(nullptr);
  std::vector<std::unique_ptr<CPartitionTree>> made;
  for (CSearchedPartitionInfo* p : partitions) {
    CFileNode* clone = tree->GetRoot() ? CloneTreeRoot(*tree->GetRoot()) : nullptr;
    if (!clone) return false;
    if (!clone->IsFileSystemNode()) {
      Discard(clone);
      return false;
    }
    auto* root = static_cast<CFileSystemNode*>(clone);
    if (!IsExt(root->GetFileSystemType())) {
      root->SetPartitionGeometry(p->GetClusterStartSector(), static_cast<int>(p->GetSectorsPerCluster()));
      root->SetFileSystemType(p->GetType());
      const char* name = TreeTypeName(p->GetType());
      if (name && root->GetProperties()) root->GetProperties()->SetName(name);
    }
    auto fresh = std::make_unique<CPartitionTree>();
    if (!fresh->SetRoot(p->GetType(), root)) {
      Discard(root);
      return false;
    }
    fresh->SetPartition(p);
    made.push_back(std::move(fresh));
  }
  if (tree->IsShown() && tree->GetRoot()) {
    m_results->OnRemove(tree->GetRoot());
    tree->SetShown(0);
  }
  for (auto& t : made) out.push_back(t.release());
  return true;
}

CFileNode* CDirectoryTreeBuilder::CloneTreeRoot(const CFileSystemNode& root) {
  return root.Clone();
}

void CDirectoryTreeBuilder::FinishBuild() {
  if (m_buildFlag) return;
  if (IsComplete()) {
    for (CPartitionTree* t : m_trees) {
      t->AttachRawTree();
      if (!t->GetRoot()) continue;
      m_results->OnRoot(t->GetRoot(), 1);
      t->SetShown(1);
    }
    return;
  }
  if (!m_quickTree || !m_results) return;
  std::vector<CFileNode*> placed;
  m_quickTree->FinishTree(&placed);
  if (!m_quickTree->IsShown() && m_quickTree->GetRoot()) {
    m_results->OnRoot(m_quickTree->GetRoot(), 0);
    m_quickTree->SetShown(1);
  }
  m_results->OnNodes(placed, 1);
}

void CDirectoryTreeBuilder::NoteCap(const char* name, uint64_t dropped) {
  if (!name || !dropped) return;
  LogError("CDirectoryTreeBuilder: cap \"%s\" dropped %llu", name, static_cast<unsigned long long>(dropped));
  for (CapNote& c : m_caps) {
    if (c.name != name) continue;
    c.dropped += dropped;
    return;
  }
  m_caps.push_back({name, dropped});
}

void CDirectoryTreeBuilder::NoteDroppedNodes() {
  if (m_droppedNoted || !m_droppedNodes) return;
  m_droppedNoted = true;
  NoteCap(kAddedNodesCapName, m_droppedNodes);
}

// ---- trees ----

CFileNode* CDirectoryTreeBuilder::GetPartitionRoot(CSearchedPartitionInfo* partition) {
  CPartitionTree* tree = TreeOfPartition(partition);
  return tree ? tree->GetRoot() : nullptr;
}

CFileNode* CDirectoryTreeBuilder::FindTreeByType(EFileSystemType type) {
  if (m_quickTree && m_quickTree->GetRoot() && m_quickTree->GetFileSystemType() == type) return m_quickTree->GetRoot();
  for (CPartitionTree* t : m_trees)
    if (t->GetRoot() && t->GetFileSystemType() == type) return t->GetRoot();
  return nullptr;
}

CPartitionTree* CDirectoryTreeBuilder::TreeOfPartition(const CSearchedPartitionInfo* partition) const {
  if (!partition) return nullptr;
  for (CPartitionTree* t : m_trees)
    if (t->GetPartition() == partition) return t;
  return nullptr;
}

CPartitionTree* CDirectoryTreeBuilder::TreeOfKind(ETreeKind kind) const {
  for (CPartitionTree* t : m_trees) {
    ETreeKind k = ETreeKind::None;
    if (ToTreeKind(t->GetFileSystemType(), k) && k == kind) return t;
  }
  return nullptr;
}

CPartitionTree* CDirectoryTreeBuilder::RawTree() {
  for (CPartitionTree* t : m_trees)
    if (t->GetFileSystemType() == EFileSystemType::RAW || (!t->GetRoot() && !t->GetPartition())) return t;
  m_trees.push_back(new CPartitionTree);
  return m_trees.back();
}

void CDirectoryTreeBuilder::FindExt2Tree() {
  m_ext2Tree = nullptr;
  for (CPartitionTree* t : m_trees)
    if (t->GetRoot() && IsExt(t->GetRoot()->GetFileSystemType())) m_ext2Tree = t;
}

bool CDirectoryTreeBuilder::BelongsTo(CSearchedPartitionInfo* partition, CPartitionTree* tree) const {
  if (!IsExt(partition->GetType())) return true;
  ICompleteFileSystemSearchController* owner = partition->GetOwner();
  return owner && tree->GetRoot() && owner->FindPartitionOfNode(tree->GetRoot()) == partition;
}

uint64_t CDirectoryTreeBuilder::CountNodesIn(CPartitionTree* tree, CSearchedPartitionInfo* partition) const {
  uint64_t count = 0;
  const uint64_t n = tree->GetNodeCount();
  for (uint64_t i = 0; i < n; ++i) {
    CFileNode* node = tree->GetNodeAt(i);
    if (node && partition->IsNodeInPartition(node)) ++count;
  }
  return count;
}

void CDirectoryTreeBuilder::RemoveTree(CPartitionTree* tree) {
  auto it = std::find(m_trees.begin(), m_trees.end(), tree);
  if (it == m_trees.end()) return;
  m_trees.erase(it);
  if (tree == m_ext2Tree) m_ext2Tree = nullptr;
  if (tree->IsShown() && tree->GetRoot()) m_results->OnRemove(tree->GetRoot());
  delete tree;
}
