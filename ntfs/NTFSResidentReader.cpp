#include "NTFSResidentReader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "CFileNode.h"
#include "CNTFSExtendedFileRecord.h"
#include "CNTFSFileProperties.h"
#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "IStorageDevice.h"
#include "NTFSRecordNumber.h"
#include "ScanEngineRegistry.h"

namespace ntfs_resident {

namespace {
constexpr uint16_t kDirectoryAttribute = 0x10;

// `count` sectors at `first` when they lie inside the device.
bool ReadInside(IStorageDevice* device, uint64_t first, uint64_t count, std::vector<uint8_t>& out) {
  const int sectorSize = device->GetSectorSize();
  const uint64_t sectors = device->GetSectorCount();
  if (sectorSize <= 0 || count == 0 || first >= sectors || sectors - first < count) return false;
  out.assign(count * static_cast<uint64_t>(sectorSize), 0);
  return device->ReadSectors(out.data(), first, count) != 0;
}
}  // namespace

std::unique_ptr<CNTFSExtendedFileRecord> LoadNodeRecord(CFileNode* node, IStorageDevice* device) {
  if (!node || !device || node->IsFileSystemNode()) return nullptr;
  auto* properties = dynamic_cast<CNTFSFileProperties*>(node->GetProperties());
  if (!properties || (properties->GetAttributes() & kDirectoryAttribute)) return nullptr;
  const int sectorSize = device->GetSectorSize();
  if (sectorSize <= 0) return nullptr;
  const uint64_t sector = properties->GetRecordSector();
  // The header first (one record of the smallest size), then the record at
  // the size it states.
  std::vector<uint8_t> buffer;
  const uint32_t headerSectors = SectorsPerRecord(kNTFSMinRecordLength, static_cast<uint32_t>(sectorSize));
  if (!ReadInside(device, sector, headerSectors, buffer)) return nullptr;
  const uint32_t recordSize = RecordSizeOf(buffer.data(), static_cast<int>(buffer.size()), 0);
  if (recordSize == 0) return nullptr;
  const uint32_t sectors = SectorsPerRecord(recordSize, static_cast<uint32_t>(sectorSize));
  if (sectors > headerSectors && !ReadInside(device, sector, sectors, buffer)) return nullptr;
  const int length = static_cast<int>(std::min<size_t>(buffer.size(), recordSize));
  auto record =
      std::make_unique<CNTFSExtendedFileRecord>(buffer.data(), length, sector, device, properties->GetRecordList());
  if (!record->IsValid()) return nullptr;
  return record;
}

const uint8_t* FindUnnamedAttribute(CNTFSExtendedFileRecord& record, uint32_t type) {
  const uint8_t* found = nullptr;
  record.ForEachAttribute(type, [&found](const uint8_t* header, int, uint64_t) {
    if (CNTFSFileRecordAttribute::HasName(header)) return true;
    found = header;
    return false;
  });
  return found;
}

int CopyResidentValue(const uint8_t* attribute, void* destination, uint64_t capacity, uint64_t& length) {
  if (!attribute || !destination || !CNTFSFileRecordAttribute::IsResident(attribute)) return 0;
  const uint8_t* value = CNTFSFileRecordAttribute::GetValue(attribute);  // null unless inside
  if (!value) return 0;
  const uint64_t valueLength = CNTFSFileRecordAttribute::GetValueLength(attribute);
  if (capacity < valueLength) return 0;
  std::memcpy(destination, value, valueLength);
  length = valueLength;
  return 1;
}

int ReadResidentData(CFileNode* node, IStorageDevice* device, uint64_t& length, void* destination, uint64_t capacity) {
  length = 0;
  std::unique_ptr<CNTFSExtendedFileRecord> record = LoadNodeRecord(node, device);
  if (!record) return 0;
  const uint8_t* data = FindUnnamedAttribute(*record, CNTFSFileRecordAttribute::kData);
  return data ? CopyResidentValue(data, destination, capacity, length) : 0;
}

}  // namespace ntfs_resident

void RegisterNTFSResidentReader() {
  RegisterResidentDataReader(ntfs_resident::ReadResidentData);
}
