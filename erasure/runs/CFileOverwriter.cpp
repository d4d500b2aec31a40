#include "CFileOverwriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "EraseItem.h"
#include "RunLog.h"

CFileOverwriter::CFileOverwriter(size_t bufferSize) : m_zeros(std::max<size_t>(bufferSize, 4096), 0) {}

bool CFileOverwriter::DataRanges(int fd, uint64_t length, std::vector<std::pair<uint64_t, uint64_t>>* ranges,
                                 int* err) {
  ranges->clear();
  if (length == 0) return true;
  uint64_t pos = 0;
  while (pos < length) {
    off_t data = lseek(fd, static_cast<off_t>(pos), SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;  // no data from pos to the end
      if (errno == EINVAL || errno == EOPNOTSUPP) {
        // No hole support: all of it counts as data.
        ranges->assign(1, {0, length});
        return true;
      }
      *err = errno;
      return false;
    }
    off_t hole = lseek(fd, data, SEEK_HOLE);
    if (hole < 0) {
      *err = errno;
      return false;
    }
    uint64_t start = static_cast<uint64_t>(data);
    uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(hole), length);
    if (start >= length) break;
    if (end <= start) {  // a hole answer that does not move on: take the rest as data
      ranges->push_back({start, length});
      break;
    }
    ranges->push_back({start, end});
    pos = end;
  }
  return true;
}

int32_t CFileOverwriter::Overwrite(int fd, int passes, bool verify, const std::atomic<int>* cancel) {
  m_written = 0;
  struct stat st;
  if (fstat(fd, &st) != 0) return EraseItemResultFromErrno(errno);
  if (!S_ISREG(st.st_mode)) return ERASE_ITEM_NOT_SUPPORTED;
  const uint64_t length = static_cast<uint64_t>(st.st_size);
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  int err = 0;
  if (!DataRanges(fd, length, &ranges, &err)) {
    LogError("overwrite: cannot map the file's data: errno %d", err);
    return EraseItemResultFromErrno(err);
  }
  const size_t chunk = m_zeros.size();
  for (int pass = 0; pass < std::max(passes, 1); ++pass) {
    for (const auto& [start, end] : ranges) {
      for (uint64_t pos = start; pos < end;) {
        if (cancel && cancel->load()) return ERASE_ITEM_CANCELLED;
        size_t n = static_cast<size_t>(std::min<uint64_t>(chunk, end - pos));
        ssize_t w = pwrite(fd, m_zeros.data(), n, static_cast<off_t>(pos));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
          int e = w < 0 ? errno : EIO;
          LogError("overwrite: write at %llu failed: errno %d", static_cast<unsigned long long>(pos), e);
          return EraseItemResultFromErrno(e);
        }
        pos += static_cast<uint64_t>(w);
        m_written += static_cast<uint64_t>(w);
      }
    }
    if (length > 0 && fdatasync(fd) != 0) {
      int e = errno;
      LogError("overwrite: flush of pass %d failed: errno %d", pass + 1, e);
      return EraseItemResultFromErrno(e);
    }
    if (m_passHook) m_passHook(fd, pass + 1);
  }
  if (!verify || length == 0) return ERASE_ITEM_ERASED;
  // Read what reached the disk, not what the page cache still holds.
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  m_read.resize(chunk);
  for (const auto& [start, end] : ranges) {
    for (uint64_t pos = start; pos < end;) {
      if (cancel && cancel->load()) return ERASE_ITEM_CANCELLED;
      size_t n = static_cast<size_t>(std::min<uint64_t>(chunk, end - pos));
      ssize_t r = pread(fd, m_read.data(), n, static_cast<off_t>(pos));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        int e = r < 0 ? errno : EIO;
        LogError("overwrite: read-back at %llu failed: errno %d", static_cast<unsigned long long>(pos), e);
        return r < 0 ? EraseItemResultFromErrno(e) : ERASE_ITEM_VERIFY_FAILED;
      }
      if (memcmp(m_read.data(), m_zeros.data(), static_cast<size_t>(r)) != 0) {
        LogError("overwrite: read-back at %llu does not match", static_cast<unsigned long long>(pos));
        return ERASE_ITEM_VERIFY_FAILED;
      }
      pos += static_cast<uint64_t>(r);
    }
  }
  return ERASE_ITEM_ERASED;
}
