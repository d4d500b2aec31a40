// Reads a node's data through its data runs. Stand-in until the scan
// framework's reader joins the build. A run {start, length} covers the
// sectors first + start x unit .. + length x unit of the device; the
// default geometry (0, 1) takes runs as plain device sectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DataRun.h"

class CFileNode;
class IStorageDevice;

class CFileDataReader {
 public:
  void SetGeometry(uint64_t firstSector, uint32_t sectorsPerUnit);
  // False for an empty file, a node without runs or a device without sectors.
  bool Open(IStorageDevice* device, CFileNode* node);
  // Reads up to `size` bytes from `offset`, bounded by the file size.
  bool Read(uint64_t offset, void* buffer, size_t size, size_t& bytesRead);
  void Close();

 private:
  IStorageDevice* m_device = nullptr;
  std::vector<DataRun> m_runs;
  uint64_t m_size = 0;
  uint64_t m_first = 0;
  uint32_t m_unit = 1;
  uint32_t m_sectorSize = 512;
};
