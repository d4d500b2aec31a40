// Reads 32-bit exFAT FAT entries on demand, keeping up to nine 1 MiB pieces
// of the FAT in memory so that chain walks do not read once per cluster.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class IStorageDevice;

class CExFatFATCache {
 public:
  static constexpr uint32_t kChunkBytes = 0x100000;
  static constexpr size_t kMaxChunks = 9;
  static constexpr uint32_t kNoEntry = 0xFFFFFFFF;

  CExFatFATCache() = default;
  ~CExFatFATCache() { Clear(); }
  CExFatFATCache(const CExFatFATCache&) = delete;
  CExFatFATCache& operator=(const CExFatFATCache&) = delete;

  // `fatStart` in device sectors; the cluster count is not needed.
  void Open(IStorageDevice* device, uint64_t fatStart, uint32_t fatLength, uint32_t clusterCount);
  bool IsOpen() const { return !m_chunks.empty(); }
  // The entry of `cluster`, or kNoEntry when it cannot be read or lies
  // outside the FAT (chain walkers take that as an end of chain).
  uint32_t GetEntry(uint32_t cluster);
  void Clear();
  size_t CachedChunks() const { return m_chunks.size(); }

 private:
  IStorageDevice* m_device = nullptr;
  uint64_t m_fatStart = 0;
  uint32_t m_fatLength = 0;
  uint32_t m_chunkLength = 0;  // sectors per chunk
  uint32_t m_sectorSize = 0;
  std::map<uint64_t, std::vector<uint8_t>> m_chunks;  // by first sector
};
