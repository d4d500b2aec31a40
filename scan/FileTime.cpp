#include "FileTime.h"

namespace {

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days from 1601-01-01 to the given date (proleptic Gregorian).
int64_t DaysSince1601(int y, int m, int d) {
  const int64_t years = y - 1601;
  int64_t days = years * 365 + years / 4 - years / 100 + years / 400;
  for (int i = 1; i < m; ++i) days += DaysInMonth(y, i);
  return days + d - 1;
}

}  // namespace

bool CalendarToFileTime(int year, int month, int day, int hour, int minute, int second, int millisecond,
                        uint64_t& out) {
  if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 || millisecond > 999)
    return false;
  const int64_t seconds = DaysSince1601(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  out = static_cast<uint64_t>(seconds) * 10000000u + static_cast<uint64_t>(millisecond) * 10000u;
  return true;
}

bool DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t& out) {
  return CalendarToFileTime(1980 + (dosDate >> 9), (dosDate >> 5) & 0x0F, dosDate & 0x1F, dosTime >> 11,
                            (dosTime >> 5) & 0x3F, (dosTime & 0x1F) * 2, 0, out);
}
