#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "CEvaluation.h"
#include "CSearchedPartitionInfo.h"

namespace {

constexpr uint64_t kMax = UINT64_MAX;

struct Candidate {
  uint64_t start;
  uint64_t count;
  uint64_t points;
  uint64_t records = 0;
  uint64_t raws = 0;
};

struct Case {
  const char* name;
  uint64_t deviceSectors;
  uint32_t bytesPerSector;
  int manyChoices;
  std::vector<Candidate> candidates;
  std::vector<int> result;  // indexes into `candidates`, in result order
  std::vector<int> chosen;  // every candidate chosen, by index
  int proximity;            // the candidate marked, or -1
  uint64_t dropped;         // noted as the partition cap
};

// 1 GiB of 512-byte sectors.
constexpr uint64_t kDevice = 2 * 1024 * 1024;

// Each row: device sectors, sector size, many choices; the candidates
// {start, count, points, record matches, RAW matches}; the result, the
// chosen, the marked candidate and the count noted as dropped.
// clang-format off
const Case kCases[] = {
    {"no candidate, no result",
     kDevice, 512, 0, {}, {}, {}, -1, 0},
    {"a single candidate is chosen whatever its score",
     kDevice, 512, 0, {{0, 1000, 0}}, {0}, {0}, -1, 0},
    // ln(1 + 707) / ln(1 + 1000) is 0.95.
    {"an overlapping near tie is chosen too, the result holds the first",
     kDevice, 512, 0, {{2048, 4096, 1000}, {2048, 4096, 707}}, {0}, {0, 1}, -1, 1},
    {"an overlapping candidate further behind is not chosen",
     kDevice, 512, 0, {{2048, 4096, 1000}, {2048, 4096, 100}}, {0}, {0}, -1, 0},
    {"two disjoint candidates are both chosen, the result holds one",
     kDevice, 512, 0, {{2048, 4096, 1000}, {8192, 4096, 10}}, {0}, {0, 1}, -1, 1},
    {"two disjoint candidates with many choices",
     kDevice, 512, 1, {{2048, 4096, 1000}, {8192, 4096, 10}}, {0, 1}, {0, 1}, -1, 0},
    // 10 MiB short of the device: 20480 sectors of 512 bytes.
    {"a candidate of about the device's size moves to second place",
     kDevice, 512, 0, {{0, 4096, 1000}, {8192, 4096, 500}, {16384, 4096, 200}, {0, kDevice - 20480, 3}},
     {0, 3}, {0, 1, 2, 3}, 3, 2},
    {"the best candidate being of the device's size changes nothing",
     kDevice, 512, 0, {{0, kDevice, 1000}, {0, 4096, 5}}, {0}, {0}, -1, 0},
    {"all raw scores 0: the first is chosen",
     kDevice, 512, 0, {{0, 4096, 0}, {8192, 4096, 0}}, {0}, {0}, -1, 0},
    {"raw 2 ranks above raw 1",
     kDevice, 512, 0, {{0, 4096, 1}, {0, 4096, 2}}, {1}, {1}, -1, 0},
    {"50 per record match, 1 per RAW match",
     kDevice, 512, 0, {{0, 4096, 1, 0, 99}, {0, 4096, 1, 2, 0}}, {1}, {0, 1}, -1, 1},
    // s + n wraps to 50: an adding check would find it inside the device.
    {"a range that wraps past 2^64 is never chosen by its score",
     kDevice, 512, 0, {{100, kMax - 49, 1000}, {4096, 4096, 10}}, {1}, {1}, -1, 0},
    {"a count near 2^64 is never chosen by its score",
     kDevice, 512, 0, {{0, kMax, 1000}, {4096, 4096, 10}}, {1}, {1}, -1, 0},
    {"a range past the device's end is never chosen by its score",
     kDevice, 512, 0, {{kDevice - 10, 11, 1000}, {4096, 4096, 10}}, {1}, {1}, -1, 0},
    {"a range ending at the device's end fits",
     kDevice, 512, 0, {{kDevice - 10, 10, 1000}, {4096, 4096, 10}}, {0}, {0, 1}, -1, 1},
    {"saturated evidence still scores",
     kDevice, 512, 0, {{0, 4096, kMax, kMax, kMax}, {0, 4096, 1}}, {0}, {0}, -1, 0},
    // 16 MiB is 4096 sectors of 4096 bytes; a 512-byte reading would allow 32768.
    {"4096-byte sectors: 4096 sectors short is about the device's size",
     262144, 4096, 0, {{0, 4096, 1000}, {8192, 4096, 500}, {0, 262144 - 4096, 3}}, {0, 2}, {0, 1, 2}, 2, 1},
    {"4096-byte sectors: 4097 sectors short is not",
     262144, 4096, 0, {{0, 4096, 1000}, {8192, 4096, 500}, {0, 262144 - 4097, 3}}, {0}, {0, 1}, -1, 1},
    {"4096-byte sectors: 4096 sectors past the device is about its size",
     262144, 4096, 0, {{0, 4096, 1000}, {8192, 4096, 500}, {0, 262144 + 4096, 3}}, {0, 2}, {0, 1, 2}, 2, 1},
    {"more disjoint candidates than the maximum of many choices",
     kDevice, 512, 1,
     {{0, 100, 60}, {100, 100, 50}, {200, 100, 40}, {300, 100, 30}, {400, 100, 20}, {500, 100, 10}},
     {0, 1, 2, 3}, {0, 1, 2, 3, 4, 5}, -1, 2},
};
// clang-format on

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class EvaluationTable : public ::testing::TestWithParam<Case> {};

TEST_P(EvaluationTable, ChoosesAndRanks) {
  const Case& c = GetParam();
  std::vector<std::unique_ptr<CSearchedPartitionInfo>> owned;
  CEvaluation evaluation;
  evaluation.Init(c.deviceSectors, c.manyChoices, c.bytesPerSector);
  std::string noted;
  uint64_t dropped = 0;
  evaluation.SetCapNote([&](const char* name, uint64_t n) {
    noted = name;
    dropped += n;
  });
  for (const Candidate& k : c.candidates) {
    owned.push_back(std::make_unique<CSearchedPartitionInfo>(static_cast<int>(c.bytesPerSector)));
    CSearchedPartitionInfo& p = *owned.back();
    p.SetStartSector(k.start);
    p.SetSectorCount(k.count);
    p.SetPoints(k.points);
    p.SetRecordMatchCount(k.records);
    p.SetRawMatchCount(k.raws);
    ASSERT_EQ(evaluation.AddCandidate(&p), 1);
  }
  std::vector<CSearchedPartitionInfo*> result;
  evaluation.GetResult(result);
  std::vector<int> got;
  for (CSearchedPartitionInfo* p : result)
    for (size_t i = 0; i < owned.size(); ++i)
      if (owned[i].get() == p) got.push_back(static_cast<int>(i));
  EXPECT_EQ(got, c.result);
  std::vector<int> chosen;
  for (size_t i = 0; i < owned.size(); ++i) {
    if (owned[i]->GetChosen()) chosen.push_back(static_cast<int>(i));
    EXPECT_EQ(owned[i]->GetProximityMark() != 0, static_cast<int>(i) == c.proximity) << i;
    EXPECT_TRUE(std::isfinite(owned[i]->GetScore()) && owned[i]->GetScore() >= 0 && owned[i]->GetScore() <= 1) << i;
  }
  EXPECT_EQ(chosen, c.chosen);
  EXPECT_EQ(dropped, c.dropped);
  if (c.dropped) {
    EXPECT_EQ(noted, CEvaluation::kPartitionCapName);
  }
  // The ranking is by descending score, except that a marked candidate sits
  // second with the score of the one it displaced.
  const auto& ranked = evaluation.GetCandidates();
  for (size_t i = 1; i < ranked.size(); ++i) EXPECT_GE(ranked[i - 1]->GetScore(), ranked[i]->GetScore()) << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, EvaluationTable, ::testing::ValuesIn(kCases));

TEST(Evaluation, ScoreRisesWithTheRawScoreAndTheBestIsOne) {
  const uint64_t raws[] = {0, 1, 2, 3, 10, 50, 1000, 1ull << 32, 1ull << 53, kMax - 1, kMax};
  for (uint64_t highest : std::initializer_list<uint64_t>{1, 2, 1000, kMax}) {
    EXPECT_DOUBLE_EQ(CEvaluation::ScoreOf(highest, highest), 1.0) << highest;
    double previous = -1;
    for (uint64_t r : raws) {
      if (r > highest) break;
      const double s = CEvaluation::ScoreOf(r, highest);
      EXPECT_GE(s, 0.0);
      EXPECT_LE(s, 1.0);
      // Adjacent raw values far above 2^53 meet in one double.
      if (r < (1ull << 53)) {
        EXPECT_GT(s, previous) << r << " of " << highest;
      }
      previous = s;
    }
  }
  EXPECT_EQ(CEvaluation::ScoreOf(0, 0), 0.0);
}

TEST(Evaluation, ResultCountsWhatTheVectorHoldsAndAddingEvaluatesAgain) {
  CSearchedPartitionInfo a, b, c;
  a.SetSectorCount(100);
  a.SetPoints(10);
  b.SetStartSector(100);
  b.SetSectorCount(100);
  b.SetPoints(5);
  CEvaluation evaluation;
  evaluation.Init(1000, 1);
  evaluation.AddCandidate(&b);
  evaluation.AddCandidate(&a);
  EXPECT_EQ(evaluation.AddCandidate(nullptr), 0);
  CSearchedPartitionInfo held;
  std::vector<CSearchedPartitionInfo*> result(3, &held);
  evaluation.GetResult(result);
  ASSERT_EQ(result.size(), 4u);
  EXPECT_EQ(result[3], &a);
  // A better candidate over a's sectors takes a's place.
  c.SetSectorCount(100);
  c.SetPoints(1000);
  evaluation.AddCandidate(&c);
  result.clear();
  evaluation.GetResult(result);
  EXPECT_EQ(result, (std::vector<CSearchedPartitionInfo*>{&c, &b}));
  EXPECT_FALSE(a.GetChosen());
}

}  // namespace
