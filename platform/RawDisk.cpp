#include "RawDisk.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "DirectWriteRing.h"
#include "RunLog.h"

namespace platform {

namespace {
constexpr size_t kBounceBytes = 4u << 20;  // 4 MiB, as the disk device always used
constexpr unsigned kReadRingDepth = 64;

uint64_t AlignDown(uint64_t v, uint64_t a) {
  return v - v % a;
}
uint64_t AlignUp(uint64_t v, uint64_t a) {
  return AlignDown(v + a - 1, a);
}
}  // namespace

ReadErrorClass ClassifyReadError(int error) {
  switch (error) {
    case 0:
      return ReadErrorClass::None;
    case EIO:
    case ENODATA:
    case EILSEQ:
    case EBADMSG:
      return ReadErrorClass::Media;
    case ENOMEDIUM:
    case ENXIO:
    case ENODEV:
      return ReadErrorClass::NotReady;
    default:
      return ReadErrorClass::Other;
  }
}

bool QueryGeometry(int fd, int* sectorSize, uint64_t* byteSize, bool* isBlockDevice) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  if (S_ISBLK(st.st_mode)) {
    int ss = 0;
    uint64_t bytes = 0;
    if (ioctl(fd, BLKSSZGET, &ss) != 0 || ss <= 0) ss = 512;
    if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) return false;
    *sectorSize = ss;
    *byteSize = bytes;
    *isBlockDevice = true;
    return true;
  }
  if (S_ISREG(st.st_mode)) {
    *sectorSize = 512;
    *byteSize = static_cast<uint64_t>(st.st_size);
    *isBlockDevice = false;
    return true;
  }
  return false;
}

size_t IRawDisk::ReadAll(RawRead* pieces, size_t count) {
  size_t whole = 0;
  for (size_t i = 0; i < count; ++i) {
    RawRead& p = pieces[i];
    p.error = whole < i ? ECANCELED : ReadAt(p.buffer, p.offset, p.length);
    if (p.error == 0) ++whole;
  }
  return whole;
}

RawDisk::~RawDisk() {
  if (m_fd >= 0) close(m_fd);
  free(m_bounce);
}

std::unique_ptr<RawDisk> RawDisk::Open(const std::string& path, int* error) {
  return OpenWindow(path, 0, UINT64_MAX, 0, error);
}

