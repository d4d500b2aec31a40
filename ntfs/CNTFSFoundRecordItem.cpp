#include "CNTFSFoundRecordItem.h"

#include "CNTFSFileRecord.h"
#include "NTFSRecordNumber.h"
#include "NTFSRecordRuns.h"

bool CNTFSFoundRecordItem::SetFromRecord(const CNTFSFileRecord& record, uint64_t sector) {
  if (!record.IsValid()) return false;
  CNTFSRunList runs;
  if (!CollectDataRuns(record, runs, false, nullptr) || runs.IsEmpty()) return false;
  m_runs.Clear();
  runs.CopyTo(m_runs);
  m_sector = sector;
  m_lsn = record.GetLogSequenceNumber();
  m_recordSize = RecordSizeOf(record.GetRecord(), record.GetLength(), static_cast<uint32_t>(record.GetLength()));
  return true;
}

bool CNTFSFoundRecordItem::SetFromBuffer(const uint8_t* bytes, int length, uint64_t sector) {
  if (!bytes || length < kNTFSMinRecordLength) return false;
  const int size = static_cast<int>(RecordSizeOf(bytes, length, kNTFSMinRecordLength));
  CNTFSFileRecord record(bytes, size <= length ? size : length, false);
  return SetFromRecord(record, sector);
}

bool CNTFSFoundRecordItem::IsEqual(const CNTFSFoundRecordItem& other) const {
  return m_sector == other.m_sector && m_lsn == other.m_lsn && m_runs.IsEqual(other.m_runs);
}

bool CNTFSFoundRecordItemEx::SetFromRecord(const CNTFSFileRecord& record, uint64_t sector) {
  uint8_t k = 0;
  if (!InferRecordSectorsPerCluster(record, k) || k == 0) return false;
  if (!CNTFSFoundRecordItem::SetFromRecord(record, sector)) return false;
  m_sectorsPerCluster = k;
  return true;
}
