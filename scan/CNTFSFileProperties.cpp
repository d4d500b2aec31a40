#include "CNTFSFileProperties.h"

#include "ScanStreamIO.h"

int CNTFSFileProperties::GetNameLength() const {
  return m_name.empty() ? 0 : static_cast<int>(m_name.size() + 1);
}

void CNTFSFileProperties::SetName(const char* name) {
  if (name) m_name = name;
}

void CNTFSFileProperties::CopyRecordList(NTFSSegmentRefList& out) const {
  if (m_recordList) out = *m_recordList;
}

void CNTFSFileProperties::SetFromRecordInfo(NTFSFileFields& f) {
  Assign(std::move(f.common));
  m_recordSector = f.recordSector;
  m_packed = std::move(f.packedRuns);
  m_recordNumber = f.recordNumber;
}

bool CNTFSFileProperties::Save(IScanStream* s) const {
  if (!SaveCommon(s, true) || !StreamWriteU64(s, m_recordSector) || !SaveOptionalRuns(s)) return false;
  const uint64_t count = m_recordList ? m_recordList->GetCount() : 0;
  if (!StreamWriteU64(s, count)) return false;
  if (m_recordList)
    for (const NTFSSegmentRef& r : m_recordList->Refs())
      if (!StreamWriteU64(s, static_cast<uint64_t>(r.sector)) || !StreamWriteU64(s, r.recordNumber)) return false;
  return true;
}

bool CNTFSFileProperties::Load(IScanStream* s) {
  Common common;
  uint64_t sector = 0, count = 0;
  std::unique_ptr<CPackedDataRuns> packed;
  if (!LoadCommon(s, common) || !StreamReadU64(s, sector) || !LoadOptionalRuns(s, packed) || !StreamReadU64(s, count))
    return false;
  std::unique_ptr<NTFSSegmentRefList> list;
  if (count > 0) {
    list = std::make_unique<NTFSSegmentRefList>();
    // Entries are read one by one: the stream, not the count, bounds memory.
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t sector = 0, number = 0;
      if (!StreamReadU64(s, sector) || !StreamReadU64(s, number)) return false;
      list->Add(number, static_cast<int64_t>(sector));
    }
  }
  Assign(std::move(common));
  m_status = 0;
  m_recordSector = sector;
  m_packed = std::move(packed);
  m_recordList = std::move(list);
  return true;
}

CNTFSFileProperties* CreateNTFSFileProperties() {
  return new CNTFSFileProperties;
}

CNTFSFileProperties* LoadNTFSFileProperties(IScanStream* stream) {
  return LoadFileProperties<CNTFSFileProperties>(stream);
}
