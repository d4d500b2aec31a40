#include "CExFatFileProperties.h"

#include "IDataRunList.h"

void CExFatFileProperties::SetDataRunList(IDataRunList* list) {
  if (!list) return;
  PackRuns(list);
  delete list;
}

bool CExFatFileProperties::Save(IScanStream* s) const {
  return SaveWithTwoWords(s, m_firstCluster, m_directoryValue);
}

bool CExFatFileProperties::Load(IScanStream* s) {
  return LoadWithTwoWords(s, m_firstCluster, m_directoryValue);
}

CExFatFileProperties* CreateExFatFileProperties() {
  return new CExFatFileProperties;
}

CExFatFileProperties* LoadExFatFileProperties(IScanStream* stream) {
  return LoadFileProperties<CExFatFileProperties>(stream);
}

void ReleaseExFatFileProperties(CExFatFileProperties* properties) {
  DeleteFileProperties(properties);
}
