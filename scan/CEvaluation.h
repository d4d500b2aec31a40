// The partition evaluation of the directory-tree builder. A complete search
// finds many candidate partitions, most of them echoes of one another (a boot
// sector and its backup, old and new copies of a file system, partitions
// nested in each other). CEvaluation scores every candidate from the evidence
// its engine gathered and chooses a small set that does not overlap on the
// device, preferring the best scores, plus a near tie and a candidate that
// covers about the whole device.
//
// Candidates are borrowed; the evaluation writes their score, chosen flag and
// proximity mark, and reorders its own list (by descending score).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class CSearchedPartitionInfo;

class CEvaluation {
 public:
  // At most this many partitions are built when many choices are allowed.
  static constexpr size_t kManyChoices = 4;
  // A candidate whose size lies within this many bytes of the device's is
  // taken for one that covers the whole device.
  static constexpr uint64_t kProximityBytes = 16ull * 1024 * 1024;
  // Two scores at most this far apart are a near tie.
  static constexpr double kNearTie = 0.1;
  // The name under which chosen partitions beyond the maximum are noted.
  static constexpr const char* kPartitionCapName = "partitions";

  // Told what a cap dropped: its name and how many.
  using CapNote = std::function<void(const char* name, uint64_t dropped)>;

  // The device's size in sectors of `bytesPerSector` bytes (0 counts as 512);
  // the candidates' start sectors and sector counts are in the same sectors.
  void Init(uint64_t deviceSectors, int manyChoices, uint32_t bytesPerSector = 512);
  void SetCapNote(CapNote note) { m_capNote = std::move(note); }
  // Appends (a null candidate is refused with 0); the next result evaluates
  // again.
  int AddCandidate(CSearchedPartitionInfo* candidate);
  // Appends the chosen candidates in ranking order, at most GetMaxChoices()
  // counting what `chosen` already holds; evaluates first when needed. The
  // chosen candidates that do not fit are noted through the cap note.
  void GetResult(std::vector<CSearchedPartitionInfo*>& chosen);
  // kManyChoices with many choices; else 2 when a candidate other than the
  // first carries the proximity mark, else 1.
  size_t GetMaxChoices() const;
  // Scores, sorts, chooses.
  void Evaluate();

  // The candidates, in ranking order once evaluated.
  const std::vector<CSearchedPartitionInfo*>& GetCandidates() const { return m_candidates; }

  // points + kRecordMatchWeight x record matches + RAW matches, saturated.
  static uint64_t RawScoreOf(const CSearchedPartitionInfo& candidate);
  // ln(1 + raw) / ln(1 + highest): 0 to 1, rising with the raw score, the
  // best candidate 1; 0 when every raw score is 0.
  static double ScoreOf(uint64_t raw, uint64_t highest);

 private:
  void ScoreCandidates();
  void ChooseCandidates();
  void MarkProximity();
  bool IsNearDeviceSize(uint64_t sectorCount) const;

  std::vector<CSearchedPartitionInfo*> m_candidates;
  uint64_t m_deviceSectors = 0;
  uint32_t m_bytesPerSector = 512;
  bool m_evaluated = false;
  bool m_manyChoices = false;
  CapNote m_capNote;
};
