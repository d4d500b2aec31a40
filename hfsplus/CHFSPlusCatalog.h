// The catalog tree's options: catalog keys (parent id, name) ordered by the
// tree's key compare type, folder, file and thread records.
#pragma once

#include "CHFSPlusBTreeOptionBase.h"

// Catalog key order: parent id, then the name (case-folding for compare
// type 0xCF, binary otherwise).
int CompareCatalogKeys(const HFSPlusCatalogKey& a, const HFSPlusCatalogKey& b, uint8_t keyCompareType);

class CHFSPlusCatalog : public CHFSPlusBTreeOptionBase {
 public:
  CHFSPlusCatalog(CHFSPlusVolume* volume, CHFSPlusRawfile* reader);

  int CompareKey(const HFSPlusKey& recordKey, const HFSPlusKey& searchKey) override;
  std::unique_ptr<HFSPlusKey> ReadKey(CHFSPlusBTNode& node, uint16_t index) override;
  void DumpKey(const HFSPlusKey& key) override;
  std::unique_ptr<HFSPlusRecord> ReadData(CHFSPlusBTNode& node, uint16_t index) override;
  void DumpData(const HFSPlusRecord& record) override;
};
