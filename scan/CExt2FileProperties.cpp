#include "CExt2FileProperties.h"

#include "IDataRunList.h"

void CExt2FileProperties::SetChildName(uint32_t inode, const std::string& name) {
  if (!m_childNames) m_childNames = std::make_unique<std::map<uint32_t, std::string>>();
  (*m_childNames)[inode] = name;
}

std::string CExt2FileProperties::GetChildName(uint32_t inode) {
  if (!m_childNames) return std::string();
  auto it = m_childNames->find(inode);
  if (it == m_childNames->end()) return std::string();
  std::string name = std::move(it->second);
  m_childNames->erase(it);
  if (m_childNames->empty()) m_childNames.reset();
  return name;
}

void CExt2FileProperties::SetDataRunList(IDataRunList* list) {
  PackRuns(list);
  delete list;
}

bool CExt2FileProperties::Save(IScanStream* s) const {
  return SaveCommon(s, false) && SaveOptionalRuns(s);
}

bool CExt2FileProperties::Load(IScanStream* s) {
  Common common;
  std::unique_ptr<CPackedDataRuns> packed;
  if (!LoadCommon(s, common) || !LoadOptionalRuns(s, packed)) return false;
  Assign(std::move(common));
  m_status = 0;
  m_packed = std::move(packed);
  return true;
}

CExt2FileProperties* CreateExt2FileProperties() {
  return new CExt2FileProperties;
}
void DeleteExt2FileProperties(CExt2FileProperties* properties) {
  DeleteFileProperties(properties);
}

CExt2FileProperties* LoadExt2FileProperties(IScanStream* stream) {
  return LoadFileProperties<CExt2FileProperties>(stream);
}
