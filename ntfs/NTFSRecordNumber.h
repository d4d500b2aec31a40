// Where FILE records lie: device sectors per record and the MFT record
// number of a sector, worked out from the record size and the device's
// sector size (a 4096-byte-sector volume keeps one 4096-byte record per
// sector; a 512-byte-sector one two sectors per 1024-byte record).
#pragma once

#include <cstdint>

class CNTFSMFTRecordInfo;

// Device sectors one record covers: at least 1.
uint32_t SectorsPerRecord(uint32_t recordSize, uint32_t sectorSize);
// The record size a FILE record states (bytes allocated) when it is 1024 to
// 4096 and a multiple of 512; `fallback` otherwise.
uint32_t RecordSizeOf(const uint8_t* record, int length, uint32_t fallback);

// The number of the record that starts at `sector`, through the $MFT's runs
// (clusters of k sectors from `partitionStart`); -1 when no run holds the
// sector's cluster or the sector is not the first of a record.
int64_t RecordNumberFromSector(uint64_t sector, const CNTFSMFTRecordInfo& mft, uint64_t partitionStart,
                               uint32_t sectorsPerCluster, uint32_t recordSize, uint32_t sectorSize);
