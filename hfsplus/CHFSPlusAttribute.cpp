#include "CHFSPlusAttribute.h"

#include <cinttypes>
#include <cstdio>

#include "HFSPlusOutput.h"
#include "ReturnError.h"

int CompareAttributeKeys(const HFSPlusAttrKey& a, const HFSPlusAttrKey& b) {
  if (a.fileID != b.fileID) return a.fileID < b.fileID ? -1 : 1;
  size_t n = a.nameLength < b.nameLength ? a.nameLength : b.nameLength;
  for (size_t i = 0; i < n; ++i)
    if (a.name[i] != b.name[i]) return uint16_t(a.name[i]) < uint16_t(b.name[i]) ? -1 : 1;
  if (a.nameLength == b.nameLength) return 0;
  return a.nameLength < b.nameLength ? -1 : 1;
}

CHFSPlusAttribute::CHFSPlusAttribute(CHFSPlusVolume* volume, CHFSPlusRawfile* reader)
    : CHFSPlusBTreeOptionBase(volume, reader) {
  MakeTree();
}

int CHFSPlusAttribute::CompareKey(const HFSPlusKey& recordKey, const HFSPlusKey& searchKey) {
  return CompareAs<HFSPlusAttrKey>(recordKey, searchKey, CompareAttributeKeys);
}

std::unique_ptr<HFSPlusKey> CHFSPlusAttribute::ReadKey(CHFSPlusBTNode& node, uint16_t index) {
  return ReadKeyWith<HFSPlusAttrKey>(node, index, filpAttributeKey);
}

void CHFSPlusAttribute::DumpKey(const HFSPlusKey& key) {
  auto* k = dynamic_cast<const HFSPlusAttrKey*>(&key);
  if (!k) return;
  HFSPlusPrint("keyLength:%u\tfileID:%" PRIu32 "\tstartBlock:%" PRIu32 "\tName:", unsigned(k->keyLength), k->fileID,
              k->startBlock);
  if (k->nameLength == 0) HFSPlusPrint("\t");
  for (size_t i = 0; i < k->nameLength; ++i) {
    char c = static_cast<char>(k->name[i] & 0xFF);
    if (c != '\r') std::putchar(c);
  }
}

std::unique_ptr<HFSPlusRecord> CHFSPlusAttribute::ReadData(CHFSPlusBTNode& node, uint16_t index) {
  uint32_t length = 0;
  const uint8_t* rec = LeafRecordOf(node, index, &length, kHFSBadStructure);
  if (!rec) return nullptr;
  uint32_t dataOffset = length >= 2 ? CHFSPlusBTNode::GetRecordDataOffset(rec) : length;
  if (uint64_t(dataOffset) + 4 > length) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return nullptr;
  }
  uint32_t type = ReadBE32(rec + dataOffset);
  if (type != kHFSPlusAttrInlineData && type != kHFSPlusAttrForkData && type != kHFSPlusAttrExtents) {
    m_status = kHFSOk;  // not a failure: nothing to copy
    return nullptr;
  }
  auto record = std::make_unique<HFSPlusAttrRecord>();
  if (!ReadAttributeRecord(record.get(), rec + dataOffset, length - dataOffset)) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return nullptr;
  }
  m_status = kHFSOk;
  return record;
}

void CHFSPlusAttribute::DumpData(const HFSPlusRecord&) {
  HFSPlusPrint("\n");
}
