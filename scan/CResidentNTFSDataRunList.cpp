#include "CResidentNTFSDataRunList.h"

#include <vector>

#include "ScanStreamIO.h"

bool CResidentNTFSDataRunList::Save(IScanStream* stream) const {
  return IDataRunList::Save(stream) && StreamWriteU32(stream, static_cast<uint32_t>(m_residentValue));
}

bool CResidentNTFSDataRunList::Load(IScanStream* stream) {
  std::vector<DataRun> loaded;
  uint32_t value = 0;
  if (!LoadSavedRuns(stream, loaded) || !StreamReadU32(stream, value)) return false;
  for (const DataRun& r : loaded) Append(r);
  m_residentValue = static_cast<int>(value);
  return true;
}

void CResidentNTFSDataRunList::SetRun(uint64_t start, uint64_t length, int value) {
  Append({start, length});
  m_residentValue = value;
}
