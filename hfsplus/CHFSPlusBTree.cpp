#include "CHFSPlusBTree.h"

#include "ReturnError.h"

CHFSPlusBTree::CHFSPlusBTree(CHFSPlusVolume* volume, IHFSPlusBTreeOption* options)
    : m_volume(volume), m_options(options) {
  m_status = (!options || !volume) ? HFS_RETURN_ERROR(kHFSBadArgument) : kHFSOk;
}

std::unique_ptr<CHFSPlusBTNode> CHFSPlusBTree::OpenNode(uint32_t number, unsigned depth,
                                                        std::unordered_set<uint32_t>& visited, int* status) {
  // A node met twice, or a path longer than any sound tree: a loop.
  if (depth >= kMaxDepth || !visited.insert(number).second) {
    *status = HFS_RETURN_ERROR(kHFSBadStructure);
    return nullptr;
  }
  std::unique_ptr<CHFSPlusBTNode> node = m_options->CreateNode(number);
  if (!node) {
    *status = m_options->GetStatus();
    return nullptr;
  }
  const BTNodeDescriptor* d = node->GetDescriptor();
  if (!d) {
    *status = node->GetStatus();
    return nullptr;
  }
  if (d->kind != kBTIndexNode && d->kind != kBTLeafNode) {
    *status = HFS_RETURN_ERROR(kHFSBadStructure);
    return nullptr;
  }
  return node;
}

int CHFSPlusBTree::Search(const HFSPlusKey& key, HFSPlusSearchResult* result, std::unique_ptr<HFSPlusRecord>* dataOut) {
  if (!m_options || !result) return m_status = HFS_RETURN_ERROR(kHFSBadArgument);
  uint32_t root = m_options->GetRoot();
  if (root == 0) return m_status = m_options->GetStatus();
  *result = HFSPlusSearchResult();
  if (dataOut) dataOut->reset();
  return m_status = SearchNode(root, key, result, dataOut);
}

int CHFSPlusBTree::SearchNode(uint32_t number, const HFSPlusKey& key, HFSPlusSearchResult* result,
                              std::unique_ptr<HFSPlusRecord>* dataOut) {
  std::unordered_set<uint32_t> visited;
  for (unsigned depth = 0;; ++depth) {
    int status = kHFSOk;
    std::unique_ptr<CHFSPlusBTNode> node = OpenNode(number, depth, visited, &status);
    if (!node) return status;
    const BTNodeDescriptor* d = node->GetDescriptor();
    uint16_t count = d->numRecords;
    if (d->kind == kBTIndexNode) {
      int taken = count - 1;
      for (uint16_t i = 0; i < count; ++i) {
        std::unique_ptr<HFSPlusKey> k = m_options->ReadKey(*node, i);
        if (!k) return m_options->GetStatus();
        int c = m_options->CompareKey(*k, key);
        if (c < 0) continue;
        taken = c == 0 ? i : i - 1;
        break;
      }
      // A key below every key of the node: index -1 is past the end.
      uint32_t child = m_options->GetChild(*node, static_cast<uint16_t>(taken < 0 ? 0xFFFF : taken));
      if (child == 0) return m_options->GetStatus();
      number = child;
      continue;
    }
    for (uint16_t i = 0; i < count; ++i) {
      std::unique_ptr<HFSPlusKey> k = m_options->ReadKey(*node, i);
      if (!k) return m_options->GetStatus();
      int c = m_options->CompareKey(*k, key);
      if (c < 0) continue;
      if (c > 0) {
        *result = {number, i, 0};
        if (dataOut) dataOut->reset();
        return kHFSOk;
      }
      if (dataOut) {
        std::unique_ptr<HFSPlusRecord> data = m_options->ReadData(*node, i);
        if (!data) return m_options->GetStatus();
        *dataOut = std::move(data);
      }
      *result = {number, i, 1};
      return kHFSOk;
    }
    return kHFSOk;
  }
}

int CHFSPlusBTree::Traverse(IHFSPlusRecordVisitor* visitor) {
  if (!m_options) return m_status = HFS_RETURN_ERROR(kHFSBadArgument);
  uint32_t root = m_options->GetRoot();
  if (root == 0) return m_status = m_options->GetStatus();
  std::unordered_set<uint32_t> visited;
  return m_status = TraverseNode(root, visitor, 0, visited);
}

int CHFSPlusBTree::TraverseNode(uint32_t number, IHFSPlusRecordVisitor* visitor, unsigned depth,
                                std::unordered_set<uint32_t>& visited) {
  if (visitor && !visitor->ShouldContinue()) return kHFSStopped;
  int status = kHFSOk;
  std::unique_ptr<CHFSPlusBTNode> node = OpenNode(number, depth, visited, &status);
  if (!node) return status;
  const BTNodeDescriptor* d = node->GetDescriptor();
  for (uint16_t i = 0; i < d->numRecords; ++i) {
    if (visitor && !visitor->ShouldContinue()) return kHFSStopped;
    if (d->kind == kBTIndexNode) {
      uint32_t child = m_options->GetChild(*node, i);
      if (child == 0) return m_options->GetStatus();
      // A damaged subtree is reported; its siblings are still walked.
      status = TraverseNode(child, visitor, depth + 1, visited);
      if (status == kHFSStopped) return status;
      continue;
    }
    std::unique_ptr<HFSPlusKey> key = m_options->ReadKey(*node, i);
    if (!key) return m_options->GetStatus();
    std::unique_ptr<HFSPlusRecord> data = m_options->ReadData(*node, i);
    if (!data) return m_options->GetStatus();
    if (visitor) {
      visitor->OnRecord(*key, *data);
    } else {
      m_options->DumpKey(*key);
      m_options->DumpData(*data);
    }
  }
  return status;
}
