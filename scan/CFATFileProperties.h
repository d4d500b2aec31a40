// The properties of a file found by the FAT engine.
#pragma once

#include "CBasicFileProperties.h"

class CFATFileProperties : public CBasicFileProperties {
 public:
  CFATFileProperties() = default;
  int GetNameLength() const override { return static_cast<int>(m_name.size()); }
  int GetSupportedFields() const override { return 0xFF; }
  // Always 0; setting keeps nothing and answers 1.
  uint8_t GetStatusFlag() const override { return 0; }
  int SetStatusFlag(uint8_t) override { return 1; }
  EPartitionKind GetSearchKind() const override { return EPartitionKind::FAT; }
  bool Save(IScanStream* stream) const override;
  bool Load(IScanStream* stream) override;

  void SetFirstCluster(uint32_t c) { m_firstCluster = c; }
  uint32_t GetFirstCluster() const { return m_firstCluster; }
  // The cluster of the containing folder; 0xFFFFFFFF when unknown.
  void SetParentCluster(uint32_t c) { m_parentCluster = c; }
  uint32_t GetParentCluster() const { return m_parentCluster; }
  // Each stores 0 when the DOS date and time do not form a valid time.
  void SetCreationTime(uint16_t dosDate, uint16_t dosTime);
  void SetModificationTime(uint16_t dosDate, uint16_t dosTime);
  void SetAccessDate(uint16_t dosDate);
  void ClearCreationTime() { m_creation = 0; }
  void ClearModificationTime() { m_modification = 0; }
  void ClearAccessTime() { m_access = 0; }
  using CBasicFileProperties::SetCreationTime;
  using CBasicFileProperties::SetModificationTime;
  // Packs the list in place of earlier runs, then deletes the list.
  void SetDataRunList(IDataRunList* list);

 private:
  uint32_t m_firstCluster = 0;
  uint32_t m_parentCluster = 0;
};

CFATFileProperties* CreateFATFileProperties();
CFATFileProperties* LoadFATFileProperties(IScanStream* stream);
// Called by the FAT engine with a node before it drops it; does nothing.
void NoOpNodeHook(void* node);
