#include "CHFSPlusBTreeOptionBase.h"

#include <vector>

#include "CHFSPlusRawfile.h"
#include "ReturnError.h"

CHFSPlusBTreeOptionBase::CHFSPlusBTreeOptionBase(CHFSPlusVolume* volume, CHFSPlusRawfile* reader)
    : m_volume(volume), m_reader(reader) {
  if (!volume || !reader) {
    m_status = HFS_RETURN_ERROR(kHFSBadArgument);
    return;
  }
  m_nodeSize = PreGetNodeSize(reader);
  if (m_nodeSize == 0) return;
  m_headerNode = CreateNode(0);
  if (!m_headerNode) return;
  uint32_t length = 0;
  const uint8_t* rec = m_headerNode->GetRecord(0, &length);
  if (!rec) {
    m_status = m_headerNode->GetStatus();
    return;
  }
  if (m_headerNode->GetDescriptor()->kind != kBTHeaderNode || length < 106) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return;
  }
  flipBTHeaderRec(&m_header, rec);
  if (m_header.nodeSize != m_nodeSize) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return;
  }
  m_hasHeader = true;
  m_status = kHFSOk;
}

CHFSPlusBTreeOptionBase::~CHFSPlusBTreeOptionBase() = default;

void CHFSPlusBTreeOptionBase::MakeTree() {
  m_tree = std::make_unique<CHFSPlusBTree>(m_volume, this);
  m_status = m_tree->GetStatus();
}

uint16_t CHFSPlusBTreeOptionBase::PreGetNodeSize(CHFSPlusRawfile* reader) {
  std::vector<uint8_t> buf(512);
  if (!reader || reader->Read(0, buf.data(), 512) < 512) {
    m_status = HFS_RETURN_ERROR(kHFSShortRead);
    return 0;
  }
  BTHeaderRec h;
  flipBTHeaderRec(&h, buf.data() + 14);
  uint16_t n = h.nodeSize;
  if (n < 512 || n > 32768 || (n & (n - 1)) != 0) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return 0;
  }
  m_status = kHFSOk;
  return n;
}

std::unique_ptr<CHFSPlusBTNode> CHFSPlusBTreeOptionBase::CreateNode(uint32_t number) {
  if (!m_reader || m_nodeSize == 0) {
    m_status = HFS_RETURN_ERROR(kHFSMissing);
    return nullptr;
  }
  if (m_hasHeader && number >= m_header.totalNodes) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return nullptr;
  }
  std::vector<uint8_t> buf(m_nodeSize);
  if (m_reader->Read(uint64_t(number) * m_nodeSize, buf.data(), m_nodeSize) < m_nodeSize) {
    m_status = HFS_RETURN_ERROR(kHFSShortRead);
    return nullptr;
  }
  m_status = kHFSOk;
  return std::make_unique<CHFSPlusBTNode>(std::move(buf));
}

uint32_t CHFSPlusBTreeOptionBase::GetChild(CHFSPlusBTNode& node, uint16_t index) {
  const BTNodeDescriptor* d = node.GetDescriptor();
  if (!d) {
    m_status = node.GetStatus();
    return 0;
  }
  if (d->kind != kBTIndexNode) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return 0;
  }
  uint32_t length = 0;
  const uint8_t* rec = node.GetRecord(index, &length);
  if (!rec) {
    m_status = node.GetStatus();
    return 0;
  }
  uint32_t dataOffset = CHFSPlusBTNode::GetRecordDataOffset(rec);
  if (length < 2 || uint64_t(dataOffset) + 4 > length) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return 0;
  }
  uint32_t child = ReadBE32(rec + dataOffset);
  if (child == 0 || (m_hasHeader && child >= m_header.totalNodes)) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return 0;
  }
  m_status = kHFSOk;
  return child;
}

uint32_t CHFSPlusBTreeOptionBase::GetRoot() {
  if (!m_hasHeader) {
    m_status = kHFSMissing;
    return 0;
  }
  return m_header.rootNode;
}

int CHFSPlusBTreeOptionBase::Search(const HFSPlusKey& key, HFSPlusSearchResult* result,
                                    std::unique_ptr<HFSPlusRecord>* dataOut) {
  if (!m_tree) return m_status = HFS_RETURN_ERROR(kHFSMissing);
  return m_tree->Search(key, result, dataOut);
}

int CHFSPlusBTreeOptionBase::Traverse(IHFSPlusRecordVisitor* visitor) {
  if (!m_tree) return m_status = HFS_RETURN_ERROR(kHFSMissing);
  return m_tree->Traverse(visitor);
}

const uint8_t* CHFSPlusBTreeOptionBase::RecordOf(CHFSPlusBTNode& node, uint16_t index, uint32_t* length) {
  const uint8_t* rec = node.GetRecord(index, length);
  if (!rec) m_status = node.GetStatus();
  return rec;
}

const uint8_t* CHFSPlusBTreeOptionBase::LeafRecordOf(CHFSPlusBTNode& node, uint16_t index, uint32_t* length,
                                                     int notLeaf) {
  const BTNodeDescriptor* d = node.GetDescriptor();
  if (!d && notLeaf != kHFSDeviceError) {
    m_status = node.GetStatus();
    return nullptr;
  }
  if (!d || d->kind != kBTLeafNode) {
    m_status = HFS_RETURN_ERROR(notLeaf);
    return nullptr;
  }
  return RecordOf(node, index, length);
}
