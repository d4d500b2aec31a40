#include "IDataRunList.h"

#include <vector>

#include "ScanStreamIO.h"

namespace {

bool SaveRuns(IScanStream* s, const std::deque<DataRun>& runs) {
  if (runs.size() > UINT32_MAX || !StreamWriteU32(s, static_cast<uint32_t>(runs.size()))) return false;
  for (const DataRun& r : runs)
    if (!StreamWriteU64(s, r.start) || !StreamWriteU64(s, r.length)) return false;
  return true;
}

}  // namespace

bool IDataRunList::LoadSavedRuns(IScanStream* s, std::vector<DataRun>& out) {
  uint32_t count = 0;
  if (!StreamReadU32(s, count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    DataRun r;
    if (!StreamReadU64(s, r.start) || !StreamReadU64(s, r.length)) return false;
    out.push_back(r);
  }
  return true;
}

bool IDataRunList::Save(IScanStream* stream) const {
  return SaveRuns(stream, m_runs);
}

bool IDataRunList::Load(IScanStream* stream) {
  std::vector<DataRun> loaded;
  if (!LoadSavedRuns(stream, loaded)) return false;
  m_runs.insert(m_runs.end(), loaded.begin(), loaded.end());
  return true;
}

const DataRun* IDataRunList::First() {
  m_cursor = 0;
  return IsEnd() ? nullptr : &m_runs[m_cursor];
}

const DataRun* IDataRunList::Next() {
  if (m_cursor < m_runs.size()) ++m_cursor;
  return IsEnd() ? nullptr : &m_runs[m_cursor];
}

void IDataRunList::DeleteRuns() {
  m_runs.clear();
  m_cursor = 0;
}

void IDataRunList::AppendMerged(const DataRun& run) {
  if (!m_runs.empty()) {
    DataRun& last = m_runs.back();
    if (!last.IsSparse() && last.start + last.length == run.start) {
      last.length += run.length;
      return;
    }
  }
  m_runs.push_back(run);
}
