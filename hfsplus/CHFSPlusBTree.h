// Search and walk of one HFS+ B-tree through its options object.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_set>

#include "IHFSPlusBTreeOption.h"

class CHFSPlusVolume;

class CHFSPlusBTree {
 public:
  // Trees deeper than this are damaged (HFS+ trees stay below 10 levels).
  static constexpr unsigned kMaxDepth = 16;

  CHFSPlusBTree(CHFSPlusVolume* volume, IHFSPlusBTreeOption* options);
  int GetStatus() const { return m_status; }
  CHFSPlusVolume* GetVolume() const { return m_volume; }

  // Looks `key` up; `dataOut` (optional) receives the record when found.
  int Search(const HFSPlusKey& key, HFSPlusSearchResult* result, std::unique_ptr<HFSPlusRecord>* dataOut);
  // Visits every leaf record in key order; without a visitor the records
  // are printed.
  int Traverse(IHFSPlusRecordVisitor* visitor);

 private:
  // Node `number` when it is an index or leaf node not met before on this
  // walk and within the depth limit; else null with `status` set.
  std::unique_ptr<CHFSPlusBTNode> OpenNode(uint32_t number, unsigned depth, std::unordered_set<uint32_t>& visited,
                                           int* status);
  int SearchNode(uint32_t root, const HFSPlusKey& key, HFSPlusSearchResult* result,
                 std::unique_ptr<HFSPlusRecord>* dataOut);
  int TraverseNode(uint32_t number, IHFSPlusRecordVisitor* visitor, unsigned depth,
                   std::unordered_set<uint32_t>& visited);

  CHFSPlusVolume* m_volume = nullptr;
  IHFSPlusBTreeOption* m_options = nullptr;
  int m_status = kHFSMissing;
};
