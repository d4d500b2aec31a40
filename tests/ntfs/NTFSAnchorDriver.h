// A small stand-in for the complete search's scan loop: feeds sectors in
// disk order, block by block, to the four anchor collections, then resolves
// every candidate. Used by the anchor tests and the tracker's fuzz target.
#pragma once

#include <algorithm>
#include <cstdint>

#include "CNTFSFileRecord.h"
#include "CNTFSRestartPageCollection.h"
#include "CNTFSSystemRecordTracker.h"
#include "CNTFSTemplateMatcher.h"
#include "CSearchedNTFSPartitionInfo.h"
#include "NTFSRecordNumber.h"
#include "NTFSSystemFiles.h"

namespace ntfstest {

struct AnchorSearch {
  AnchorSearch(int sectorSize, uint64_t deviceSectors)
      : sectorSize(sectorSize),
        updater(&map, deviceSectors),
        restart(&map, &updater, sectorSize),
        tracker(&lists, &map, &updater, sectorSize) {
    restart.SetDeviceSectors(deviceSectors);
    tracker.SetDeviceSectors(deviceSectors);
  }

  // `count` sectors from `first`, in one block.
  void Feed(const uint8_t* block, uint64_t first, uint64_t count) {
    const uint64_t units = UnitsPerSector(static_cast<uint32_t>(sectorSize));
    for (uint64_t i = 0; i < count; ++i) {
      const uint8_t* p = block + i * sectorSize;
      const int left = static_cast<int>(std::min<uint64_t>((count - i) * sectorSize, 1u << 30));
      const int size = std::min(left, static_cast<int>(RecordSizeOf(p, left, kNTFSMinRecordLength)));
      CNTFSFileRecord record(p, size, false);
      tracker.AddRecord(first + i, record);
      if (record.IsValid()) {
        if (IsAttrDefRecord(p, size)) attrDef.AddRecord(first + i, p, size);
        if (IsUpCaseRecord(p, size)) upCase.AddRecord(first + i, p, size);
        if (IsLogFileRecord(p, size)) restart.AddLogFileRecord(first + i, p, size);
      }
      for (uint64_t u = 0; u < units; ++u) {
        attrDef.MatchSector((first + i) * units + u, p + u * kNTFSTemplateUnit);
        upCase.MatchSector((first + i) * units + u, p + u * kNTFSTemplateUnit);
      }
      restart.AnalyzeRSTRRecord(first + i, p, left);
    }
    restart.EndBlock(block, first, count);
  }

  void Resolve() {
    for (auto& [key, c] : map) {
      attrDef.ResolveCandidate(*c);
      upCase.ResolveCandidate(*c);
      restart.ResolveCandidate(*c);
    }
  }

  int sectorSize;
  NTFSCandidateMap map;
  CNTFSCandidateFlagUpdater updater;
  NTFSSystemRecordLists lists;
  CNTFSAttrDefMatcher attrDef;
  CNTFSUpCaseMatcher upCase;
  CNTFSRestartPageCollection restart;
  CNTFSSystemRecordTracker tracker;
};

}  // namespace ntfstest
