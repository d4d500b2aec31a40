// An IScanStream over bytes in memory: writes append, reads consume from the
// front and fail (reading nothing) when fewer bytes remain than asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "IScanStream.h"

class CMemoryScanStream : public IScanStream {
 public:
  CMemoryScanStream() = default;
  CMemoryScanStream(const uint8_t* data, size_t size) : m_bytes(data, data + size) {}

  int Read(void* buffer, uint32_t bytes) override;
  int Write(const void* buffer, uint32_t bytes) override;

  const std::vector<uint8_t>& Bytes() const { return m_bytes; }
  size_t Remaining() const { return m_bytes.size() - m_readPos; }
  void Rewind() { m_readPos = 0; }

 private:
  std::vector<uint8_t> m_bytes;
  size_t m_readPos = 0;
};
