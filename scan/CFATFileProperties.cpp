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
  return SaveWithTwoWords(s, m_firstCluster, m_parentCluster);
}

bool CFATFileProperties::Load(IScanStream* s) {
  return LoadWithTwoWords(s, m_firstCluster, m_parentCluster);
}

CFATFileProperties* CreateFATFileProperties() {
  return new CFATFileProperties;
}

CFATFileProperties* LoadFATFileProperties(IScanStream* stream) {
  return LoadFileProperties<CFATFileProperties>(stream);
}

void NoOpNodeHook(void*) {}
