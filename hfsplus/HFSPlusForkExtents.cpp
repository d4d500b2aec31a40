#include "HFSPlusForkExtents.h"

#include <memory>

#include "CHFSPlusVolume.h"

EForkWalkEnd WalkForkExtents(const ForkExtentWalk& how, const HFSPlusForkData& fork,
                             const std::function<bool(const HFSPlusExtentDescriptor&)>& visit, int* searchStatus) {
  uint32_t remaining = fork.totalBlocks;
  uint32_t blocksSoFar = 0;
  HFSPlusExtentDescriptor record[8];
  for (int i = 0; i < 8; ++i) record[i] = fork.extents[i];
  int index = 0;
  uint32_t addedByRecord = 0;
  size_t visited = 0;
  while (remaining != 0) {
    if (index == 8) {
      if (!how.volume) return EForkWalkEnd::NoOverflow;
      // A record that adds no blocks would be found again and again.
      if (addedByRecord == 0) return EForkWalkEnd::Damaged;
      HFSPlusExtentKey key;
      key.keyLength = 10;
      key.forkType = how.forkType;
      key.fileID = how.fileId;
      key.startBlock = blocksSoFar;
      HFSPlusSearchResult result;
      std::unique_ptr<HFSPlusRecord> data;
      const int status = how.volume->Search(kHFSExtentsTree, key, &result, &data);
      if (searchStatus) *searchStatus = status;
      if ((!result.found || !data) && how.useFoundRecords) how.volume->FindFoundExtentRecord(key, &result, &data);
      auto* found = dynamic_cast<HFSPlusExtentRecord*>(data.get());
      if (!result.found || !found) return EForkWalkEnd::NotFound;
      for (int k = 0; k < 8; ++k) record[k] = found->extents[k];
      index = 0;
      addedByRecord = 0;
    }
    HFSPlusExtentDescriptor e = record[index++];
    if (e.blockCount > remaining) e.blockCount = remaining;
    if (e.blockCount == 0) continue;
    if (++visited > how.maxExtents || !visit(e)) return EForkWalkEnd::Damaged;
    blocksSoFar += e.blockCount;
    remaining -= e.blockCount;
    addedByRecord += e.blockCount;
  }
  return EForkWalkEnd::Complete;
}
