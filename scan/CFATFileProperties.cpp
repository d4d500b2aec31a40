#include "CFATFileProperties.h"

#include "FileTime.h"
#include "IDataRunList.h"
#include "ScanStreamIO.h"

namespace {
uint64_t DosToFileTime(uint16_t date, uint16_t time) {
  uint64_t t = 0;
  return DosDateTimeToFileTime(date, time, t) ? t : 0;
}
}  // namespace

void CFATFileProperties::SetCreationTime(uint16_t dosDate, uint16_t dosTime) {
  m_creation = DosToFileTime(dosDate, dosTime);
}
void CFATFileProperties::SetModificationTime(uint16_t dosDate, uint16_t dosTime) {
  m_modification = DosToFileTime(dosDate, dosTime);
}
void CFATFileProperties::SetAccessDate(uint16_t dosDate) {
  m_access = DosToFileTime(dosDate, 0);
}

void CFATFileProperties::SetDataRunList(IDataRunList* list) {
  PackRuns(list);
  delete list;
}

bool CFATFileProperties::Save(IScanStream* s) const {
  return SaveCommon(s, false) && StreamWriteU32(s, m_firstCluster) && StreamWriteU32(s, m_parentCluster) &&
         SaveOptionalRuns(s);
}

bool CFATFileProperties::Load(IScanStream* s) {
  Common common;
  uint32_t first = 0, parent = 0;
  std::unique_ptr<CPackedDataRuns> packed;
  if (!LoadCommon(s, common) || !StreamReadU32(s, first) || !StreamReadU32(s, parent) || !LoadOptionalRuns(s, packed))
    return false;
  Assign(std::move(common));
  m_status = 0;
  m_firstCluster = first;
  m_parentCluster = parent;
  m_packed = std::move(packed);
  return true;
}

CFATFileProperties* CreateFATFileProperties() {
  return new CFATFileProperties;
}

CFATFileProperties* LoadFATFileProperties(IScanStream* stream) {
  return LoadFileProperties<CFATFileProperties>(stream);
}

void NoOpNodeHook(void*) {}
