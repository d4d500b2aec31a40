#include "CBadSectorMap.h"

#include "SafeAlloc.h"

int CBadSectorMap::Insert(BadSectorRange* range) {
  if (!range) return 87;
  std::unique_ptr<BadSectorRange> owned(range);
  std::lock_guard<std::mutex> guard(m_lock);
  m_ranges.emplace(owned->startSector, std::move(owned));
  m_empty = m_ranges.empty();
  return 0;
}

int CBadSectorMap::AddRange(BadSectorRange range) {
  return Insert(new BadSectorRange(range));
}

int CBadSectorMap::Find(uint64_t start, BadSectorRange* out) const {
  std::lock_guard<std::mutex> guard(m_lock);
  auto it = m_ranges.find(start);
  if (it == m_ranges.end()) return 0;
  if (out) *out = *it->second;
  return 1;
}

const BadSectorRange* CBadSectorMap::Get(uint64_t start) const {
  std::lock_guard<std::mutex> guard(m_lock);
  auto it = m_ranges.find(start);
  return it == m_ranges.end() ? nullptr : it->second.get();
}

int CBadSectorMap::Snapshot(uint64_t** out, uint32_t* count) const {
  if (!out || !count || *out) return 87;
  std::lock_guard<std::mutex> guard(m_lock);
  *count = static_cast<uint32_t>(m_ranges.size());
  *out = reinterpret_cast<uint64_t*>(AllocBuffer(static_cast<uint32_t>(m_ranges.size() * 8 + 8)));
  uint32_t i = 0;
  for (const auto& [start, range] : m_ranges) (*out)[i++] = start;
  return 0;
}

void CBadSectorMap::Remove(uint64_t start) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_ranges.erase(start);
  m_empty = m_ranges.empty();
}

void CBadSectorMap::Clear() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_ranges.clear();
  m_empty = true;
}

bool CBadSectorMap::Intersects(uint64_t first, uint64_t last) const {
  if (m_empty) return false;
  std::lock_guard<std::mutex> guard(m_lock);
  for (const auto& [start, range] : m_ranges) {
    if (start > last) break;  // keys are start sectors in order
    if (range->endSector >= first) return true;
  }
  return false;
}

uint32_t CBadSectorMap::GetCount() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return static_cast<uint32_t>(m_ranges.size());
}
