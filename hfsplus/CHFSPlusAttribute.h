// The attributes tree's options: attribute keys (file id, name) and inline,
// fork and extent attribute records.
#pragma once

#include "CHFSPlusBTreeOptionBase.h"

// Attribute key order: file id, then the name's units; the start block is
// not compared.
int CompareAttributeKeys(const HFSPlusAttrKey& a, const HFSPlusAttrKey& b);

class CHFSPlusAttribute : public CHFSPlusBTreeOptionBase {
 public:
  CHFSPlusAttribute(CHFSPlusVolume* volume, CHFSPlusRawfile* reader);

  int CompareKey(const HFSPlusKey& recordKey, const HFSPlusKey& searchKey) override;
  std::unique_ptr<HFSPlusKey> ReadKey(CHFSPlusBTNode& node, uint16_t index) override;
  void DumpKey(const HFSPlusKey& key) override;
  std::unique_ptr<HFSPlusRecord> ReadData(CHFSPlusBTNode& node, uint16_t index) override;
  void DumpData(const HFSPlusRecord& record) override;
};
