// The run list of resident NTFS data: one run {sector of the MFT record, 1}
// and the byte offset of the data inside the record.
#pragma once

#include "IDataRunList.h"

class CResidentNTFSDataRunList : public IDataRunList {
 public:
  EDataRunKind GetKind() const override { return EDataRunKind::NTFSResident; }
  int IsResident() const override { return 1; }
  int GetResidentValue() const override { return m_residentValue; }
  // The plain saved list, then the u32 resident value.
  bool Save(IScanStream* stream) const override;
  bool Load(IScanStream* stream) override;
  void SetRun(uint64_t start, uint64_t length, int value);

 private:
  int m_residentValue = 0;
};
