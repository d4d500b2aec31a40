// What a B-tree walk needs to know of one HFS+ tree: its key order, how its
// keys and records are read out of a node, and how its nodes are read.
#pragma once

#include <cstdint>
#include <memory>

#include "CHFSPlusBTNode.h"
#include "HFSPlusStructs.h"

class IHFSPlusBTreeOption {
 public:
  virtual ~IHFSPlusBTreeOption() = default;
  virtual int CompareKey(const HFSPlusKey& recordKey, const HFSPlusKey& searchKey) = 0;
  virtual std::unique_ptr<HFSPlusKey> ReadKey(CHFSPlusBTNode& node, uint16_t index) = 0;
  virtual void DumpKey(const HFSPlusKey& key) = 0;
  virtual std::unique_ptr<HFSPlusRecord> ReadData(CHFSPlusBTNode& node, uint16_t index) = 0;
  virtual void DumpData(const HFSPlusRecord& record) = 0;
  virtual uint32_t GetChild(CHFSPlusBTNode& node, uint16_t index) = 0;
  virtual uint32_t GetRoot() = 0;
  virtual std::unique_ptr<CHFSPlusBTNode> CreateNode(uint32_t number) = 0;
  virtual int GetStatus() = 0;
};

// Where a search ended: node, record index, and whether the key was found.
struct HFSPlusSearchResult {
  uint32_t node = 0;
  uint16_t index = 0;
  uint16_t found = 0;
};

// Receives the leaf records of a tree walk.
class IHFSPlusRecordVisitor {
 public:
  virtual ~IHFSPlusRecordVisitor() = default;
  // 0 stops the walk (it then answers 13).
  virtual bool ShouldContinue() { return true; }
  virtual void OnRecord(const HFSPlusKey& key, const HFSPlusRecord& record) = 0;
};
