#include "CHFSPlusExtents.h"

#include "ReturnError.h"

int CompareExtentKeys(const HFSPlusExtentKey& a, const HFSPlusExtentKey& b) {
  if (a.fileID != b.fileID) return a.fileID < b.fileID ? -1 : 1;
  if (a.forkType != b.forkType) return a.forkType < b.forkType ? -1 : 1;
  if (a.startBlock != b.startBlock) return a.startBlock < b.startBlock ? -1 : 1;
  if (a.keyLength != b.keyLength) return a.keyLength < b.keyLength ? -1 : 1;
  return 0;
}

CHFSPlusExtents::CHFSPlusExtents(CHFSPlusVolume* volume, CHFSPlusRawfile* reader)
    : CHFSPlusBTreeOptionBase(volume, reader) {
  MakeTree();
}

int CHFSPlusExtents::CompareKey(const HFSPlusKey& recordKey, const HFSPlusKey& searchKey) {
  return CompareAs<HFSPlusExtentKey>(recordKey, searchKey, CompareExtentKeys);
}

std::unique_ptr<HFSPlusKey> CHFSPlusExtents::ReadKey(CHFSPlusBTNode& node, uint16_t index) {
  return ReadKeyWith<HFSPlusExtentKey>(node, index, filpExtentKey);
}

std::unique_ptr<HFSPlusRecord> CHFSPlusExtents::ReadData(CHFSPlusBTNode& node, uint16_t index) {
  uint32_t length = 0;
  const uint8_t* rec = LeafRecordOf(node, index, &length, kHFSDeviceError);
  if (!rec) return nullptr;
  // The descriptors follow the 12-byte extent key.
  auto record = std::make_unique<HFSPlusExtentRecord>();
  if (length < 12 || !ReadExtentRecord(record.get(), rec + 12, length - 12)) {
    m_status = HFS_RETURN_ERROR(kHFSBadStructure);
    return nullptr;
  }
  m_status = kHFSOk;
  return record;
}
