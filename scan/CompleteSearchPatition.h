// The HFS+ candidate partition of the complete search. This class only makes
// and frees its fields; the HFS+ engine gives them their meaning.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "CSearchedPartitionInfo.h"
#include "IStorageDevice.h"
#include "IVolume.h"

class CompleteSearchPatition : public CSearchedPartitionInfo {
 public:
  static constexpr uint64_t kUnset = ~uint64_t(0);

  CompleteSearchPatition() : CSearchedPartitionInfo(512) {}
  EPartitionKind GetSearchKind() override { return EPartitionKind::HFSPlus; }
  int IsNodeInPartition(CFileNode*) override { return 0; }
  int LoadNodeDataRuns(CFileNode*) override { return 0; }

  uint64_t headerPosition = kUnset;
  uint64_t alternateHeaderPosition = kUnset;
  uint32_t nodeSize = 4096;  // B-tree node size
  uint32_t engineWord1 = 0;
  uint32_t engineWord2 = 0;
  std::vector<uint8_t> headerCopy;  // empty: none
  uint64_t infoBlockPosition = kUnset;
  std::unique_ptr<IStorageDevice> windowDevice;
  std::unique_ptr<IVolume> volume;
  std::vector<uint8_t> infoBlockCopy;
  uint64_t journalPosition = kUnset;
  std::vector<uint8_t> journalHeaderCopy;
  uint64_t startSector = kUnset;
  uint64_t sectorCount = kUnset;
  uint64_t engineValue1 = kUnset;
  uint64_t engineValue2 = kUnset;
  uint64_t engineValue3 = kUnset;
  uint32_t index = 0;
  // Used-sector runs {first, count}, newest first.
  std::deque<std::pair<uint64_t, uint64_t>> usedSectors;
  void AddUsedSectors(uint64_t first, uint64_t count) { usedSectors.emplace_front(first, count); }
};
