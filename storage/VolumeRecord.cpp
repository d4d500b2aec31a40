#include "VolumeRecord.h"

#include <cstdarg>
#include <cstdio>

#include "CDiskDevice.h"

int VolumeRecord::ExtentCount() const {
  int n = 0;
  while (n < kMaxVolumeExtents && extents[n].disk) ++n;
  return n;
}

const VolumeRecord* FindVolumeByLetter(char letter, const VolumeRecordList& volumes) {
  for (const VolumeRecord& v : volumes)
    if (v.driveLetter == letter) return &v;
  return nullptr;
}

bool ExtentsOverlap(const VolumeRecord& a, const VolumeRecord& b) {
  const int na = a.ExtentCount();
  const int nb = b.ExtentCount();
  for (int i = 0; i < na; ++i) {
    const VolumeMemberExtent& x = a.extents[i];
    for (int j = 0; j < nb; ++j) {
      const VolumeMemberExtent& y = b.extents[j];
      if (x.disk->GetDiskNumber() != y.disk->GetDiskNumber()) continue;
      // [start, start + count) intersect, without overflowing the ends.
      if (x.sectorCount == 0 || y.sectorCount == 0) continue;
      if (x.startSector < y.startSector ? y.startSector - x.startSector < x.sectorCount
                                        : x.startSector - y.startSector < y.sectorCount)
        return true;
    }
  }
  return false;
}

bool IsVolumeOfLetter(const VolumeRecord& record, char letter, const VolumeRecordList& volumes) {
  if (record.reserved != 0) return false;
  if (record.driveLetter == letter) return true;
  if (record.driveLetter != 0) return false;
  const VolumeRecord* lettered = FindVolumeByLetter(letter, volumes);
  return lettered && ExtentsOverlap(record, *lettered);
}

namespace {

int FormatBounded(char* out, size_t size, const char* format, va_list args) {
  if (!out || size == 0) return -1;
  const int n = vsnprintf(out, size, format, args);
  if (n < 0) {
    out[0] = 0;
    return -1;
  }
  return size_t(n) < size ? n : -1;
}

}  // namespace

int FormatString256(char* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = FormatBounded(out, 256, format, args);
  va_end(args);
  return n;
}

int FormatMaxPath(char* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = FormatBounded(out, 260, format, args);
  va_end(args);
  return n;
}

void GetVolumeGuidPath(const uint8_t guid[16], char* out) {
  if (!out) return;
  const uint8_t* g = guid;
  snprintf(out, 260,
           "\\\\?\\Volume{%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x}\\", g[0], g[1],
           g[2], g[3], g[4], g[5], g[6], g[7], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
}

char GetDriveLetterOfVolumeGuid(const uint8_t*) { return 0; }

char GetDriveLetterOfDmVolume(const char*, const char*) { return 0; }
