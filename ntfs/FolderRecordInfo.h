// A folder's FILE record whose index lives in non-resident INDX blocks: the
// runs of its $INDEX_ALLOCATION and the folder's record number, so that an
// INDX block found on the disk can be tied to its folder and placed.
#pragma once

#include <cstdint>

#include "CNTFSRunList.h"

class FolderRecordInfo {
 public:
  // False for an invalid or extension record, without a decodable
  // non-resident $INDEX_ALLOCATION or an inferred cluster size, and when the
  // folder's number (from the $INDEX_ROOT entries, else the header) is
  // unknown or the root folder's (5).
  bool SetFromRecord(const uint8_t* record, int length, uint64_t sector);

  // LCN of the block at `vcn`; -1 when no run holds it.
  int64_t VCNToLCN(uint64_t vcn) const { return m_runs.VCNToLCN(vcn); }

  uint64_t GetSector() const { return m_sector; }
  const CNTFSRunList& GetIndexAllocationRuns() const { return m_runs; }
  uint64_t GetLogSequenceNumber() const { return m_lsn; }
  int64_t GetDirectoryRecordNumber() const { return m_directory; }
  uint32_t GetHeaderRecordNumber() const { return m_headerNumber; }
  bool HasHeaderRecordNumber() const { return m_hasHeaderNumber != 0; }
  uint32_t GetSectorsPerCluster() const { return m_sectorsPerCluster; }

 private:
  uint64_t m_sector = 0;
  CNTFSRunList m_runs;
  uint64_t m_lsn = 0;
  int64_t m_directory = -1;
  uint32_t m_headerNumber = 0;
  uint32_t m_hasHeaderNumber = 0;
  uint32_t m_sectorsPerCluster = 0;
};
