// The extents of one fork in file order: the eight the fork data holds, then
// those the extents overflow tree keeps under (file id, fork type, blocks
// so far). One walk serves the special files' readers and the run lists of
// found files.
#pragma once

#include <cstdint>
#include <functional>

#include "HFSPlusStructs.h"

class CHFSPlusVolume;

enum : uint8_t { kHFSDataFork = 0, kHFSResourceFork = 0xFF };

struct ForkExtentWalk {
  uint32_t fileId = 0;
  uint8_t forkType = kHFSDataFork;
  // Where overflow records are looked up; null: none are (the walk ends
  // after the fork's own eight).
  CHFSPlusVolume* volume = nullptr;
  // Also look in the records the journal gave back when the live tree has
  // none.
  bool useFoundRecords = false;
  // More extents than this are taken for damage.
  size_t maxExtents = 65536;
};

enum class EForkWalkEnd {
  Complete,    // every block of totalBlocks was visited
  NoOverflow,  // more blocks than the fork's own extents and no way to look further
  NotFound,    // an overflow record is missing
  Damaged,     // a record added no blocks, too many extents, or `visit` refused
};

// Calls `visit` with each extent (clipped to the blocks still due, extents
// of 0 blocks skipped); `visit` answering false ends the walk as Damaged.
// `searchStatus` (optional) receives the status of the last overflow search.
EForkWalkEnd WalkForkExtents(const ForkExtentWalk& how, const HFSPlusForkData& fork,
                             const std::function<bool(const HFSPlusExtentDescriptor&)>& visit,
                             int* searchStatus = nullptr);
