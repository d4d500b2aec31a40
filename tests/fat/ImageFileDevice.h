// An IStorageDevice over an image file, read with pread.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

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
    const size_t bytes = static_cast<size_t>(count) * m_sectorSize;
    size_t done = 0;
    while (done < bytes) {
      const ssize_t n = pread(m_fd, static_cast<char*>(buffer) + done, bytes - done,
                              static_cast<off_t>(first * m_sectorSize + done));
      if (n <= 0) return 0;
      done += static_cast<size_t>(n);
    }
    return 1;
  }
  uint64_t GetSectorCount() override {
    struct stat st {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size) / m_sectorSize;
  }
  int GetSectorSize() override { return m_sectorSize; }
  int Open() override {
    if (m_fd < 0) m_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    return m_fd >= 0;
  }
  int Close() override {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    return 1;
  }

 private:
  std::string m_path;
  int m_fd = -1;
};
