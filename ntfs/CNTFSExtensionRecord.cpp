#include "CNTFSExtensionRecord.h"

#include "CNTFSFileRecord.h"
#include "IStorageDevice.h"

int GetFileRecordSizeForDevice(IStorageDevice* device) {
  if (!device) return 0;
  const int sectorSize = device->GetSectorSize();
  if (sectorSize < 512 || sectorSize > kNTFSMaxRecordLength || sectorSize % 512 != 0) return 0;
  return sectorSize == 512 ? kNTFSMinRecordLength : sectorSize;
}

CNTFSExtensionRecord::CNTFSExtensionRecord(const NTFSSegmentRef& ref, IStorageDevice* device)
    : m_device(device), m_sector(ref.sector), m_recordNumber(ref.recordNumber) {}

const uint8_t* CNTFSExtensionRecord::Load() {
  if (!m_buffer.empty()) return m_buffer.data();
  // A failed read is not retried: the records of one file are searched many
  // times over.
  if (m_tried || m_sector < 0 || !m_device) return nullptr;
  m_tried = true;
  const int size = GetFileRecordSizeForDevice(m_device);
  if (size == 0) return nullptr;
  const int sectorSize = m_device->GetSectorSize();
  std::vector<uint8_t> buffer(static_cast<size_t>(size), 0);
  if (!m_device->ReadSectors(buffer.data(), static_cast<uint64_t>(m_sector), size / sectorSize)) return nullptr;
  if (IsValidFileRecord(buffer.data(), size)) ApplyFileRecordFixups(buffer.data(), size);
  m_buffer.swap(buffer);
  return m_buffer.data();
}

void CNTFSExtensionRecord::Free() {
  m_buffer.clear();
  m_buffer.shrink_to_fit();
  m_tried = false;
}
