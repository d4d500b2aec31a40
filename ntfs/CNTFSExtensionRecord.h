// One extension record of a file, read from the device on first use.
#pragma once

#include <cstdint>
#include <vector>

#include "NTFSSegmentRefList.h"

class IStorageDevice;

// The size of the FILE records on a device: its sector size when that is
// not 512, else 1024; 0 without a device or for a sector size outside 512 to
// 4096.
int GetFileRecordSizeForDevice(IStorageDevice* device);

class CNTFSExtensionRecord {
 public:
  CNTFSExtensionRecord(const NTFSSegmentRef& ref, IStorageDevice* device);
  CNTFSExtensionRecord(const CNTFSExtensionRecord&) = delete;
  CNTFSExtensionRecord& operator=(const CNTFSExtensionRecord&) = delete;

  // The record with its fixups applied when they check out; null for an
  // unresolved sector, a device with an odd sector size or a failed read. A
  // read record that fails the record test is handed out as well: callers
  // test it. Kept until Free.
  const uint8_t* Load();
  // Bytes of the loaded record (0 before Load or after a failed one).
  int GetLength() const { return static_cast<int>(m_buffer.size()); }
  int64_t GetSector() const { return m_sector; }
  uint64_t GetRecordNumber() const { return m_recordNumber; }
  void Free();

 private:
  IStorageDevice* m_device = nullptr;
  std::vector<uint8_t> m_buffer;
  int64_t m_sector = -1;
  uint64_t m_recordNumber = 0;
  bool m_tried = false;
};
