#include "IDataRunList.h"

#include <vector>

#include "MappingPairs.h"
#include "ScanStreamIO.h"

namespace {

bool SaveRuns(IScanStream* s, const std::deque<DataRun>& runs) {
  if (runs.size() > UINT32_MAX || !StreamWriteU32(s, static_cast<uint32_t>(runs.size()))) return false;
  for (const DataRun& r : runs)
    if (!StreamWriteU64(s, r.start) || !StreamWriteU64(s, r.length)) return false;
  return true;
}

// Reads the whole saved list before anything is appended; the runs are read
// one by one, so a damaged count costs no more than the stream holds.
bool LoadRuns(IScanStream* s, std::vector<DataRun>& out) {
  uint32_t count = 0;
  if (!StreamReadU32(s, count)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    DataRun r;
    if (!StreamReadU64(s, r.start) || !StreamReadU64(s, r.length)) return false;
    out.push_back(r);
  }
  return true;
}

}  // namespace

bool IDataRunList::Save(IScanStream* stream) const { return SaveRuns(stream, m_runs); }

bool IDataRunList::Load(IScanStream* stream) {
  std::vector<DataRun> loaded;
  if (!LoadRuns(stream, loaded)) return false;
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

void CExt2DataRunList::AddExtent(const DataRun& run) {
  std::deque<DataRun>& runs = MutableRuns();
  if (!runs.empty()) {
    DataRun& last = runs.back();
    if (last.start + last.length == run.start || (last.start == 0 && run.start == 0)) {
      last.length += run.length;
      return;
    }
  }
  runs.push_back(run);
}

int CNoneResidentNTFSDataRunList::ParseMappingPairs(const uint8_t* bytes, int length) {
  mapping_pairs::Walk(bytes, length, [this](const mapping_pairs::Entry& e) {
    AddRun({e.sparse ? DataRun::kSparseStart : e.lcn, e.length});
  });
  return 1;
}

bool CResidentNTFSDataRunList::Save(IScanStream* stream) const {
  return IDataRunList::Save(stream) && StreamWriteU32(stream, static_cast<uint32_t>(m_residentValue));
}

bool CResidentNTFSDataRunList::Load(IScanStream* stream) {
  std::vector<DataRun> loaded;
  uint32_t value = 0;
  if (!LoadRuns(stream, loaded) || !StreamReadU32(stream, value)) return false;
  for (const DataRun& r : loaded) Append(r);
  m_residentValue = static_cast<int>(value);
  return true;
}

void CResidentNTFSDataRunList::SetRun(uint64_t start, uint64_t length, int value) {
  Append({start, length});
  m_residentValue = value;
}
