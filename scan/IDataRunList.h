// The runs of a found file's contents while an engine builds them: an
// ordered list of {start, length} (start kSparseStart: a hole) with a cursor.
// The unit is the engine's: clusters for FAT, exFAT, Ext2 and NTFS lists,
// 512-byte sectors for RAW lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "FileSystemTypes.h"

class IScanStream;

struct DataRun {
  static constexpr uint64_t kSparseStart = ~uint64_t(0);
  uint64_t start = 0;
  uint64_t length = 0;
  bool IsSparse() const { return static_cast<int64_t>(start) < 0; }
  bool operator==(const DataRun& o) const { return start == o.start && length == o.length; }
};

class IDataRunList {
 public:
  virtual ~IDataRunList() = default;
  virtual int IsResident() const { return 0; }
  virtual int GetResidentValue() const { return 0; }
  // u32 run count, then per run u64 start and u64 length.
  virtual bool Save(IScanStream* stream) const;
  // Appends the saved runs; on a short stream appends nothing and answers
  // false.
  virtual bool Load(IScanStream* stream);
  virtual EDataRunKind GetKind() const = 0;

  // The first run (cursor there) or null.
  const DataRun* First();
  // Advances the cursor: the run there or null at the end.
  const DataRun* Next();
  bool IsEnd() const { return m_cursor >= m_runs.size(); }
  void DeleteRuns();
  // Appends a copy, or lengthens the last run when the new one continues it
  // (and the last run is not a hole).
  void AppendMerged(const DataRun& run);

  size_t GetRunCount() const { return m_runs.size(); }
  const std::deque<DataRun>& Runs() const { return m_runs; }

 protected:
  void Append(const DataRun& run) { m_runs.push_back(run); }
  // Reads a saved list (count, runs) without appending it; false on a short
  // stream. The runs are read one by one, so a damaged count costs no more
  // than the stream holds.
  static bool LoadSavedRuns(IScanStream* stream, std::vector<DataRun>& out);
  std::deque<DataRun>& MutableRuns() { return m_runs; }

 private:
  std::deque<DataRun> m_runs;
  size_t m_cursor = 0;
};
