#include "DetourDirectoryTree.h"

#include <cstring>
#include <memory>

#include "CFileNode.h"
#include "CHFSPlusFileNode.h"
#include "IDataRunList.h"
#include "IFileProperties.h"

namespace {
constexpr char kPrivateData[] = "HFS+ Private Data";
constexpr size_t kPrivateDataLength = sizeof kPrivateData - 1;

uint64_t FirstRunStart(const IFileProperties* p) {
  std::unique_ptr<IDataRunList> runs(p->GetDataRunList());
  const DataRun* first = runs ? runs->First() : nullptr;
  return first ? first->start : 0;
}
}  // namespace

DetourDirectoryTree::~DetourDirectoryTree() {
  m_passed.clear();
}

bool DetourDirectoryTree::IsPassedOn(CFileNode* node, uint64_t firstRunStart) const {
  const auto* fresh = dynamic_cast<const CHFSPlusFileNode*>(node);
  if (!fresh) return false;
  auto range = m_passed.equal_range(node->GetId());
  for (auto it = range.first; it != range.second; ++it) {
    const auto* earlier = dynamic_cast<const CHFSPlusFileNode*>(it->second);
    if (!earlier || earlier == fresh || earlier->GetPartitionIndex() != fresh->GetPartitionIndex()) continue;
    if (std::strcmp(earlier->GetName(), fresh->GetName()) != 0) continue;
    if (earlier->IsFolder() && fresh->IsFolder()) return true;
    if (firstRunStart != 0 && earlier->GetSize() == fresh->GetSize()) {
      if (earlier->GetProperties() && FirstRunStart(earlier->GetProperties()) == firstRunStart) return true;
      continue;
    }
    if (earlier->GetCreateDate() == fresh->GetCreateDate() &&
        earlier->GetContentModDate() == fresh->GetContentModDate() && earlier->IsDeleted() == fresh->IsDeleted())
      return true;
  }
  return false;
}

int DetourDirectoryTree::AddNode(CFileNode* node, ETreeKind kind, int& error) {
  if (!node) return 1;
  const IFileProperties* p = node->GetProperties();
  const char* name = p ? p->GetName() : nullptr;
  if (!name) {
    DestroyFileNode(node);
    return 1;
  }
  const size_t length = std::strlen(name);
  if (length != 0 &&
      (name[0] == '.' || (length == kPrivateDataLength && std::strstr(name, kPrivateData) != nullptr))) {
    DestroyFileNode(node);
    return 1;
  }
  if (IsPassedOn(node, FirstRunStart(p))) {
    DestroyFileNode(node);
    return 1;
  }
  const int64_t id = node->GetId();
  if (m_target && m_target->AddNode(node, kind, error)) {
    m_passed.emplace(id, node);
  } else {
    DestroyFileNode(node);
  }
  return 1;
}

// ---- passed on unchanged ----

int DetourDirectoryTree::Init(const char* volumeName, IRecoveryResultSink* results, INodeFilter* filter,
                              ETreeBuildMode mode, IStorageDevice* device, int manyChoices) {
  return m_target ? m_target->Init(volumeName, results, filter, mode, device, manyChoices) : 0;
}
int DetourDirectoryTree::SetPartitionRoot(CFileNode* root, CSearchedPartitionInfo* partition) {
  return m_target ? m_target->SetPartitionRoot(root, partition) : 0;
}
int DetourDirectoryTree::AddFileSystemNode(CFileNode* root) {
  return m_target ? m_target->AddFileSystemNode(root) : 0;
}
int DetourDirectoryTree::AddPartitionNode(CFileNode* node, CSearchedPartitionInfo* partition) {
  return m_target ? m_target->AddPartitionNode(node, partition) : 0;
}
int DetourDirectoryTree::AddFoundNode(CFileNode* node, CSearchedPartitionInfo* partition) {
  if (m_target) return m_target->AddFoundNode(node, partition);
  DestroyFileNode(node);
  return 0;
}
int DetourDirectoryTree::AddCandidate(CSearchedPartitionInfo* partition) {
  return m_target ? m_target->AddCandidate(partition) : 0;
}
void DetourDirectoryTree::GetCandidates(std::vector<CSearchedPartitionInfo*>& chosen) {
  if (m_target) m_target->GetCandidates(chosen);
}
void DetourDirectoryTree::FinishSearch() {
  if (m_target) m_target->FinishSearch();
}
void DetourDirectoryTree::FinishPartition(CSearchedPartitionInfo* partition) {
  if (m_target) m_target->FinishPartition(partition);
}
void DetourDirectoryTree::FinishBuild() {
  if (m_target) m_target->FinishBuild();
}
uint64_t DetourDirectoryTree::GetNodeCount() {
  return m_target ? m_target->GetNodeCount() : 0;
}
CFileNode* DetourDirectoryTree::GetPartitionRoot(CSearchedPartitionInfo* partition) {
  return m_target ? m_target->GetPartitionRoot(partition) : nullptr;
}
CFileNode* DetourDirectoryTree::FindTreeByType(EFileSystemType type) {
  return m_target ? m_target->FindTreeByType(type) : nullptr;
}
int DetourDirectoryTree::GetBuildFlag() {
  return m_target ? m_target->GetBuildFlag() : 0;
}
void DetourDirectoryTree::SetBuildFlag(int flag) {
  if (m_target) m_target->SetBuildFlag(flag);
}
void DetourDirectoryTree::SetProgressSink(IScanProgressSink* sink) {
  if (m_target) m_target->SetProgressSink(sink);
}
IScanProgressSink* DetourDirectoryTree::GetProgressSink() {
  return m_target ? m_target->GetProgressSink() : nullptr;
}
INodeFilter* DetourDirectoryTree::GetNodeFilter() {
  return m_target ? m_target->GetNodeFilter() : nullptr;
}
void DetourDirectoryTree::NoteCap(const char* name, uint64_t dropped) {
  if (m_target) m_target->NoteCap(name, dropped);
}
