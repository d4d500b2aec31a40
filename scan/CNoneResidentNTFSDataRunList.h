// The run list of a non-resident NTFS attribute, and of every unpacked list.
#pragma once

#include "IDataRunList.h"

class CNoneResidentNTFSDataRunList : public IDataRunList {
 public:
  EDataRunKind GetKind() const override { return EDataRunKind::NTFSNonResident; }
  void AddRun(const DataRun& run) { Append(run); }
  // Appends the runs of the mapping pairs found inside `length` bytes; stops
  // at a 0 header, the end of the bytes or a malformed entry. Answers 1.
  int ParseMappingPairs(const uint8_t* bytes, int length);
};
