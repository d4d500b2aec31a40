// The read of a window (start, length) onto a parent device, shared by the
// partition and partition-window devices.
#pragma once

#include <cstdint>

class IStorageDevice;

// True when first < windowCount and count <= windowCount (the end of the
// read may pass the window's end: the read clips it).
bool IsWindowRangeInside(uint64_t windowCount, uint64_t first, uint64_t count);

// Reads the part of [first, first + count) inside the window from the
// parent at start + first and, when that succeeds, zero-fills the sectors
// past the window's end. Returns the parent's result; 0 for a refused range.
int ReadWindow(IStorageDevice* parent, int sectorSize, uint64_t start, uint64_t windowCount, void* buffer,
               uint64_t first, uint64_t count);
