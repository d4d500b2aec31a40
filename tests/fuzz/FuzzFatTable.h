// A FAT for the fuzz targets: 32-bit entries read from fuzz bytes, 0 past
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "IFATTable.h"

class FuzzFatTable : public IFATTable {
 public:
  FuzzFatTable(const uint8_t* bytes, size_t size) : m_bytes(bytes), m_entries(size / 4) {}
  uint32_t GetEntry(uint32_t cluster) override {
    if (cluster >= m_entries) return 0;
    uint32_t v;
    std::memcpy(&v, m_bytes + cluster * 4ull, 4);
    return v & 0x0FFFFFFF;
  }
  bool IsLoaded() const override { return m_entries != 0; }

 private:
  const uint8_t* m_bytes;
  size_t m_entries;
};
