// One run of a data-run list: start (cluster or sector index; -1 for a
// sparse run) and length, both 64-bit.
#pragma once

#include <cstdint>

struct DataRun {
  static constexpr uint64_t kSparse = ~0ull;
  uint64_t start = 0;
  uint64_t length = 0;

  DataRun() = default;
  DataRun(uint64_t s, uint64_t l) : start(s), length(l) {}
  void Set(uint64_t s, uint64_t l) {
    start = s;
    length = l;
  }
  bool operator==(const DataRun& o) const { return start == o.start && length == o.length; }
};
