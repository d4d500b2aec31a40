#include "IDataRunList.h"

const DataRun* IDataRunList::First() {
  m_cursor = 0;
  return m_runs.empty() ? nullptr : &m_runs.front();
}

const DataRun* IDataRunList::Next() {
  if (m_cursor < m_runs.size()) ++m_cursor;
  return m_cursor < m_runs.size() ? &m_runs[m_cursor] : nullptr;
}

void IDataRunList::AppendMerged(const DataRun& run) {
  if (!m_runs.empty()) {
    DataRun& last = m_runs.back();
    if (last.start != DataRun::kSparse && run.start != DataRun::kSparse && last.start + last.length == run.start) {
      last.length += run.length;
      return;
    }
    if (last.start == DataRun::kSparse && run.start == DataRun::kSparse) {
      last.length += run.length;
      return;
    }
  }
  m_runs.push_back(run);
}
