// The properties of a FAT file or folder.
#pragma once

#include <vector>

#include "DataRun.h"
#include "IFileProperties.h"

class IDataRunList;

class CFATFileProperties : public IFileProperties {
 public:
  uint64_t GetFileSize() const override { return m_size; }
  uint16_t GetAttributes() const override { return m_attributes; }
  uint64_t GetCreationTime() const override { return m_creation; }
  uint64_t GetModificationTime() const override { return m_modification; }
  uint64_t GetAccessTime() const override { return m_access; }
  IDataRunList* GetDataRunList() const override;
  EPartitionKind GetSearchKind() const override { return EPartitionKind::FAT; }

  void SetFileSize(uint64_t size) { m_size = size; }
  void SetAttributes(uint16_t attributes) { m_attributes = attributes; }
  // DOS date and time to FILETIME; 0 when they do not convert.
  void SetCreationTime(uint16_t dosDate, uint16_t dosTime);
  void SetModificationTime(uint16_t dosDate, uint16_t dosTime);
  void SetAccessDate(uint16_t dosDate);
  void ClearCreationTime() { m_creation = 0; }
  void ClearModificationTime() { m_modification = 0; }
  void ClearAccessTime() { m_access = 0; }
  // Takes the runs of the list, replacing earlier ones, and deletes it.
  void SetDataRunList(IDataRunList* list);

  uint32_t GetFirstCluster() const { return m_firstCluster; }
  void SetFirstCluster(uint32_t cluster) { m_firstCluster = cluster; }
  // The first cluster of the containing directory; 0xFFFFFFFF for none.
  uint32_t GetParentCluster() const { return m_parentCluster; }
  void SetParentCluster(uint32_t cluster) { m_parentCluster = cluster; }

 private:
  uint64_t m_size = 0;
  uint16_t m_attributes = 0;
  uint64_t m_creation = 0;
  uint64_t m_modification = 0;
  uint64_t m_access = 0;
  uint32_t m_firstCluster = 0;
  uint32_t m_parentCluster = 0;
  std::vector<DataRun> m_runs;
  bool m_hasRuns = false;
};

CFATFileProperties* CreateFATFileProperties();

// DOS date/time (local time fields) to FILETIME; false when a field is out
// of range (month 1-12, day within the month, hour < 24, minute < 60,
// seconds/2 < 30).
bool DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t& fileTime);
