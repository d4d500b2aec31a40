// The extents overflow tree's options: extent keys (file id, fork, start
// block) and records of eight extent descriptors.
#pragma once

#include "CHFSPlusBTreeOptionBase.h"

// Extent key order: file id, fork type, start block, key length.
int CompareExtentKeys(const HFSPlusExtentKey& a, const HFSPlusExtentKey& b);

class CHFSPlusExtents : public CHFSPlusBTreeOptionBase {
 public:
  CHFSPlusExtents(CHFSPlusVolume* volume, CHFSPlusRawfile* reader);

  int CompareKey(const HFSPlusKey& recordKey, const HFSPlusKey& searchKey) override;
  std::unique_ptr<HFSPlusKey> ReadKey(CHFSPlusBTNode& node, uint16_t index) override;
  void DumpKey(const HFSPlusKey&) override {}
  std::unique_ptr<HFSPlusRecord> ReadData(CHFSPlusBTNode& node, uint16_t index) override;
  void DumpData(const HFSPlusRecord&) override {}
};
