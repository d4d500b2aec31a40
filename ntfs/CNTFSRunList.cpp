#include "CNTFSRunList.h"

#include <limits>

#include "ByteOrder.h"
#include "IScanStream.h"
#include "MappingPairs.h"

namespace {

constexpr int64_t kMaxSigned = std::numeric_limits<int64_t>::max();
// Upper bound on the runs a saved list may announce; a saved list never
// comes near it, a damaged stream cannot make Load loop for ever.
constexpr uint64_t kMaxSavedRuns = uint64_t(1) << 24;

// Walks the mapping pairs and hands each well-formed run to `onRun`; see
// mapping_pairs::Walk for what ends the walk.
template <class OnRun>
bool WalkMappingPairs(const uint8_t* pairs, int length, OnRun onRun) {
  return mapping_pairs::Walk(pairs, length, [&onRun](const mapping_pairs::Entry& entry) {
    NTFSRun run;
    run.firstVCN = entry.vcn;
    run.length = entry.length;
    run.firstLCN = entry.sparse ? kNTFSSparseLCN : entry.lcn;
    onRun(run);
  });
}

bool Covers(uint64_t first, uint64_t length, uint64_t value) {
  const int64_t f = static_cast<int64_t>(first);
  const int64_t v = static_cast<int64_t>(value);
  return f <= v && v - f < static_cast<int64_t>(length);
}

}  // namespace

bool ValidateMappingPairs(const uint8_t* pairs, int length) {
  return WalkMappingPairs(pairs, length, [](const NTFSRun&) {});
}

void DecodeMappingPairs(const uint8_t* pairs, int length, CNTFSRunList& list) {
  WalkMappingPairs(pairs, length, [&list](const NTFSRun& run) { list.Append(run); });
}

int64_t SumMappingPairsLength(const uint8_t* pairs, int length) {
  int64_t sum = 0;
  // The walk keeps the running VCN, which is this sum, inside int64.
  if (!WalkMappingPairs(pairs, length, [&sum](const NTFSRun& run) { sum += static_cast<int64_t>(run.length); }))
    return -1;
  return sum;
}

bool CNTFSRunList::Parse(const uint8_t* pairs, int length) {
  Clear();
  if (!ValidateMappingPairs(pairs, length)) return false;
  DecodeMappingPairs(pairs, length, *this);
  return true;
}

bool CNTFSRunList::AppendParsed(const uint8_t* pairs, int length, uint64_t vcnBase) {
  CNTFSRunList decoded;
  if (!decoded.Parse(pairs, length)) return false;
  const uint64_t total = decoded.GetClusterCount();
  if (vcnBase > static_cast<uint64_t>(kMaxSigned) || total > static_cast<uint64_t>(kMaxSigned) - vcnBase) return false;
  for (NTFSRun run : decoded.m_runs) {
    run.firstVCN += vcnBase;
    m_runs.push_back(run);
  }
  return true;
}

int64_t CNTFSRunList::VCNToLCN(uint64_t vcn) const {
  for (const NTFSRun& run : m_runs) {
    if (!Covers(run.firstVCN, run.length, vcn)) continue;
    if (run.firstLCN == kNTFSSparseLCN) return -1;
    return static_cast<int64_t>(run.firstLCN + (vcn - run.firstVCN));
  }
  return -1;
}

bool CNTFSRunList::ContainsLCN(uint64_t lcn) const {
  for (const NTFSRun& run : m_runs)
    if (run.firstLCN != kNTFSSparseLCN && Covers(run.firstLCN, run.length, lcn)) return true;
  return false;
}

int64_t CNTFSRunList::LCNToVCN(uint64_t lcn) const {
  if (!ContainsLCN(lcn)) return -1;
  for (const NTFSRun& run : m_runs)
    if (run.firstLCN != kNTFSSparseLCN && Covers(run.firstLCN, run.length, lcn))
      return static_cast<int64_t>(run.firstVCN + (lcn - run.firstLCN));
  return -1;
}

uint64_t CNTFSRunList::GetClusterCount() const {
  uint64_t total = 0;
  for (const NTFSRun& run : m_runs) total += run.length;
  return total;
}

void CNTFSRunList::CopyTo(CNTFSRunList& destination) const {
  for (const NTFSRun& run : m_runs) destination.m_runs.push_back(run);
}

bool CNTFSRunList::IsEqual(const CNTFSRunList& other) const {
  if (m_runs.size() != other.m_runs.size()) return false;
  auto a = m_runs.begin();
  for (auto b = other.m_runs.begin(); b != other.m_runs.end(); ++a, ++b)
    if (a->firstVCN != b->firstVCN || a->firstLCN != b->firstLCN || a->length != b->length) return false;
  return true;
}

void CNTFSRunList::Sort() {
  m_runs.sort([](const NTFSRun& a, const NTFSRun& b) {
    return static_cast<int64_t>(a.firstVCN) < static_cast<int64_t>(b.firstVCN);
  });
}

bool CNTFSRunList::Save(IScanStream& stream) const {
  uint8_t field[8];
  WriteLE64(field, m_runs.size());
  if (!stream.Write(field, 8)) return false;
  for (const NTFSRun& run : m_runs) {
    for (uint64_t value : {run.firstLCN, run.length, run.firstVCN}) {
      WriteLE64(field, value);
      if (!stream.Write(field, 8)) return false;
    }
  }
  return true;
}

bool CNTFSRunList::Load(IScanStream& stream) {
  uint8_t field[24];
  if (!stream.Read(field, 8)) return false;
  const uint64_t count = ReadLE64(field);
  if (count > kMaxSavedRuns) return false;
  std::list<NTFSRun> loaded;
  for (uint64_t i = 0; i < count; ++i) {
    if (!stream.Read(field, 24)) return false;
    NTFSRun run;
    run.firstLCN = ReadLE64(field);
    run.length = ReadLE64(field + 8);
    run.firstVCN = ReadLE64(field + 16);
    loaded.push_back(run);
  }
  m_runs.splice(m_runs.end(), loaded);
  return true;
}
