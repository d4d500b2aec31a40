// A found $MFT record: where it lies and the runs of the $MFT's data.
#pragma once

#include <cstdint>
#include <memory>

#include "CNTFSFileRecord.h"
#include "CNTFSRunList.h"

class IScanStream;

class CNTFSMFTRecordInfo {
 public:
  // Infers the sectors per cluster from the record's $DATA (0 refuses),
  // collects its $DATA runs and keeps the sector. True when there are runs.
  bool SetFromRecord(const CNTFSFileRecord& record, uint64_t sector);
  bool SetFromBuffer(const uint8_t* buffer, int length, uint64_t sector);

  int64_t GetSector() const { return m_sector; }
  CNTFSRunList& GetRunList() { return m_runs; }
  const CNTFSRunList& GetRunList() const { return m_runs; }
  uint8_t GetSectorsPerCluster() const { return m_sectorsPerCluster; }
  uint8_t GetState() const { return m_state; }
  void SetState(uint8_t state) { m_state = state; }
  void CopyRunsTo(CNTFSRunList& destination) const { m_runs.CopyTo(destination); }
  // LCN of VCN 0; -1 when the runs do not map it.
  int64_t GetFirstLCN() const { return m_runs.VCNToLCN(0); }

  // Sector (8 bytes), state, sectors per cluster, then the run list.
  bool Save(IScanStream& stream) const;
  bool Load(IScanStream& stream);

 private:
  int64_t m_sector = -1;
  CNTFSRunList m_runs;
  uint8_t m_state = 2;
  uint8_t m_sectorsPerCluster = 0;
};

// A new info for the record when SetFromRecord accepts it and VCN 0 is mapped.
std::unique_ptr<CNTFSMFTRecordInfo> CreateMFTRecordInfo(const CNTFSFileRecord& record, uint64_t sector);
