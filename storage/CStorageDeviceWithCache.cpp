#include "CStorageDeviceWithCache.h"

#include <algorithm>
#include <cstring>

CStorageDeviceWithCache::CStorageDeviceWithCache(IStorageDevice* inner) : m_inner(inner) {
  SetBlockSectors(1000);
}

CStorageDeviceWithCache::~CStorageDeviceWithCache() {
  StopCache();
}

namespace {

// Direct I/O takes buffers aligned to the logical block; a page covers every
// block size in use.
constexpr size_t kBufferAlignment = 4096;

}  // namespace

int CStorageDeviceWithCache::SetBlockSectors(uint32_t sectors) {
  StopCache();  // queued blocks of the old size are of no use
  m_blockSectors = sectors;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_spare.clear();
    m_bufferBytes = size_t{sectors} * static_cast<size_t>(GetSectorSize());
    m_current = TakeBufferLocked();
  }
  m_currentSectors = 0;
  m_currentBlock = kNoBlock;
  return 1;
}

bool CStorageDeviceWithCache::IsBlockInRange(uint32_t block) {
  if (m_blockSectors == 0 || !m_inner) return false;
  const uint64_t count = m_inner->GetSectorCount();
  return block < (count + m_blockSectors - 1) / m_blockSectors;
}

uint64_t CStorageDeviceWithCache::GetSectorCount() {
  return m_inner ? m_inner->GetSectorCount() : 0;
}

int CStorageDeviceWithCache::GetSectorSize() {
  int ss = m_inner ? m_inner->GetSectorSize() : 512;
  return ss > 0 ? ss : 512;
}

int CStorageDeviceWithCache::InnerRead(void* buffer, uint64_t first, uint64_t count) {
  std::lock_guard<std::mutex> guard(m_innerLock);
  return m_inner->ReadSectors(buffer, first, count);
}

CStorageDeviceWithCache::Buffer CStorageDeviceWithCache::TakeBufferLocked() {
  if (!m_spare.empty()) {
    Buffer b = std::move(m_spare.back());
    m_spare.pop_back();
    return b;
  }
  void* memory = nullptr;
  if (m_bufferBytes == 0 || posix_memalign(&memory, kBufferAlignment, m_bufferBytes) != 0) return nullptr;
  return Buffer(static_cast<uint8_t*>(memory));
}

void CStorageDeviceWithCache::StartCache() {
  if (!m_inner || m_blockSectors == 0 || m_thread.joinable()) return;
  m_running = 1;
  m_readPosition = 0;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_threadDone = false;
  }
  m_thread = std::thread(&CStorageDeviceWithCache::CacheThread, this);
}

void CStorageDeviceWithCache::CacheThread() {
  const uint64_t total = m_inner->GetSectorCount();
  while (m_running) {
    Block block;
    {
      std::unique_lock<std::mutex> guard(m_lock);
      m_space.wait(guard, [&] { return !m_running || m_queue.size() <= m_queueLimit; });
      if (m_running && m_readPosition < total) block.data = TakeBufferLocked();
    }
    if (!m_running || m_readPosition >= total) break;
    block.index = m_readPosition / m_blockSectors;
    block.sectors = std::min<uint64_t>(m_blockSectors, total - m_readPosition);
    // Without a buffer the block is queued as failed: its reads go through.
    block.ok = block.data && InnerRead(block.data.get(), m_readPosition, block.sectors) != 0;
    m_readPosition += block.sectors;
    std::lock_guard<std::mutex> guard(m_lock);
    m_queue.push_back(std::move(block));
    m_data.notify_all();
  }
  std::lock_guard<std::mutex> guard(m_lock);
  m_threadDone = true;
  m_data.notify_all();
}

int CStorageDeviceWithCache::SetCurCacheBlock(uint32_t block) {
  if (!m_inner || !IsBlockInRange(block)) return 0;
  if (!m_current) return 1;
  m_currentBlock = kNoBlock;
  m_currentSectors = 0;
  std::unique_lock<std::mutex> guard(m_lock);
  for (;;) {
    m_data.wait(guard, [&] { return !m_queue.empty() || m_threadDone; });
    // Blocks the consumer went past are dropped.
    while (!m_queue.empty() && m_queue.front().index < block) {
      if (m_queue.front().data) m_spare.push_back(std::move(m_queue.front().data));
      m_queue.pop_front();
      m_space.notify_all();
    }
    if (!m_queue.empty() || m_threadDone) break;
  }
  if (!m_queue.empty() && m_queue.front().index == block) {
    Block& b = m_queue.front();
    if (b.ok && b.sectors <= m_blockSectors) {
      // The block's buffer becomes the current one; the old current one is
      // recycled.
      std::swap(m_current, b.data);
      m_currentSectors = b.sectors;
      m_currentBlock = block;
    }
    if (b.data) m_spare.push_back(std::move(b.data));
    m_queue.pop_front();
    m_space.notify_all();
  }
  // Otherwise (asked out of order, or the read-ahead failed or ended) the
  // block's reads go to the inner device.
  return 1;
}

void CStorageDeviceWithCache::StopCache() {
  m_running = 0;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_space.notify_all();
  }
  if (m_thread.joinable()) m_thread.join();
  std::lock_guard<std::mutex> guard(m_lock);
  m_queue.clear();
  m_threadDone = true;
  m_data.notify_all();
}

const uint8_t* CStorageDeviceWithCache::PeekSectors(uint64_t first, uint64_t count) {
  if (m_currentBlock == kNoBlock || !m_current || count == 0) return nullptr;
  const uint64_t begin = m_currentBlock * m_blockSectors;
  if (first < begin || first - begin > m_currentSectors || count > m_currentSectors - (first - begin)) return nullptr;
  return m_current.get() + (first - begin) * static_cast<uint64_t>(GetSectorSize());
}

int CStorageDeviceWithCache::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  if (!m_inner || !buffer) return 0;
  if (m_currentBlock == kNoBlock) return InnerRead(buffer, first, count);
  const uint64_t ss = static_cast<uint64_t>(GetSectorSize());
  const uint64_t begin = m_currentBlock * m_blockSectors;
  const uint64_t end = begin + m_currentSectors;
  auto* out = static_cast<uint8_t*>(buffer);
  int result = 1;
  if (first < begin) {
    uint64_t n = std::min(count, begin - first);
    result = InnerRead(out, first, n);
    if (n == count) return result;
    out += n * ss;
    first += n;
    count -= n;
  }
  if (first >= begin && first < end) {
    uint64_t n = std::min(first + count, end) - first;
    memcpy(out, m_current.get() + (first - begin) * ss, static_cast<size_t>(n * ss));
    out += n * ss;
    first += n;
    count -= n;
    if (count == 0) return result;
  }
  int rest = InnerRead(out, first, count);
  return result && rest;
}
