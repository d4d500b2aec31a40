// Readers of a non-resident attribute's VCN range and mapping pairs.
#pragma once

#include <cstdint>

#include "CNTFSFileRecordAttribute.h"
#include "CNTFSRunList.h"

class CNTFSFileRecordDataRunsAttribute : public CNTFSFileRecordAttribute {
 public:
  virtual ~CNTFSFileRecordDataRunsAttribute() = default;

  static uint64_t GetFirstVCN(const uint8_t* header);
  static uint64_t GetLastVCN(const uint8_t* header);
  // The mapping pairs of a non-resident attribute and their byte count;
  // null and 0 when the attribute is resident or the offset lies outside it.
  static const uint8_t* GetRunList(const uint8_t* header);
  static int GetRunListLength(const uint8_t* header);
  // Decodes the runs of a valid non-resident attribute (`length`: bytes
  // left in the record from the header) into `list`; false otherwise.
  static bool DecodeRuns(const uint8_t* header, int length, CNTFSRunList& list);
  // Sum of the run lengths; -1 for invalid pairs.
  static int64_t GetClusterCount(const uint8_t* header);
  // Sectors per cluster suggested by the initialized size and the cluster
  // count; 0 when either is not positive or nothing fits.
  static uint8_t InferSectorsPerCluster(const uint8_t* header);

  bool DecodeRuns(const uint8_t* header, int length) { return DecodeRuns(header, length, m_runList); }
  const CNTFSRunList& GetRuns() const { return m_runList; }

 private:
  CNTFSRunList m_runList;
};
