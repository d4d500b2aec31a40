#include "CFATFileProperties.h"

#include "CFATDataRunList.h"

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// Days from 1601-01-01 to the given date.
int64_t DaysSince1601(int year, int month, int day) {
  static const int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const int64_t y = year - 1601;
  int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
  days += kBefore[month - 1];
  if (month > 2 && IsLeap(year)) ++days;
  return days + day - 1;
}

}  // namespace

bool DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t& fileTime) {
  static const int kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int day = dosDate & 0x1F;
  const int month = (dosDate >> 5) & 0x0F;
  const int year = 1980 + (dosDate >> 9);
  const int seconds = (dosTime & 0x1F) * 2;
  const int minutes = (dosTime >> 5) & 0x3F;
  const int hours = dosTime >> 11;
  if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1]) return false;
  if (month == 2 && day == 29 && !IsLeap(year)) return false;
  if (hours > 23 || minutes > 59 || seconds > 59) return false;
  const int64_t secs = DaysSince1601(year, month, day) * 86400 + hours * 3600 + minutes * 60 + seconds;
  fileTime = static_cast<uint64_t>(secs) * 10000000ull;
  return true;
}

CFATFileProperties* CreateFATFileProperties() { return new CFATFileProperties(); }

void CFATFileProperties::SetCreationTime(uint16_t dosDate, uint16_t dosTime) {
  if (!DosDateTimeToFileTime(dosDate, dosTime, m_creation)) m_creation = 0;
}

void CFATFileProperties::SetModificationTime(uint16_t dosDate, uint16_t dosTime) {
  if (!DosDateTimeToFileTime(dosDate, dosTime, m_modification)) m_modification = 0;
}

void CFATFileProperties::SetAccessDate(uint16_t dosDate) {
  if (!DosDateTimeToFileTime(dosDate, 0, m_access)) m_access = 0;
}

void CFATFileProperties::SetDataRunList(IDataRunList* list) {
  m_runs.clear();
  m_hasRuns = list != nullptr;
  if (list != nullptr) {
    m_runs.assign(list->Runs().begin(), list->Runs().end());
    delete list;
  }
}

IDataRunList* CFATFileProperties::GetDataRunList() const {
  if (!m_hasRuns) return nullptr;
  auto* list = new CFATDataRunList();
  for (const DataRun& r : m_runs) list->AppendMerged(r);
  return list;
}
