// The extension records an $ATTRIBUTE_LIST names, and where they lie in the
// $MFT.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "CNTFSRunList.h"

class IStorageDevice;

// One extension record: its sector on the device (-1 until resolved) and its
// record number (the low 48 bits of the segment reference).
struct NTFSSegmentRef {
  int64_t sector = -1;
  uint64_t recordNumber = 0;
};

// The records of one $ATTRIBUTE_LIST, in list order, each number at most once.
class NTFSSegmentRefList {
 public:
  bool IsEmpty() const { return m_refs.empty(); }
  size_t GetCount() const { return m_refs.size(); }
  // Adds the record unless the list holds it already.
  void Add(uint64_t recordNumber);
  bool Contains(uint64_t recordNumber) const;
  // Drops the entries naming `recordNumber` (a base record's own entries).
  void Remove(uint64_t recordNumber);
  void Clear() { m_refs.clear(); }

  std::vector<NTFSSegmentRef>& Refs() { return m_refs; }
  const std::vector<NTFSSegmentRef>& Refs() const { return m_refs; }

 private:
  std::vector<NTFSSegmentRef> m_refs;
};

bool SegmentRefListContains(const NTFSSegmentRefList* list, uint64_t recordNumber);

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
