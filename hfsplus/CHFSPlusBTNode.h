// One B-tree node of an HFS+ tree over its raw (big-endian) bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "HFSPlusStructs.h"

// Whether `size` bytes look like a B-tree node: size a multiple of 512, a
// known kind with the height its kind needs, the first record at 14 and the
// record offsets rising and ending before the offset table.
bool IsBTreeNode(const uint8_t* bytes, uint32_t size);

class CHFSPlusBTNode {
 public:
  // Takes the bytes over (owning) or only points at them.
  CHFSPlusBTNode(std::vector<uint8_t> bytes);
  CHFSPlusBTNode(const uint8_t* bytes, uint32_t size);
  CHFSPlusBTNode(const CHFSPlusBTNode&) = delete;
  CHFSPlusBTNode& operator=(const CHFSPlusBTNode&) = delete;

  int GetStatus() const { return m_status; }
  // The host-order descriptor; null when the bytes are not a node.
  const BTNodeDescriptor* GetDescriptor() const { return m_valid ? &m_descriptor : nullptr; }
  uint32_t GetNodeSize() const { return m_size; }
  uint16_t GetRecordCount();
  // Record `index` and its length (up to the next record's offset); null
  // (status 2 or 5) when there is no descriptor or no such record.
  const uint8_t* GetRecord(uint16_t index, uint32_t* length = nullptr);
  // Which tree a leaf node's records look like: 4 catalog, 3 extents,
  // 8 attributes, 0 none.
  int TestNodeBelongToFile();
  // Where a keyed record's data starts (keyLength + 2).
  static uint32_t GetRecordDataOffset(const uint8_t* record) { return ReadBE16(record) + 2u; }

 private:
  void Init();

  std::vector<uint8_t> m_owned;
  const uint8_t* m_bytes = nullptr;
  uint32_t m_size = 0;
  int m_status = kHFSMissing;
  bool m_valid = false;
  BTNodeDescriptor m_descriptor;
};
