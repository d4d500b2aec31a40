#include "HeapPages.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace platform {

namespace {

constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
// The C library's own padding of each heap growth.
constexpr int kDefaultTopPad = 128 * 1024;
// Blocks below the size the C library maps on their own, so that they come
// from the heap and make it grow.
constexpr size_t kStepBytes = 64 * 1024;
constexpr int kMaxSteps = 64;

}  // namespace

bool BackHeapWithLargePages(std::size_t bytes) {
  if (bytes < kLargePage || bytes > static_cast<std::size_t>(INT_MAX)) return false;
  const int size = static_cast<int>(bytes);
  if (mallopt(M_TRIM_THRESHOLD, size) == 0 || mallopt(M_TOP_PAD, size) == 0) return false;
  char* const before = static_cast<char*>(sbrk(0));
  // Small blocks until the heap grows: it then grows by the padding at once.
  void* blocks[kMaxSteps] = {};
  int taken = 0;
  while (taken < kMaxSteps && sbrk(0) == before) {
    blocks[taken] = malloc(kStepBytes);
    if (!blocks[taken]) break;
    ++taken;
  }
  for (int i = 0; i < taken; ++i) free(blocks[i]);
  mallopt(M_TOP_PAD, kDefaultTopPad);
  char* const after = static_cast<char*>(sbrk(0));
  if (before == reinterpret_cast<char*>(-1) || after == reinterpret_cast<char*>(-1) || after <= before) return false;
  const uintptr_t from = (reinterpret_cast<uintptr_t>(before) + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t to = reinterpret_cast<uintptr_t>(after) & ~(kLargePage - 1);
  if (to <= from) return false;
  return madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE) == 0;
}

}  // namespace platform
