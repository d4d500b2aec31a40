// A plain IStorageDevice over an image file (or a window of one), for tests
// of the parsers: pread at a chosen sector size, nothing more.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "IStorageDevice.h"

class ImageFileDevice : public IStorageDevice {
 public:
  explicit ImageFileDevice(const std::string& path, int sectorSize = 512, uint64_t byteOffset = 0,
                           uint64_t byteLength = UINT64_MAX)
      : m_path(path), m_offset(byteOffset), m_length(byteLength) {
    m_sectorSize = sectorSize;
    Open();
  }
  ~ImageFileDevice() override { Close(); }

  int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
    if (m_fd < 0 || first > GetSectorCount() || count > GetSectorCount() - first) return 0;
    const size_t bytes = static_cast<size_t>(count * m_sectorSize);
    size_t done = 0;
    while (done < bytes) {
      const ssize_t n = pread(m_fd, static_cast<char*>(buffer) + done, bytes - done,
                              static_cast<off_t>(m_offset + first * m_sectorSize + done));
      if (n <= 0) return 0;
      done += static_cast<size_t>(n);
    }
    return 1;
  }
  uint64_t GetSectorCount() override {
    if (m_fd < 0) return 0;
    struct stat st;
    if (fstat(m_fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < m_offset) return 0;
    uint64_t bytes = static_cast<uint64_t>(st.st_size) - m_offset;
    if (bytes > m_length) bytes = m_length;
    return bytes / m_sectorSize;
  }
  int GetSectorSize() override { return m_sectorSize; }
  int Open() override {
    if (m_fd < 0) m_fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    return m_fd >= 0 ? 1 : 0;
  }
  int Close() override {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    return 1;
  }

 private:
  std::string m_path;
  uint64_t m_offset;
  uint64_t m_length;
  int m_fd = -1;
};
