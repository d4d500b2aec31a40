#include "CMemoryScanStream.h"

#include <cstring>

int CMemoryScanStream::Read(void* buffer, uint32_t bytes) {
  if (bytes > Remaining() || (bytes && !buffer)) return 0;
  if (bytes) std::memcpy(buffer, m_bytes.data() + m_readPos, bytes);
  m_readPos += bytes;
  return 1;
}

int CMemoryScanStream::Write(const void* buffer, uint32_t bytes) {
  if (bytes && !buffer) return 0;
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  if (bytes) m_bytes.insert(m_bytes.end(), p, p + bytes);
  return 1;
}
