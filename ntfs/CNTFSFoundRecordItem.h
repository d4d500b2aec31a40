// A system FILE record found on the disk by the complete search: where it
// lies, the runs of its unnamed $DATA and its log sequence number.
#pragma once

#include <cstdint>

#include "CNTFSRunList.h"

class CNTFSFileRecord;

class CNTFSFoundRecordItem {
 public:
  virtual ~CNTFSFoundRecordItem() = default;
  // False for an invalid record and one without non-resident $DATA runs.
  virtual bool SetFromRecord(const CNTFSFileRecord& record, uint64_t sector);
  bool SetFromBuffer(const uint8_t* bytes, int length, uint64_t sector);

  uint64_t GetSector() const { return m_sector; }
  const CNTFSRunList& GetRunList() const { return m_runs; }
  uint64_t GetLogSequenceNumber() const { return m_lsn; }
  // The record size the record states.
  uint32_t GetRecordSize() const { return m_recordSize; }
  // LCN of VCN 0; -1 when not mapped.
  int64_t GetFirstLCN() const { return m_runs.VCNToLCN(0); }
  bool IsEqual(const CNTFSFoundRecordItem& other) const;

 private:
  uint64_t m_sector = 0;
  CNTFSRunList m_runs;
  uint64_t m_lsn = 0;
  uint32_t m_recordSize = 0;
};

// The same with the cluster size inferred from the record (device sectors).
class CNTFSFoundRecordItemEx : public CNTFSFoundRecordItem {
 public:
  // Fails also when no cluster size can be inferred.
  bool SetFromRecord(const CNTFSFileRecord& record, uint64_t sector) override;
  uint8_t GetSectorsPerCluster() const { return m_sectorsPerCluster; }

 private:
  uint8_t m_sectorsPerCluster = 0;
};
