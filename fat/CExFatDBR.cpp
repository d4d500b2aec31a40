#include "CExFatDBR.h"

#include <cstring>

#include "ByteOrder.h"

CExFatDBR::CExFatDBR(const uint8_t* s) {
  m_signature = ReadLE16(s + 510) == 0xAA55;
  m_name = std::memcmp(s + 3, "EXFAT   ", 8) == 0;
  m_zeroes = true;
  for (int i = 11; i < 64; ++i)
    if (s[i] != 0) m_zeroes = false;
  m_volumeLength = ReadLE64(s + 72);
  m_fatOffset = ReadLE32(s + 80);
  m_fatLength = ReadLE32(s + 84);
  m_heapOffset = ReadLE32(s + 88);
  m_clusterCount = ReadLE32(s + 92);
  m_rootCluster = ReadLE32(s + 96);
  m_flags = ReadLE16(s + 106);
  m_bytesShift = s[108];
  m_clusterShift = s[109];
  m_fatCount = s[110];
}

bool CExFatDBR::IsValid(uint32_t deviceSectorSize) const {
  if (!m_signature || !m_name || !m_zeroes) return false;
  if (m_bytesShift < 9 || m_bytesShift > 12 || deviceSectorSize != (1u << m_bytesShift)) return false;
  if (static_cast<uint32_t>(m_clusterShift) + m_bytesShift > 25) return false;
  if (m_fatCount != 1 && m_fatCount != 2) return false;
  if (m_fatLength == 0 || m_heapOffset == 0 || m_fatOffset == 0 || m_volumeLength == 0 || m_clusterCount == 0 ||
      m_rootCluster < 2)
    return false;
  if (m_fatOffset > m_volumeLength || m_heapOffset > m_volumeLength) return false;
  if (m_fatOffset + m_fatLength > m_heapOffset) return false;
  return m_heapOffset + (static_cast<uint64_t>(m_clusterCount - 1) << m_clusterShift) <= m_volumeLength;
}

uint32_t FloorLog2(uint32_t x) {
  uint32_t n = 0;
  while (x > 1) {
    x >>= 1;
    ++n;
  }
  return n;
}
