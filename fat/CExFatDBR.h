// Read-only view of an exFAT main boot sector: one validity test and the
// geometry accessors.
#pragma once

#include <cstdint>

class CExFatDBR {
 public:
  // `sector` holds at least 512 bytes of the volume's first sector.
  explicit CExFatDBR(const uint8_t* sector);

  bool IsValid(uint32_t deviceSectorSize) const;

  uint32_t GetBytesPerSector() const { return m_bytesShift <= 31 ? 1u << m_bytesShift : 0; }
  uint32_t GetSectorsPerCluster() const { return m_clusterShift <= 31 ? 1u << m_clusterShift : 0; }
  uint8_t GetBytesPerSectorShift() const { return m_bytesShift; }
  uint8_t GetSectorsPerClusterShift() const { return m_clusterShift; }
  uint64_t GetFatOffset() const { return m_fatOffset; }
  uint32_t GetNumberOfFats() const { return m_fatCount; }
  uint32_t GetFatLength() const { return m_fatLength; }
  uint32_t GetActiveFat() const { return m_flags & 1u; }
  uint64_t GetVolumeLength() const { return m_volumeLength; }
  uint32_t GetRootDirectoryCluster() const { return m_rootCluster; }
  uint64_t GetClusterHeapOffset() const { return m_heapOffset; }
  uint32_t GetClusterCount() const { return m_clusterCount; }
  int GetTypeCode() const { return 7; }

 private:
  bool m_signature = false;
  bool m_name = false;
  bool m_zeroes = false;
  uint64_t m_volumeLength = 0;
  uint64_t m_fatOffset = 0;
  uint32_t m_fatLength = 0;
  uint64_t m_heapOffset = 0;
  uint32_t m_clusterCount = 0;
  uint32_t m_rootCluster = 0;
  uint16_t m_flags = 0;
  uint8_t m_bytesShift = 0;
  uint8_t m_clusterShift = 0;
  uint8_t m_fatCount = 0;
};

// floor(log2 x); 0 for 0 and 1.
uint32_t FloorLog2(uint32_t x);
