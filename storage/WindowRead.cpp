#include "WindowRead.h"

#include <cstring>

#include "IStorageDevice.h"

bool IsWindowRangeInside(uint64_t windowCount, uint64_t first, uint64_t count) {
  return first < windowCount && count <= windowCount;
}

int ReadWindow(IStorageDevice* parent, int sectorSize, uint64_t start, uint64_t windowCount, void* buffer,
               uint64_t first, uint64_t count) {
  if (!parent || !buffer || !IsWindowRangeInside(windowCount, first, count)) return 0;
  uint64_t n = count;
  if (n > windowCount - first) n = windowCount - first;
  int result = parent->ReadSectors(buffer, start + first, n);
  if (result && n < count) {
    const uint64_t ss = static_cast<uint64_t>(sectorSize);
    memset(static_cast<uint8_t*>(buffer) + n * ss, 0, static_cast<size_t>((count - n) * ss));
  }
  return result;
}
