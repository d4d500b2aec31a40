// FILETIME values (100-nanosecond intervals since 1 January 1601, UTC) made
// from calendar fields and DOS dates, without time-zone adjustment.
#pragma once

#include <cstdint>

// False (and `out` unchanged) for fields that do not form a valid time.
bool CalendarToFileTime(int year, int month, int day, int hour, int minute, int second, int millisecond, uint64_t& out);
// The DOS date (bits 15-9 year since 1980, 8-5 month, 4-0 day) and time
// (15-11 hour, 10-5 minute, 4-0 seconds / 2).
bool DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t& out);
