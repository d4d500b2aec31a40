// The properties of a file found by the NTFS engine.
#pragma once

#include <memory>
#include <vector>

#include "CBasicFileProperties.h"
#include "NTFSSegmentRefList.h"


// The field block the NTFS node builders fill on their own.
struct NTFSFileFields {
  FileCommonFields common;
  uint8_t status = 0;
  uint64_t recordSector = 0;
  std::unique_ptr<CPackedDataRuns> packedRuns;
  std::unique_ptr<NTFSSegmentRefList> recordList;
  uint64_t recordNumber = 0;
};

class CNTFSFileProperties : public CBasicFileProperties {
 public:
  // The name length counts the terminating zero (0 without a name).
  int GetNameLength() const override;
  // Ignores null.
  void SetName(const char* name) override;
  int GetSupportedFields() const override { return 0x2FF; }
  EPartitionKind GetSearchKind() const override { return EPartitionKind::NTFS; }
  bool Save(IScanStream* stream) const override;
  bool Load(IScanStream* stream) override;

  void SetRecordList(std::unique_ptr<NTFSSegmentRefList> list) { m_recordList = std::move(list); }
  const NTFSSegmentRefList* GetRecordList() const { return m_recordList.get(); }
  // Copies the kept list into `out` when there is one.
  void CopyRecordList(NTFSSegmentRefList& out) const;
  void SetRecordSector(uint64_t sector) { m_recordSector = sector; }
  uint64_t GetRecordSector() const { return m_recordSector; }
  uint64_t GetRecordNumber() const { return m_recordNumber; }
  void SetDataRunList(const IDataRunList* list) { PackRuns(list); }
  // Takes name, size, attributes, times, deleted flag, record sector, packed
  // runs and record number from the block (the name and runs move here).
  void SetFromRecordInfo(NTFSFileFields& fields);

 private:
  uint64_t m_recordSector = 0;
  std::unique_ptr<NTFSSegmentRefList> m_recordList;
  uint64_t m_recordNumber = 0;
};

CNTFSFileProperties* CreateNTFSFileProperties();
// Null on a short or damaged stream.
CNTFSFileProperties* LoadNTFSFileProperties(IScanStream* stream);
