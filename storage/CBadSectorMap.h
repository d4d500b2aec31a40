// Bad ranges found by the sector reader, remembered per device object.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

struct BadSectorRange {
  uint64_t startSector = 0;
  uint64_t endSector = 0;  // compared inclusively
};

class CBadSectorMap {
 public:
  CBadSectorMap() = default;
  ~CBadSectorMap() { Clear(); }
  CBadSectorMap(const CBadSectorMap&) = delete;
  CBadSectorMap& operator=(const CBadSectorMap&) = delete;

  // Takes the range over; 87 for null. A start already present keeps its first range.
  int Insert(BadSectorRange* range);
  int AddRange(BadSectorRange range);  // 0
  // 1 with a copy of the stored range, else 0.
  int Find(uint64_t start, BadSectorRange* out) const;
  const BadSectorRange* Get(uint64_t start) const;
  // The start sectors of every range, in a buffer from AllocBuffer (free it
  // with FreeBuffer). 87 when *out is already set.
  int Snapshot(uint64_t** out, uint32_t* count) const;
  void Remove(uint64_t start);
  void Clear();
  // Whether some range has start <= last and end >= first.
  bool Intersects(uint64_t first, uint64_t last) const;
  uint32_t GetCount() const;

 private:
  mutable std::mutex m_lock;
  std::map<uint64_t, std::unique_ptr<BadSectorRange>> m_ranges;
  std::atomic<bool> m_empty{true};
};
