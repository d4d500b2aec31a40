#include "CEvaluation.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <map>

#include "CSearchedPartitionInfo.h"

namespace {

uint64_t SaturatedAdd(uint64_t a, uint64_t b) {
  uint64_t sum = 0;
  return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<uint64_t>::max() : sum;
}

uint64_t SaturatedMul(uint64_t a, uint64_t b) {
  uint64_t product = 0;
  return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<uint64_t>::max() : product;
}

// The parts of the device no chosen candidate covers, by start sector. Every
// interval lies inside [0, device sectors), so start + length never wraps.
class CFreeIntervals {
 public:
  explicit CFreeIntervals(uint64_t deviceSectors) {
    if (deviceSectors) m_free.emplace(0, deviceSectors);
  }

  // The interval that holds all of [start, start + count), or end(). The
  // range is compared by differences, so a count that reaches past the
  // device (or past 2^64) is refused rather than wrapped.
  std::map<uint64_t, uint64_t>::iterator Holding(uint64_t start, uint64_t count) {
    auto it = m_free.upper_bound(start);
    if (it == m_free.begin()) return m_free.end();
    --it;
    const uint64_t offset = start - it->first;
    if (offset > it->second || count > it->second - offset) return m_free.end();
    return it;
  }

  bool Holds(uint64_t start, uint64_t count) { return Holding(start, count) != m_free.end(); }

  // Cuts [start, start + count) out of the interval that holds it.
  void Cut(uint64_t start, uint64_t count) {
    auto it = Holding(start, count);
    if (it == m_free.end()) return;
    const uint64_t first = it->first;
    const uint64_t end = first + it->second;
    m_free.erase(it);
    if (start > first) m_free.emplace(first, start - first);
    if (end - start > count) m_free.emplace(start + count, end - start - count);
  }

 private:
  std::map<uint64_t, uint64_t> m_free;
};

}  // namespace

void CEvaluation::Init(uint64_t deviceSectors, int manyChoices, uint32_t bytesPerSector) {
  m_deviceSectors = deviceSectors;
  m_manyChoices = manyChoices != 0;
  m_bytesPerSector = bytesPerSector ? bytesPerSector : 512;
  m_evaluated = false;
}

int CEvaluation::AddCandidate(CSearchedPartitionInfo* candidate) {
  if (!candidate) return 0;
  m_candidates.push_back(candidate);
  m_evaluated = false;
  return 1;
}

size_t CEvaluation::GetMaxChoices() const {
  if (m_manyChoices) return kManyChoices;
  for (size_t i = 1; i < m_candidates.size(); ++i)
    if (m_candidates[i]->GetProximityMark()) return 2;
  return 1;
}

void CEvaluation::GetResult(std::vector<CSearchedPartitionInfo*>& chosen) {
  if (!m_evaluated) Evaluate();
  const size_t max = GetMaxChoices();
  uint64_t dropped = 0;
  for (CSearchedPartitionInfo* candidate : m_candidates) {
    if (!candidate->GetChosen()) continue;
    if (chosen.size() < max)
      chosen.push_back(candidate);
    else
      ++dropped;
  }
  if (dropped && m_capNote) m_capNote(kPartitionCapName, dropped);
}

void CEvaluation::Evaluate() {
  for (CSearchedPartitionInfo* candidate : m_candidates) {
    candidate->SetChosen(0);
    candidate->SetProximityMark(0);
  }
  ScoreCandidates();
  std::stable_sort(m_candidates.begin(), m_candidates.end(),
                   [](CSearchedPartitionInfo* a, CSearchedPartitionInfo* b) { return a->GetScore() > b->GetScore(); });
  ChooseCandidates();
  MarkProximity();
  m_evaluated = true;
}

uint64_t CEvaluation::RawScoreOf(const CSearchedPartitionInfo& c) {
  const uint64_t records = SaturatedMul(CSearchedPartitionInfo::kRecordMatchWeight, c.GetRecordMatchCount());
  return SaturatedAdd(SaturatedAdd(c.GetPoints(), records), c.GetRawMatchCount());
}

double CEvaluation::ScoreOf(uint64_t raw, uint64_t highest) {
  if (highest == 0) return 0.0;
  return std::log1p(static_cast<double>(raw)) / std::log1p(static_cast<double>(highest));
}

void CEvaluation::ScoreCandidates() {
  uint64_t highest = 0;
  for (CSearchedPartitionInfo* c : m_candidates) highest = std::max(highest, RawScoreOf(*c));
  for (CSearchedPartitionInfo* c : m_candidates) c->SetScore(ScoreOf(RawScoreOf(*c), highest));
}

// Over the list sorted by descending score, the best candidate that still
// fits into the free space is taken, again and again. A candidate that does
// not fit once never fits later (the free space only shrinks), so one walk
// in ranking order makes the same choices.
void CEvaluation::ChooseCandidates() {
  if (m_candidates.empty()) return;
  CFreeIntervals free(m_deviceSectors);
  size_t taken = 0;
  for (CSearchedPartitionInfo* c : m_candidates) {
    if (!(c->GetScore() > 0)) break;
    // A partition without sectors covers nothing it could be chosen for.
    if (c->GetSectorCount() == 0 || !free.Holds(c->GetStartSector(), c->GetSectorCount())) continue;
    c->SetChosen(1);
    free.Cut(c->GetStartSector(), c->GetSectorCount());
    ++taken;
  }
  // Something is always offered: the best candidate, whatever its score.
  if (taken == 0) m_candidates.front()->SetChosen(1);
  if (taken == 1 && m_candidates.size() > 1 && m_candidates[0]->GetScore() - m_candidates[1]->GetScore() <= kNearTie)
    m_candidates[1]->SetChosen(1);
}

bool CEvaluation::IsNearDeviceSize(uint64_t sectorCount) const {
  const uint64_t difference =
      sectorCount > m_deviceSectors ? sectorCount - m_deviceSectors : m_deviceSectors - sectorCount;
  // difference x sector size <= limit, without the product.
  return difference <= kProximityBytes / m_bytesPerSector;
}

// The first candidate (in ranking order) about the size of the whole device
// is chosen and marked, and moves up to the second place, taking over that
// place's score; the best candidate being that one changes nothing.
void CEvaluation::MarkProximity() {
  for (size_t i = 0; i < m_candidates.size(); ++i) {
    CSearchedPartitionInfo* c = m_candidates[i];
    if (!IsNearDeviceSize(c->GetSectorCount())) continue;
    if (i == 0) return;
    c->SetProximityMark(1);
    c->SetChosen(1);
    if (i >= 2) {
      c->SetScore(m_candidates[1]->GetScore());
      m_candidates.erase(m_candidates.begin() + static_cast<std::ptrdiff_t>(i));
      m_candidates.insert(m_candidates.begin() + 1, c);
    }
    return;
  }
}
