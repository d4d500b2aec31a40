// The part of a tree's options common to the three HFS+ trees: reading nodes
// through the tree file's reader, the header record, child links, the root.
#pragma once

#include <cstdint>
#include <memory>

#include "CHFSPlusBTree.h"
#include "IHFSPlusBTreeOption.h"
#include "ReturnError.h"

class CHFSPlusVolume;
class CHFSPlusRawfile;

class CHFSPlusBTreeOptionBase : public IHFSPlusBTreeOption {
 public:
  CHFSPlusBTreeOptionBase(CHFSPlusVolume* volume, CHFSPlusRawfile* reader);
  ~CHFSPlusBTreeOptionBase() override;

  uint32_t GetChild(CHFSPlusBTNode& node, uint16_t index) override;
  uint32_t GetRoot() override;
  std::unique_ptr<CHFSPlusBTNode> CreateNode(uint32_t number) override;
  int GetStatus() override { return m_status; }
  // The host-order header record; null when it was not read.
  const BTHeaderRec* GetHeaderRecord() const { return m_hasHeader ? &m_header : nullptr; }
  uint16_t GetNodeSize() const { return m_nodeSize; }

  int Search(const HFSPlusKey& key, HFSPlusSearchResult* result, std::unique_ptr<HFSPlusRecord>* dataOut);
  int Traverse(IHFSPlusRecordVisitor* visitor);

  // The node size named by the header record in the tree file's first
  // 512 bytes; 0 when it cannot be read or is not a power of 2 in 512..32768.
  uint16_t PreGetNodeSize(CHFSPlusRawfile* reader);

 protected:
  // Called by the concrete options once they are complete.
  void MakeTree();

  // Record `index` of the node; null with the node's status as this status.
  const uint8_t* RecordOf(CHFSPlusBTNode& node, uint16_t index, uint32_t* length);
  // Record `index` of a leaf node; another node (or none) gives `notLeaf`
  // (a missing descriptor gives the node's own status, except for 1281).
  const uint8_t* LeafRecordOf(CHFSPlusBTNode& node, uint16_t index, uint32_t* length, int notLeaf);

  // A key read with the tree's key reader; status 6 when it does not fit.
  template <class Key>
  std::unique_ptr<HFSPlusKey> ReadKeyWith(CHFSPlusBTNode& node, uint16_t index,
                                          bool (*parse)(Key*, const uint8_t*, size_t)) {
    uint32_t length = 0;
    const uint8_t* rec = RecordOf(node, index, &length);
    if (!rec) return nullptr;
    auto key = std::make_unique<Key>();
    if (!parse(key.get(), rec, length)) {
      m_status = HFS_RETURN_ERROR(kHFSBadStructure);
      return nullptr;
    }
    m_status = kHFSOk;
    return key;
  }

  // Compares two keys of the tree's own kind (0 for keys of another kind).
  template <class Key, class Compare>
  static int CompareAs(const HFSPlusKey& a, const HFSPlusKey& b, Compare compare) {
    auto* x = dynamic_cast<const Key*>(&a);
    auto* y = dynamic_cast<const Key*>(&b);
    return x && y ? compare(*x, *y) : 0;
  }

  CHFSPlusVolume* m_volume = nullptr;
  CHFSPlusRawfile* m_reader = nullptr;
  int m_status = kHFSMissing;
  uint16_t m_nodeSize = 0;
  std::unique_ptr<CHFSPlusBTNode> m_headerNode;
  BTHeaderRec m_header;
  bool m_hasHeader = false;
  std::unique_ptr<CHFSPlusBTree> m_tree;
};
