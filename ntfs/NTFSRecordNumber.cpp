#include "NTFSRecordNumber.h"

#include "ByteOrder.h"
#include "CNTFSFileRecord.h"
#include "CNTFSMFTRecordInfo.h"
#include "NTFSRecordHeader.h"

uint32_t SectorsPerRecord(uint32_t recordSize, uint32_t sectorSize) {
  if (sectorSize == 0 || recordSize <= sectorSize) return 1;
  return recordSize / sectorSize;
}

uint32_t RecordSizeOf(const uint8_t* record, int length, uint32_t fallback) {
  if (!record || length < ntfs_record::kBytesAllocatedOffset + 4) return fallback;
  const uint32_t size = ReadLE32(record + ntfs_record::kBytesAllocatedOffset);
  if (size < kNTFSMinRecordLength || size > kNTFSMaxRecordLength || size % 512 != 0) return fallback;
  return size;
}

int64_t RecordNumberFromSector(uint64_t sector, const CNTFSMFTRecordInfo& mft, uint64_t partitionStart,
                               uint32_t sectorsPerCluster, uint32_t recordSize, uint32_t sectorSize) {
  if (sectorsPerCluster == 0 || recordSize == 0 || sectorSize == 0 || sector < partitionStart) return -1;
  const uint64_t c = (sector - partitionStart) / sectorsPerCluster;
  const uint64_t r = (sector - partitionStart) % sectorsPerCluster;
  const int64_t vcn = mft.GetRunList().LCNToVCN(c);
  if (vcn < 0) return -1;
  uint64_t sectors = 0, bytes = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(vcn), sectorsPerCluster, &sectors) ||
      __builtin_add_overflow(sectors, r, &sectors) || __builtin_mul_overflow(sectors, sectorSize, &bytes))
    return -1;
  if (bytes % recordSize != 0) return -1;
  return static_cast<int64_t>(bytes / recordSize);
}
