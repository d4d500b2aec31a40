#include "CNTFSVolumeNameReader.h"

#include <vector>

#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "IStorageDevice.h"
#include "NTFSSystemFiles.h"
#include "NTFSText.h"

namespace {

constexpr uint64_t kVolumeRecordNumber = 3;
constexpr uint32_t kFixedValueOffset = 24;

}  // namespace

void GetVolumeNameFromRecord(const uint8_t* record, char out[kNTFSVolumeNameBytes], int length) {
  if (!record || !out || !IsVolumeRecord(record, length)) return;
  // The name is read from the record with its fixups applied.
  CNTFSFileRecord view(record, length, false);
  const int offset = FindAttributeOffset(view.GetRecord(), CNTFSFileRecordAttribute::kVolumeName, 0, view.GetLength());
  if (offset < 0) return;
  const uint8_t* header = view.GetRecord() + offset;
  if (!CNTFSFileRecordAttribute::IsResident(header)) return;
  const uint64_t valueLength = CNTFSFileRecordAttribute::GetValueLength(header);
  if (kFixedValueOffset + valueLength > CNTFSFileRecordAttribute::GetLength(header)) return;
  CopyUtf8Capped(NTFSNameToUtf8(header + kFixedValueOffset, valueLength / 2), out, kNTFSVolumeNameBytes);
}

bool CNTFSVolumeNameReader::ReadVolumeName(uint64_t partitionStart, const CNTFSDBR& dbr,
                                           char out[kNTFSVolumeNameBytes]) {
  if (!m_device || !out || !dbr.IsValid()) return false;
  const uint64_t recordSize = static_cast<uint64_t>(dbr.GetFileRecordSize());
  if (recordSize < kNTFSMinRecordLength || recordSize > kNTFSMaxRecordLength) return false;
  const int sectorSize = m_device->GetSectorSize();
  if (sectorSize <= 0) return false;

  // Work in bytes: the volume's sectors need not be the device's.
  uint64_t volumeBytes = 0;
  uint64_t mftByte = 0;
  uint64_t recordInVolume = 0;
  uint64_t volumeStart = 0;
  uint64_t recordByte = 0;
  if (__builtin_mul_overflow(dbr.GetTotalSectors(), uint64_t(dbr.GetBytesPerSector()), &volumeBytes) ||
      __builtin_mul_overflow(dbr.GetMFTCluster(), uint64_t(dbr.GetBytesPerCluster()), &mftByte) ||
      __builtin_add_overflow(mftByte, kVolumeRecordNumber * recordSize, &recordInVolume) || volumeBytes < recordSize ||
      recordInVolume > volumeBytes - recordSize ||
      __builtin_mul_overflow(partitionStart, uint64_t(sectorSize), &volumeStart) ||
      __builtin_add_overflow(volumeStart, recordInVolume, &recordByte))
    return false;

  const uint64_t firstSector = recordByte / sectorSize;
  const uint64_t lastSector = (recordByte + recordSize - 1) / sectorSize;
  const uint64_t count = lastSector - firstSector + 1;
  const uint64_t deviceSectors = m_device->GetSectorCount();
  if (deviceSectors != 0 && lastSector >= deviceSectors) return false;

  std::vector<uint8_t> buffer(count * sectorSize);
  if (!m_device->ReadSectors(buffer.data(), firstSector, count)) return false;
  GetVolumeNameFromRecord(buffer.data() + (recordByte - firstSector * sectorSize), out, static_cast<int>(recordSize));
  return true;
}
