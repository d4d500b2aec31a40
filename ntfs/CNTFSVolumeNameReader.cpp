#include "CNTFSVolumeNameReader.h"

#include <vector>

#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordAttribute.h"
#include "IStorageDevice.h"
#include "NTFSBytes.h"
#include "NTFSSystemFiles.h"

namespace {

constexpr uint64_t kVolumeRecordNumber = 3;
constexpr uint32_t kFixedValueOffset = 24;

// UTF-16 to UTF-8, whole characters only, at most `capacity` - 1 bytes plus a
// terminating zero. Unpaired surrogates become U+FFFD.
void Utf16ToUtf8(const uint8_t* units, int count, char* out, int capacity) {
  int written = 0;
  for (int i = 0; i < count; ++i) {
    uint32_t cp = ntfsbytes::ReadU16(units + 2 * i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count) {
      const uint32_t low = ntfsbytes::ReadU16(units + 2 * (i + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    char bytes[4];
    int n = 0;
    if (cp < 0x80) {
      bytes[n++] = static_cast<char>(cp);
    } else if (cp < 0x800) {
      bytes[n++] = static_cast<char>(0xC0 | (cp >> 6));
      bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      bytes[n++] = static_cast<char>(0xE0 | (cp >> 12));
      bytes[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      bytes[n++] = static_cast<char>(0xF0 | (cp >> 18));
      bytes[n++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      bytes[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[n++] = static_cast<char>(0x80 | (cp & 0x3F));
    }
    if (written + n > capacity - 1) break;
    for (int k = 0; k < n; ++k) out[written++] = bytes[k];
  }
  out[written] = 0;
}

}  // namespace

void GetVolumeNameFromRecord(const uint8_t* record, char out[kNTFSVolumeNameBytes], int length) {
  if (!record || !out || !IsVolumeRecord(record, length)) return;
  // The name is read from the record with its fixups applied.
  CNTFSFileRecord view(record, length, false);
  const int offset = FindAttributeOffset(view.GetRecord(), CNTFSFileRecordAttribute::kVolumeName, 0,
                                         view.GetLength());
  if (offset < 0) return;
  const uint8_t* header = view.GetRecord() + offset;
  if (!CNTFSFileRecordAttribute::IsResident(header)) return;
  const uint64_t valueLength = CNTFSFileRecordAttribute::GetValueLength(header);
  if (kFixedValueOffset + valueLength > CNTFSFileRecordAttribute::GetLength(header)) return;
  if (offset + kFixedValueOffset + valueLength >= 1024) return;
  Utf16ToUtf8(header + kFixedValueOffset, static_cast<int>(valueLength / 2), out,
              kNTFSVolumeNameBytes);
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
      __builtin_add_overflow(mftByte, kVolumeRecordNumber * recordSize, &recordInVolume) ||
      volumeBytes < recordSize || recordInVolume > volumeBytes - recordSize ||
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
  GetVolumeNameFromRecord(buffer.data() + (recordByte - firstSector * sectorSize), out,
                          static_cast<int>(recordSize));
  return true;
}
