// The cluster runs of one non-resident NTFS attribute, decoded from its
// mapping pairs, with VCN/LCN translation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>

class IScanStream;

// One run: `length` clusters from `firstVCN` of the attribute, stored at
// `firstLCN` on the volume (all bits set for a sparse run).
struct NTFSRun {
  uint64_t firstLCN = 0;
  uint64_t firstVCN = 0;
  uint64_t length = 0;
};

constexpr uint64_t kNTFSSparseLCN = ~uint64_t(0);

class CNTFSRunList;

// True when the pairs end with a 0 header inside `length` bytes and every
// entry is well formed: a length field of 1 to 8 bytes, an offset field of 0
// to 8 bytes, a non-negative run length, VCNs and LCNs that stay inside the
// signed 64-bit range and LCNs that never go below 0.
bool ValidateMappingPairs(const uint8_t* pairs, int length);
// Appends the runs of the well-formed entries inside `length` bytes; stops at
// a 0 header, the end of the bytes or the first malformed entry.
void DecodeMappingPairs(const uint8_t* pairs, int length, CNTFSRunList& list);
// Sum of the run lengths of valid pairs; -1 when ValidateMappingPairs refuses.
int64_t SumMappingPairsLength(const uint8_t* pairs, int length);

class CNTFSRunList {
 public:
  using const_iterator = std::list<NTFSRun>::const_iterator;

  // Clears, then decodes valid pairs; false (and an empty list) otherwise.
  bool Parse(const uint8_t* pairs, int length);
  // Appends the runs of valid pairs with their VCNs moved up by `vcnBase`;
  // appends nothing and answers false for invalid pairs.
  bool AppendParsed(const uint8_t* pairs, int length, uint64_t vcnBase);
  void Append(const NTFSRun& run) { m_runs.push_back(run); }

  // -1 when no run covers the cluster or it falls in a sparse run.
  int64_t VCNToLCN(uint64_t vcn) const;
  int64_t LCNToVCN(uint64_t lcn) const;
  bool ContainsLCN(uint64_t lcn) const;
  uint64_t GetClusterCount() const;

  bool IsEmpty() const { return m_runs.empty(); }
  size_t GetCount() const { return m_runs.size(); }
  void Clear() { m_runs.clear(); }
  void CopyTo(CNTFSRunList& destination) const;
  bool IsEqual(const CNTFSRunList& other) const;
  // Stable sort by first VCN.
  void Sort();

  const_iterator Begin() const { return m_runs.begin(); }
  const_iterator End() const { return m_runs.end(); }
  const_iterator begin() const { return m_runs.begin(); }
  const_iterator end() const { return m_runs.end(); }

  // Count (8 bytes), then per run: first LCN, length, first VCN (8 bytes
  // each, little-endian).
  bool Save(IScanStream& stream) const;
  // Appends the saved runs; on a short stream appends nothing and answers
  // false.
  bool Load(IScanStream& stream);

 private:
  std::list<NTFSRun> m_runs;
};