std::unique_ptr<RawDisk> RawDisk::OpenWindow(const std::string& path, uint64_t offset, uint64_t length, int sectorSize,
                                             int* error) {
  int dummy = 0;
  if (!error) error = &dummy;
  *error = 0;
  bool direct = true;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
  if (fd < 0 && errno == EINVAL) {  // the file system refuses O_DIRECT
    direct = false;
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  std::unique_ptr<RawDisk> disk(new RawDisk);
  disk->m_fd = fd;
  disk->m_direct = direct;
  disk->m_path = path;
  uint64_t bytes = 0;
  int ss = 512;
  if (!QueryGeometry(fd, &ss, &bytes, &disk->m_isBlockDevice)) {
    *error = ENODEV;
    return nullptr;
  }
  if (length == UINT64_MAX && offset == 0) length = bytes;
  if (offset > bytes || length > bytes - offset) {
    *error = EINVAL;
    return nullptr;
  }
  disk->m_sectorSize = sectorSize > 0 ? sectorSize : ss;
  disk->m_align = std::max(4096, ss);
  disk->m_base = offset;
  disk->m_length = length;
  return disk;
}

bool RawDisk::SwitchToBuffered() {
  int flags = fcntl(m_fd, F_GETFL);
  if (flags < 0 || fcntl(m_fd, F_SETFL, flags & ~O_DIRECT) != 0) return false;
  m_direct = false;
  LogInfo("Raw reads of %s fall back to buffered I/O", m_path.c_str());
  return true;
}

// One pread loop over EINTR and partial transfers. *got is what arrived.
int RawDisk::ReadOnce(void* buffer, uint64_t offset, size_t length, size_t* got) {
  *got = 0;
  auto* p = static_cast<uint8_t*>(buffer);
  while (*got < length) {
    ssize_t n = pread(m_fd, p + *got, length - *got, static_cast<off_t>(offset + *got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;  // end of the node
    *got += static_cast<size_t>(n);
    // O_DIRECT transfers stop only at the end or in whole aligned units.
    if (m_direct && (*got % static_cast<size_t>(m_align)) != 0) break;
  }
  return 0;
}

// Reads through the aligned bounce buffer, in aligned pieces.
int RawDisk::ReadBounced(uint8_t* buffer, uint64_t offset, size_t length) {
  if (!m_bounce) {
    void* mem = nullptr;
    if (posix_memalign(&mem, static_cast<size_t>(m_align), kBounceBytes) != 0) return ENOMEM;
    m_bounce = static_cast<uint8_t*>(mem);
  }
  const uint64_t align = static_cast<uint64_t>(m_align);
  uint64_t pos = offset;
  const uint64_t end = offset + length;
  while (pos < end) {
    uint64_t from = AlignDown(pos, align);
    uint64_t to = std::min<uint64_t>(AlignUp(end, align), from + kBounceBytes);
    size_t got = 0;
    int err = ReadOnce(m_bounce, from, static_cast<size_t>(to - from), &got);
    if (err) return err;
    uint64_t want = std::min(end, to) - pos;
    if (from + got < pos + want) return ENXIO;  // the node ended early
    memcpy(buffer + (pos - offset), m_bounce + (pos - from), static_cast<size_t>(want));
    pos += want;
  }
  return 0;
}

int RawDisk::ReadAt(void* buffer, uint64_t offset, size_t length) {
  if (m_fd < 0) return EBADF;
  if (offset > m_length || length > m_length - offset) return ERANGE;
  if (length == 0) return 0;
  std::lock_guard<std::mutex> guard(m_lock);
  const uint64_t node = m_base + offset;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int err;
    const uint64_t align = static_cast<uint64_t>(m_align);
    if (m_direct && (reinterpret_cast<uintptr_t>(buffer) % align != 0 || node % align != 0 || length % align != 0)) {
      err = ReadBounced(static_cast<uint8_t*>(buffer), node, length);
    } else {
      size_t got = 0;
      err = ReadOnce(buffer, node, length, &got);
      if (!err && got < length) err = ENXIO;
    }
    // Some file systems accept O_DIRECT at open and refuse it at read time.
    if (err == EINVAL && m_direct && SwitchToBuffered()) continue;
    return err;
  }
  return EINVAL;
}

size_t RawDisk::ReadAll(RawRead* pieces, size_t count) {
  const uint64_t align = static_cast<uint64_t>(m_align);
  bool together = m_fd >= 0 && m_direct && count > 1;
  for (size_t i = 0; together && i < count; ++i) {
    const RawRead& p = pieces[i];
    together = p.length > 0 && p.offset <= m_length && p.length <= m_length - p.offset &&
               reinterpret_cast<uintptr_t>(p.buffer) % align == 0 && (m_base + p.offset) % align == 0 &&
               p.length % align == 0;
  }
  if (together) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_ring && !m_ringRefused) {
      m_ring = std::make_unique<DirectWriteRing>();
      if (!m_ring->Open(kReadRingDepth)) {
        m_ring.reset();
        m_ringRefused = true;
      }
    }
    if (m_ring) {
      std::vector<DirectWriteRing::Piece> ring(count);
      for (size_t i = 0; i < count; ++i) {
        ring[i].buffer = pieces[i].buffer;
        ring[i].length = pieces[i].length;
        ring[i].at = m_base + pieces[i].offset;
      }
      m_ring->ReadAll(m_fd, ring.data(), count);
      for (size_t i = 0; i < count; ++i)
        pieces[i].error = ring[i].result == static_cast<int64_t>(pieces[i].length) ? 0 : -1;
    } else {
      together = false;
    }
  }
  // In order: a piece the ring did not read whole (or every piece, without
  // the ring) is read the plain way; after a failure nothing counts.
  size_t whole = 0;
  for (size_t i = 0; i < count; ++i) {
    RawRead& p = pieces[i];
    if (whole < i)
      p.error = ECANCELED;
    else if (!together || p.error != 0)
      p.error = ReadAt(p.buffer, p.offset, p.length);
    if (p.error == 0) ++whole;
  }
  return whole;
}

}  // namespace platform
