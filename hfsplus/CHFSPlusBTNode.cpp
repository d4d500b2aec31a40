#include "CHFSPlusBTNode.h"

#include "ReturnError.h"

bool IsBTreeNode(const uint8_t* bytes, uint32_t size) {
  if (!bytes || size < 512 || size % 512 != 0) return false;
  BTNodeDescriptor d;
  flipNodeDescriptor(&d, bytes);
  if (d.kind < kBTLeafNode || d.kind > kBTMapNode) return false;
  if (d.kind == kBTHeaderNode && d.height != 0) return false;
  if (d.kind == kBTLeafNode && d.height != 1) return false;
  // The offset table (numRecords + 1 entries) must leave room for the descriptor.
  if (14 + 2 * (uint64_t(d.numRecords) + 1) > size) return false;
  uint32_t prev = ReadBE16(bytes + size - 2);
  if (prev != 14) return false;
  for (uint32_t i = 2; i <= uint32_t(d.numRecords) + 1; ++i) {
    uint32_t off = ReadBE16(bytes + size - 2 * i);
    if (off > size - 2 * i || off <= prev) return false;
    prev = off;
  }
  return true;
}

CHFSPlusBTNode::CHFSPlusBTNode(std::vector<uint8_t> bytes) : m_owned(std::move(bytes)) {
  m_bytes = m_owned.data();
  m_size = static_cast<uint32_t>(m_owned.size());
  Init();
}

CHFSPlusBTNode::CHFSPlusBTNode(const uint8_t* bytes, uint32_t size) : m_bytes(bytes), m_size(size) {
  Init();
}

void CHFSPlusBTNode::Init() {
  if (!IsBTreeNode(m_bytes, m_size)) {
    m_status = kHFSBadStructure;
    return;
  }
  flipNodeDescriptor(&m_descriptor, m_bytes);
  m_valid = true;
  m_status = kHFSOk;
}

uint16_t CHFSPlusBTNode::GetRecordCount() {
  if (!m_valid) {
    m_status = kHFSMissing;
    return 0;
  }
  return m_descriptor.numRecords;
}

const uint8_t* CHFSPlusBTNode::GetRecord(uint16_t index, uint32_t* length) {
  if (!m_valid) {
    m_status = HFS_RETURN_ERROR(kHFSMissing);
    return nullptr;
  }
  if (index >= m_descriptor.numRecords) {
    m_status = HFS_RETURN_ERROR(kHFSBadArgument);
    return nullptr;
  }
  // IsBTreeNode checked that the offsets rise and stay before the table.
  uint32_t off = ReadBE16(m_bytes + m_size - 2 * (uint32_t(index) + 1));
  uint32_t next = ReadBE16(m_bytes + m_size - 2 * (uint32_t(index) + 2));
  if (length) *length = next - off;
  return m_bytes + off;
}

int CHFSPlusBTNode::TestNodeBelongToFile() {
  int verdict = 0;
  uint16_t count = GetRecordCount();
  for (uint16_t i = 0; i < count; ++i) {
    uint32_t len = 0;
    const uint8_t* rec = GetRecord(i, &len);
    if (!rec || len < 2) break;
    uint32_t dataOffset = GetRecordDataOffset(rec);
    if (dataOffset >= len) break;
    uint32_t dataLen = len - dataOffset;
    const uint8_t* data = rec + dataOffset;
    uint16_t type = dataLen >= 2 ? ReadBE16(data) : 0;
    if (dataLen > 9 && (type == kHFSPlusFolderThreadRecord || type == kHFSPlusFileThreadRecord) &&
        dataLen == 10u + 2u * ReadBE16(data + 8))
      return 4;
    if ((dataLen == 88 && type == kHFSPlusFolderRecord) || (dataLen == 248 && type == kHFSPlusFileRecord)) return 4;
    uint32_t attrType = dataLen >= 4 ? ReadBE32(data) : 0;
    if ((dataLen == 88 && attrType == kHFSPlusAttrForkData) || (dataLen == 72 && attrType == kHFSPlusAttrExtents))
      verdict = 8;
    else if (dataLen == 64)
      verdict = 3;
  }
  return verdict;
}
