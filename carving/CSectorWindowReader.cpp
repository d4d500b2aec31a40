#include "CSectorWindowReader.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "CRawSearchProgress.h"
#include "IStorageDevice.h"

namespace {

// Sector sizes a reader accepts; any other makes a reader without data.
bool UsableSectorSize(int s) {
  return s >= 512 && s <= 65536 && (s & (s - 1)) == 0;
}

// Buffers of readers gone, kept for the next reader of this thread.
class BufferPool {
 public:
  std::unique_ptr<uint8_t[]> Take(size_t bytes) {
    for (auto it = m_spare.begin(); it != m_spare.end(); ++it)
      if (it->first == bytes) {
        std::unique_ptr<uint8_t[]> b = std::move(it->second);
        m_spare.erase(it);
        return b;
      }
    return std::unique_ptr<uint8_t[]>(new uint8_t[bytes]);
  }
  void Give(size_t bytes, std::unique_ptr<uint8_t[]> buffer) {
    if (!buffer) return;
    if (m_spare.size() >= kMaxSpare) m_spare.erase(m_spare.begin());
    m_spare.emplace_back(bytes, std::move(buffer));
  }

 private:
  static constexpr size_t kMaxSpare = 4;
  std::vector<std::pair<size_t, std::unique_ptr<uint8_t[]>>> m_spare;
};

BufferPool& ThreadPool() {
  thread_local BufferPool pool;
  return pool;
}

}  // namespace

CSectorWindowReader::CSectorWindowReader(IStorageDevice* device, uint64_t startSector)
    : m_device(device), m_startSector(startSector) {
  if (m_device) {
    const int s = m_device->GetSectorSize();
    if (UsableSectorSize(s))
      m_sectorSize = static_cast<uint32_t>(s);
    else
      m_device = nullptr;
  }
  m_windowBytes = kWindowSectors * m_sectorSize;
  m_bufferBytes = static_cast<size_t>(kBufferSectors * m_sectorSize);
  if (m_device) m_buffer = ThreadPool().Take(m_bufferBytes);
}

CSectorWindowReader::~CSectorWindowReader() {
  ThreadPool().Give(m_bufferBytes, std::move(m_buffer));
}

uint64_t CSectorWindowReader::ReadReadablePrefix(uint64_t first, uint64_t count) {
  if (m_device->ReadSectors(m_buffer.get(), first, count)) return count;
  // Some sector cannot be read: the longest readable run from `first`,
  // found by halving (a read that touches a bad sector fails).
  uint64_t good = 0, bad = count;
  bool bufferHoldsGood = true;  // the buffer's first `good` sectors are data
  while (bad - good > 1) {
    const uint64_t mid = good + (bad - good) / 2;
    bufferHoldsGood = m_device->ReadSectors(m_buffer.get(), first, mid) != 0;
    if (bufferHoldsGood)
      good = mid;
    else
      bad = mid;
  }
  // A failed read may have left anything in the buffer.
  if (good && !bufferHoldsGood && !m_device->ReadSectors(m_buffer.get(), first, good)) return 0;
  return good;
}

bool CSectorWindowReader::Load(uint64_t window) {
  m_loadedWindow = -1;
  m_validBytes = 0;
  if (!CRawSearchProgress::Instance().Continue()) return false;
  uint64_t first = 0;
  if (__builtin_mul_overflow(window, kWindowSectors, &first) || __builtin_add_overflow(first, m_startSector, &first))
    return false;
  uint64_t count = kBufferSectors;
  // A device that cannot tell its size is read as far as it lets us.
  const uint64_t total = m_device->GetSectorCount();
  if (total) {
    if (first >= total) return false;
    count = std::min(count, total - first);
  }
  const uint64_t good = ReadReadablePrefix(first, count);
  if (good == 0) return false;
  m_validBytes = static_cast<size_t>(good * m_sectorSize);
  memset(m_buffer.get() + m_validBytes, 0, m_bufferBytes - m_validBytes);
  m_loadedWindow = static_cast<int64_t>(window);
  return true;
}

const uint8_t* CSectorWindowReader::GetData(uint64_t offset, size_t& available) {
  available = 0;
  if (!m_device) return nullptr;
  const uint64_t window = offset / m_windowBytes;
  if (static_cast<int64_t>(window) != m_loadedWindow && !Load(window)) return nullptr;
  const size_t inWindow = static_cast<size_t>(offset % m_windowBytes);
  if (inWindow >= m_validBytes) return nullptr;
  available = m_validBytes - inWindow;
  return m_buffer.get() + inWindow;
}

size_t CSectorWindowReader::Read(uint64_t offset, void* buffer, size_t length) {
  if (!buffer) return 0;
  size_t done = 0;
  while (done < length && offset + done >= offset) {
    size_t available = 0;
    const uint8_t* p = GetData(offset + done, available);
    if (!p) break;
    const size_t n = std::min(available, length - done);
    memcpy(static_cast<uint8_t*>(buffer) + done, p, n);
    done += n;
  }
  return done;
}
