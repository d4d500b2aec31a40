// Base of the data-run lists: owned runs in order with a read cursor.
// Stand-in until the scan framework's file model joins the build.
#pragma once

#include <cstddef>
#include <deque>

#include "DataRun.h"
#include "FileSystemTypes.h"

class IDataRunList {
 public:
  virtual ~IDataRunList() = default;
  // The first run (cursor to it) or null for an empty list.
  const DataRun* First();
  // The run after the cursor, or null at the end.
  const DataRun* Next();
  bool IsEnd() const { return m_cursor >= m_runs.size(); }
  // Appends the run, or lengthens the last run when this one continues it.
  void AppendMerged(const DataRun& run);
  virtual EDataRunKind GetKind() const = 0;

  size_t GetCount() const { return m_runs.size(); }
  const std::deque<DataRun>& Runs() const { return m_runs; }

 protected:
  std::deque<DataRun> m_runs;
  size_t m_cursor = 0;
};
