// The part of a tree's options common to the three HFS+ trees: reading nodes
// through the tree file's reader, the header record, child links, the root.
#pragma once

#include <cstdint>
#include <memory>

#include "CHFSPlusBTree.h"
#include "IHFSPlusBTreeOption.h"

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

  CHFSPlusVolume* m_volume = nullptr;
  CHFSPlusRawfile* m_reader = nullptr;
  int m_status = kHFSMissing;
  uint16_t m_nodeSize = 0;
  std::unique_ptr<CHFSPlusBTNode> m_headerNode;
  BTHeaderRec m_header;
  bool m_hasHeader = false;
  std::unique_ptr<CHFSPlusBTree> m_tree;
};
