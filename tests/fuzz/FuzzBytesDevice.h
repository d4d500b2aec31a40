// A device of 512-byte sectors over the fuzzer's bytes, for targets whose
// parsers read through IStorageDevice.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "IStorageDevice.h"

class FuzzBytesDevice : public IStorageDevice {
 public:
  explicit FuzzBytesDevice(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) { m_sectorSize = 512; }
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    if (first > GetSectorCount() || count > GetSectorCount() - first) return 0;
    std::memcpy(buffer, m_bytes.data() + first * 512, count * 512);
    return 1;
  }
  uint64_t GetSectorCount() override { return m_bytes.size() / 512; }
  int GetSectorSize() override { return 512; }
  int Open() override { return 1; }
  int Close() override { return 1; }

 private:
  std::vector<uint8_t> m_bytes;
};
