// A storage device over an image file (or a byte string) for the HFS+ tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IStorageDevice.h"

class FileStorageDevice : public IStorageDevice {
 public:
  FileStorageDevice(const std::string& bytes, int sectorSize = 512) : m_bytes(bytes) { m_sectorSize = sectorSize; }
  static FileStorageDevice FromFile(const std::string& path, int sectorSize = 512);

  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override;
  uint64_t GetSectorCount() override { return m_bytes.size() / static_cast<uint64_t>(m_sectorSize); }
  int GetSectorSize() override { return m_sectorSize; }
  int Open() override { return 1; }
  int Close() override { return 1; }

  // Every ReadSectors call as (first, count).
  std::vector<std::pair<uint64_t, uint64_t>> reads;

 private:
  std::string m_bytes;
};
