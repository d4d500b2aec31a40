#include "CNTFSTemplateMatchList.h"

#include <algorithm>
#include <cstring>

#include "CNTFSRunList.h"

namespace {
#include "NTFSTemplateData.inc"
}  // namespace

const uint8_t* GetAttrDefTemplateSector(int k) {
  return k >= 0 && k < kNTFSTemplateSectors ? kNTFSAttrDefTemplate + k * kNTFSTemplateUnit : nullptr;
}

const uint8_t* GetUpCaseTemplateSector(int k) {
  return k >= 0 && k < kNTFSTemplateSectors ? kNTFSUpCaseTemplate + k * kNTFSTemplateUnit : nullptr;
}

void CNTFSTemplateMatchList::AddMatch(uint64_t unit) {
  if (!m_runs.empty() && m_runs.back().first + m_runs.back().count == unit) {
    ++m_runs.back().count;
    return;
  }
  if (m_runs.size() < kMaxRuns) m_runs.push_back({unit, 1});
}

bool CNTFSTemplateMatchList::IsSectorEqual(const uint8_t* sector, const uint8_t* templateSector) {
  return sector && templateSector && std::memcmp(sector, templateSector, kNTFSTemplateUnit) == 0;
}

uint64_t CNTFSTemplateMatchList::CountMatches(const CNTFSRunList& runs, uint64_t startUnit,
                                              uint64_t unitsPerCluster) const {
  uint64_t total = 0;
  for (const NTFSRun& run : runs) {
    if (run.firstLCN == kNTFSSparseLCN || run.length == 0) continue;
    uint64_t a = 0, span = 0;
    if (__builtin_mul_overflow(run.firstLCN, unitsPerCluster, &a) || __builtin_add_overflow(a, startUnit, &a) ||
        __builtin_mul_overflow(run.length, unitsPerCluster, &span) || span == 0 ||
        __builtin_add_overflow(a, span - 1, &span))
      continue;
    const uint64_t b = span;
    for (const Run& m : m_runs) {
      const uint64_t e = m.first + m.count - 1;
      if (m.first > b) break;  // ascending: nothing further meets the run
      if (e < a) continue;
      total += std::min(b, e) - std::max(a, m.first) + 1;
    }
  }
  return total;
}
