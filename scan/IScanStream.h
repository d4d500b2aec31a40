// The stream through which search results save and load themselves: a plain
// sequence of little-endian fields without padding or headers. Whoever saves
// or loads results supplies it; CMemoryScanStream keeps the bytes in memory.
#pragma once

#include <cstdint>

class IScanStream {
 public:
  virtual ~IScanStream() = default;
  // Both answer nonzero when all `bytes` were transferred.
  virtual int Read(void* buffer, uint32_t bytes) = 0;
  virtual int Write(const void* buffer, uint32_t bytes) = 0;
};
