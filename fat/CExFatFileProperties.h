// The properties of a file or folder found on an exFAT volume.
#pragma once

#include <cstdint>

#include "CBasicFileProperties.h"

class CExFatFileProperties : public CBasicFileProperties {
 public:
  CExFatFileProperties() = default;
  int GetNameLength() const override { return static_cast<int>(m_name.size()); }
  // A null name is ignored.
  void SetName(const char* name) override {
    if (name) m_name = name;
  }
  int GetSupportedFields() const override { return 0xFF; }
  // Stores the flag and answers 1.
  int SetStatusFlag(uint8_t value) override {
    m_status = value;
    return 1;
  }
  EPartitionKind GetSearchKind() const override { return EPartitionKind::exFAT; }
  // Name, size, attributes, times, deleted, first cluster, directory value,
  // then the runs when there are any. The contiguous flag is not saved.
  bool Save(IScanStream* stream) const override;
  // Clears the status flag; false (nothing changed) on a short stream.
  bool Load(IScanStream* stream) override;

  void SetFirstCluster(uint32_t c) { m_firstCluster = c; }
  uint32_t GetFirstCluster() const { return m_firstCluster; }
  // 0xFFFFFFFF for the root of a complete-search tree, else 0.
  void SetDirectoryValue(uint32_t v) { m_directoryValue = v; }
  uint32_t GetDirectoryValue() const { return m_directoryValue; }
  uint8_t IsDeletedBit() const { return m_deleted & 1; }
  // Whether the file's clusters follow one another without a FAT chain
  // (the stream entry's NoFatChain flag).
  void SetContiguous(bool contiguous) { m_contiguous = contiguous; }
  bool IsContiguous() const { return m_contiguous; }
  // Packs the list in place of earlier runs, then deletes it; null is
  // ignored.
  void SetDataRunList(IDataRunList* list);

 private:
  uint32_t m_firstCluster = 0;
  uint32_t m_directoryValue = 0;
  bool m_contiguous = false;
};

CExFatFileProperties* CreateExFatFileProperties();
// A new object loaded from the stream, or null.
CExFatFileProperties* LoadExFatFileProperties(IScanStream* stream);
void ReleaseExFatFileProperties(CExFatFileProperties* properties);
