// Reading an $ATTRIBUTE_LIST, and where the extension records it names lie
// in the $MFT.
#pragma once

#include <cstdint>
#include <memory>

#include "CNTFSRunList.h"
#include "NTFSSegmentRefList.h"

class IStorageDevice;

// The records named by the $ATTRIBUTE_LIST of a FILE record. Null for an
// invalid record, a record without a list, a list that cannot be read (a
// failed read of a non-resident list is a failure) and a list without
// entries. The caller's buffer is never changed: fixups are applied to a
// private copy. A non-resident list is read through `device` at cluster x
// sectors per cluster + partition start.
std::unique_ptr<NTFSSegmentRefList> ParseAttributeList(const uint8_t* record, int length, uint64_t partitionStart,
                                                       uint8_t sectorsPerCluster, IStorageDevice* device);

// Reads the clusters the mapping pairs name, in order, into `buffer` until
// the next run would not fit. False when the pairs are malformed or a read
// fails (the buffer's contents are then not to be used).
bool ReadAttributeListData(const uint8_t* pairs, int length, uint8_t* buffer, int bufferSize, uint64_t partitionStart,
                           uint8_t sectorsPerCluster, IStorageDevice* device);

uint64_t ClusterToSector(uint64_t cluster, uint64_t partitionStart, int sectorsPerCluster);

// Byte offset on the volume of record `recordNumber` of the $MFT whose runs
// are `mftRuns`; -1 when the runs do not map it.
int64_t GetRecordByteOffsetFromRunList(uint64_t recordNumber, uint32_t recordSize, uint32_t bytesPerCluster,
                                       const CNTFSRunList& mftRuns);
// The same as a device sector: partition start + LCN x sectors per cluster +
// the record's sector within its cluster; -1 when unmapped.
int64_t GetRecordSectorFromRunList(uint64_t recordNumber, uint8_t sectorsPerCluster, uint64_t partitionStart,
                                   const CNTFSRunList& mftRuns, uint8_t sectorsPerRecord);
