#include "CNTFSMFTRecordInfo.h"

#include "ByteOrder.h"
#include "IScanStream.h"
#include "NTFSRecordRuns.h"

bool CNTFSMFTRecordInfo::SetFromRecord(const CNTFSFileRecord& record, uint64_t sector) {
  uint8_t sectorsPerCluster = 0;
  if (!InferRecordSectorsPerCluster(record, sectorsPerCluster) || sectorsPerCluster == 0) return false;
  m_sectorsPerCluster = sectorsPerCluster;
  m_runs.Clear();
  if (!CollectDataRuns(record, m_runs, false, nullptr)) m_runs.Clear();
  m_sector = static_cast<int64_t>(sector);
  return !m_runs.IsEmpty();
}

bool CNTFSMFTRecordInfo::SetFromBuffer(const uint8_t* buffer, int length, uint64_t sector) {
  CNTFSFileRecord record(buffer, length, false);
  return record.IsValid() && SetFromRecord(record, sector);
}

bool CNTFSMFTRecordInfo::Save(IScanStream& stream) const {
  uint8_t head[10];
  WriteLE64(head, static_cast<uint64_t>(m_sector));
  head[8] = m_state;
  head[9] = m_sectorsPerCluster;
  return stream.Write(head, sizeof head) && m_runs.Save(stream);
}

bool CNTFSMFTRecordInfo::Load(IScanStream& stream) {
  uint8_t head[10];
  if (!stream.Read(head, sizeof head)) return false;
  CNTFSRunList runs;
  if (!runs.Load(stream)) return false;
  m_sector = static_cast<int64_t>(ReadLE64(head));
  m_state = head[8];
  m_sectorsPerCluster = head[9];
  m_runs.Clear();
  runs.CopyTo(m_runs);
  return true;
}

std::unique_ptr<CNTFSMFTRecordInfo> CreateMFTRecordInfo(const CNTFSFileRecord& record, uint64_t sector) {
  auto info = std::make_unique<CNTFSMFTRecordInfo>();
  if (!info->SetFromRecord(record, sector) || info->GetFirstLCN() < 0) return nullptr;
  return info;
}
