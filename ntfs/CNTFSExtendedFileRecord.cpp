#include "CNTFSExtendedFileRecord.h"

#include <algorithm>

#include "CNTFSFileRecord.h"
#include "NTFSAttributeList.h"
#include "ByteOrder.h"

CNTFSExtendedFileRecord::CNTFSExtendedFileRecord(const uint8_t* record, int length, uint64_t sector,
                                                 IStorageDevice* device, const NTFSSegmentRefList* list)
    : m_sector(sector), m_device(device) {
  if (!record || !IsValidFileRecord(record, length)) return;
  const int used = std::min(length, kNTFSMaxRecordLength);
  m_base.assign(record, record + used);
  ApplyFileRecordFixups(m_base.data(), used);  // a torn record is read as it stands
  if (!list || !device) return;
  for (const NTFSSegmentRef& ref : list->Refs()) {
    if (m_extensions.size() >= kMaxExtensionRecords) break;
    m_extensions.push_back(std::make_unique<CNTFSExtensionRecord>(ref, device));
  }
}

bool CNTFSExtendedFileRecord::IsInUse() const {
  return IsValid() && IsFileRecordInUse(m_base.data());
}

bool CNTFSExtendedFileRecord::IsDirectory() const {
  return IsValid() && IsDirectoryRecord(m_base.data());
}

uint32_t CNTFSExtendedFileRecord::GetRecordNumber() const {
  return IsValid() ? ReadLE32(m_base.data() + 44) : 0;
}

const uint8_t* CNTFSExtendedFileRecord::LoadValid(CNTFSExtensionRecord& extension) {
  const uint8_t* bytes = extension.Load();
  if (!bytes || !IsValidFileRecord(bytes, extension.GetLength())) return nullptr;
  return bytes;
}

const uint8_t* CNTFSExtendedFileRecord::FindAttribute(uint32_t type, int ordinal, int* offset, uint64_t* sector) {
  if (!IsValid() || ordinal < 0) return nullptr;
  const int baseOffset = FindAttributeOffset(m_base.data(), type, ordinal, GetLength());
  if (baseOffset >= 0) {
    if (offset) *offset = baseOffset;
    if (sector) *sector = m_sector;
    return m_base.data() + baseOffset;
  }
  int counted = CountAttributes(m_base.data(), type, GetLength());
  for (auto& extension : m_extensions) {
    const uint8_t* bytes = LoadValid(*extension);
    if (!bytes) continue;
    const int length = extension->GetLength();
    const int more = counted + CountAttributes(bytes, type, length);
    if (ordinal < more) {
      const int at = FindAttributeOffset(bytes, type, ordinal - counted, length);
      if (at < 0) return nullptr;
      if (offset) *offset = at;
      if (sector) *sector = static_cast<uint64_t>(extension->GetSector());
      return bytes + at;
    }
    counted = more;
  }
  return nullptr;
}

void CNTFSExtendedFileRecord::ForEachAttribute(uint32_t type, const AttributeVisitor& visit) {
  if (!IsValid()) return;
  // Ordinals as FindAttribute counts them; each record is walked once.
  auto walk = [&](const uint8_t* bytes, int length, uint64_t sector) {
    const int count = CountAttributes(bytes, type, length);
    for (int k = 0; k < count; ++k) {
      const int at = FindAttributeOffset(bytes, type, k, length);
      if (at < 0) return true;  // counted past the end marker
      if (!visit(bytes + at, at, sector)) return false;
    }
    return true;
  };
  if (!walk(m_base.data(), GetLength(), m_sector)) return;
  for (auto& extension : m_extensions) {
    const uint8_t* bytes = LoadValid(*extension);
    if (bytes && !walk(bytes, extension->GetLength(), static_cast<uint64_t>(extension->GetSector()))) return;
  }
}

std::unique_ptr<NTFSSegmentRefList> BuildSegmentRefList(const uint8_t* record, int length, uint64_t sector,
                                                        uint8_t sectorsPerCluster, uint64_t partitionStart,
                                                        IStorageDevice* device, const CNTFSRunList& mftRuns,
                                                        uint8_t sectorsPerRecord) {
  std::unique_ptr<NTFSSegmentRefList> list =
      ParseAttributeList(record, length, partitionStart, sectorsPerCluster, device);
  if (!list) return nullptr;
  for (NTFSSegmentRef& ref : list->Refs())
    ref.sector = GetRecordSectorFromRunList(ref.recordNumber, sectorsPerCluster, partitionStart, mftRuns,
                                            sectorsPerRecord);
  list->RemoveUnresolved(static_cast<int64_t>(sector));
  return list;
}
