// A read-only IStorageDevice over an image file (pread, 512-byte sectors by
// default), and one over bytes in memory, for the storage tests.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "IStorageDevice.h"

class ImageFileDevice : public IStorageDevice {
 public:
  explicit ImageFileDevice(const std::string& path, int sectorSize = 512) : m_path(path) {
    m_sectorSize = sectorSize;
    Open();
  }
  ~ImageFileDevice() override { Close(); }
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    if (m_fd < 0 || first > GetSectorCount() || count > GetSectorCount() - first) return 0;
    const size_t bytes = size_t(count) * size_t(m_sectorSize);
    ssize_t n = pread(m_fd, buffer, bytes, off_t(first * uint64_t(m_sectorSize)));
    ++reads;
    return n == ssize_t(bytes) ? 1 : 0;
  }
  uint64_t GetSectorCount() override {
    if (m_fd < 0) return 0;
    off_t end = lseek(m_fd, 0, SEEK_END);
    return end > 0 ? uint64_t(end) / uint64_t(m_sectorSize) : 0;
  }
  int GetSectorSize() override { return m_sectorSize; }
  int Open() override {
    if (m_fd < 0) m_fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    return m_fd >= 0;
  }
  int Close() override {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    return 1;
  }
  int reads = 0;

 private:
  std::string m_path;
  int m_fd = -1;
};

class MemoryDevice : public IStorageDevice {
 public:
  explicit MemoryDevice(std::vector<unsigned char> bytes, int sectorSize = 512) : data(std::move(bytes)) {
    m_sectorSize = sectorSize;
  }
  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    const uint64_t n = GetSectorCount();
    if (first > n || count > n - first) return 0;
    for (uint64_t s = first; s < first + count; ++s)
      if (s == failSector) return 0;
    memcpy(buffer, data.data() + first * uint64_t(m_sectorSize), size_t(count) * size_t(m_sectorSize));
    return 1;
  }
  uint64_t GetSectorCount() override { return data.size() / size_t(m_sectorSize); }
  int GetSectorSize() override { return m_sectorSize; }
  int Open() override { return 1; }
  int Close() override { return 1; }
  std::vector<unsigned char> data;
  uint64_t failSector = ~0ull;  // a read touching this sector fails
};
