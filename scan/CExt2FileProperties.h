// The properties of a file found by the Ext2 engine.
#pragma once

#include <map>
#include <memory>

#include "CBasicFileProperties.h"

class CExt2FileProperties : public CBasicFileProperties {
 public:
  int GetNameLength() const override { return static_cast<int>(m_name.size()); }
  // Null stores "Unknown".
  void SetName(const char* name) override { m_name = name ? name : "Unknown"; }
  int GetSupportedFields() const override { return 0xFF; }
  EPartitionKind GetSearchKind() const override { return EPartitionKind::Ext2; }
  // Inode number and child names are not saved.
  bool Save(IScanStream* stream) const override;
  bool Load(IScanStream* stream) override;

  void SetInodeNumber(uint32_t inode) { m_inode = inode; }
  uint32_t GetInodeNumber() const { return m_inode; }
  void SetChildName(uint32_t inode, const std::string& name);
  // The stored name, removed from the map (which goes when empty); an empty
  // text when absent.
  std::string GetChildName(uint32_t inode);
  const std::map<uint32_t, std::string>* GetChildNameMap() const { return m_childNames.get(); }
  void ClearChildNames() { m_childNames.reset(); }
  // Packs the list in place of earlier runs, then deletes the list.
  void SetDataRunList(IDataRunList* list);

 private:
  std::unique_ptr<std::map<uint32_t, std::string>> m_childNames;
  uint32_t m_inode = 0;
};

CExt2FileProperties* CreateExt2FileProperties();
void DeleteExt2FileProperties(CExt2FileProperties* properties);
CExt2FileProperties* LoadExt2FileProperties(IScanStream* stream);
