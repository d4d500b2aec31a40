#include "CBufferStorageDevice.h"

#include <algorithm>
#include <cstring>

CBufferStorageDevice::~CBufferStorageDevice() {
  Close();
}

void CBufferStorageDevice::Attach(IStorageDevice* device, uint64_t windowStart, int sectorSize, int blockSectors,
                                  int blockCount) {
  m_device = device;
  m_sectorSize = sectorSize > 0 ? sectorSize : 512;
  m_blockSectors = blockSectors > 0 ? blockSectors : 0;
  m_capacity = static_cast<uint64_t>(m_blockSectors) * static_cast<uint64_t>(blockCount > 0 ? blockCount : 0);
  m_ring.reset();
  if (m_capacity) {
    const size_t bytes = static_cast<size_t>(m_capacity * static_cast<uint64_t>(m_sectorSize));
    m_ring.reset(new uint8_t[bytes]);
    std::memset(m_ring.get(), 0, bytes);
  }
  m_attachStart = windowStart;
  m_windowStart = windowStart;
  m_held = 0;
  m_unreadable.clear();
  m_attached = true;
}

int CBufferStorageDevice::Close() {
  m_ring.reset();
  m_attached = false;
  m_held = 0;
  m_unreadable.clear();
  return 1;
}

void CBufferStorageDevice::Advance(uint64_t count) {
  m_held += count;
  if (m_held > m_capacity) {
    m_windowStart += m_held - m_capacity;
    m_held = m_capacity;
  }
  while (!m_unreadable.empty() && m_unreadable.front().first + m_unreadable.front().second <= m_windowStart)
    m_unreadable.pop_front();
}

void CBufferStorageDevice::AppendBlock(const uint8_t* block, uint64_t count) {
  if (!m_attached || !m_ring || !block) return;
  count = std::min<uint64_t>(count, static_cast<uint64_t>(m_blockSectors));
  const uint64_t ss = static_cast<uint64_t>(GetSectorSize());
  const uint64_t slot = (m_windowStart + m_held - m_attachStart) % m_capacity;
  const uint64_t first = std::min(count, m_capacity - slot);
  std::memcpy(m_ring.get() + slot * ss, block, static_cast<size_t>(first * ss));
  if (count > first) std::memcpy(m_ring.get(), block + first * ss, static_cast<size_t>((count - first) * ss));
  Advance(count);
}

void CBufferStorageDevice::AppendUnreadableBlock(uint64_t count) {
  if (!m_attached || !m_ring) return;
  count = std::min<uint64_t>(count, static_cast<uint64_t>(m_blockSectors));
  if (!count) return;
  const uint64_t first = m_windowStart + m_held;
  if (!m_unreadable.empty() && m_unreadable.back().first + m_unreadable.back().second == first)
    m_unreadable.back().second += count;
  else
    m_unreadable.emplace_back(first, count);
  Advance(count);
}

bool CBufferStorageDevice::Holds(uint64_t first, uint64_t count) const {
  if (!m_attached || !m_ring || count == 0 || first < m_windowStart) return false;
  const uint64_t end = m_windowStart + m_held;
  if (first >= end || count > end - first) return false;
  for (const auto& bad : m_unreadable)
    if (first < bad.first + bad.second && bad.first < first + count) return false;
  return true;
}

int CBufferStorageDevice::ReadSectors(void* buffer, uint64_t first, uint64_t count) {
  if (!buffer) return 0;
  if (Holds(first, count)) {
    const uint64_t ss = static_cast<uint64_t>(GetSectorSize());
    const uint64_t slot = (first - m_attachStart) % m_capacity;
    const uint64_t head = std::min(count, m_capacity - slot);
    auto* out = static_cast<uint8_t*>(buffer);
    std::memcpy(out, m_ring.get() + slot * ss, static_cast<size_t>(head * ss));
    if (count > head) std::memcpy(out + head * ss, m_ring.get(), static_cast<size_t>((count - head) * ss));
    return 1;
  }
  return m_device ? m_device->ReadSectors(buffer, first, count) : 0;
}

uint64_t CBufferStorageDevice::GetSectorCount() {
  return m_device ? m_device->GetSectorCount() : m_windowStart + m_held;
}
