#include "TextEndMarker.h"

#include <algorithm>
#include <cstring>

#include "CRawFileInfo.h"
#include "CScanOptions.h"
#include "CSectorWindowReader.h"
#include "IStorageDevice.h"

const uint8_t* FindBytes(const uint8_t* buffer, size_t bufferLength, const uint8_t* pattern, size_t patternLength) {
  if (!buffer || !pattern || patternLength == 0 || bufferLength < patternLength) return nullptr;
  const uint8_t* p = buffer;
  const uint8_t* last = buffer + (bufferLength - patternLength);
  while (p <= last) {
    p = static_cast<const uint8_t*>(memchr(p, pattern[0], static_cast<size_t>(last - p) + 1));
    if (!p) return nullptr;
    if (memcmp(p, pattern, patternLength) == 0) return p;
    ++p;
  }
  return nullptr;
}

namespace {

// The forms of the marker one search looks for, each with its length.
struct MarkerForms {
  uint8_t bytes[2][64];
  size_t length = 0;
  int count = 0;
};

MarkerForms MakeForms(const TextEndMarker& m, int exact) {
  MarkerForms f;
  size_t n = static_cast<size_t>(std::clamp(m.markerLength, 0, 64));
  if (exact) {
    memcpy(f.bytes[0], m.marker, n);
    f.count = 1;
  } else {
    // The marker as a text: up to its first zero byte.
    n = std::find(m.marker, m.marker + n, 0) - m.marker;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t c = m.marker[i];
      f.bytes[0][i] = c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c - 'A' + 'a') : c;
      f.bytes[1][i] = c >= 'a' && c <= 'z' ? static_cast<uint8_t>(c - 'a' + 'A') : c;
    }
    f.count = 2;
  }
  f.length = n;
  return f;
}

// Where in `p` (length bytes) the first form that occurs starts, or null.
const uint8_t* FindAnyForm(const MarkerForms& f, const uint8_t* p, size_t length) {
  for (int i = 0; i < f.count; ++i)
    if (const uint8_t* q = FindBytes(p, length, f.bytes[i], f.length)) return q;
  return nullptr;
}

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

int FindTextEndMarker(CRawFileInfo* info, IStorageDevice* device, const TextEndMarker& endMarker, int exact) {
  if (!info) return 1;
  CSectorWindowReader reader(device, info->GetStartSector());
  const uint64_t s = reader.GetSectorSize();
  const uint64_t limit = endMarker.sizeLimit ? endMarker.sizeLimit : GetScanOptions()->raw.maxCarvedSize;
  const MarkerForms forms = MakeForms(endMarker, exact);
  uint64_t pos = 0;  // always a multiple of s
  while (pos <= limit) {
    size_t available = 0;
    const uint8_t* p = reader.GetData(pos, available);
    if (!p || available < s) break;
    // Only a sector that ends in zero bytes can hold the end of the text.
    if (p[s - 2] || p[s - 1]) {
      pos += s;
      continue;
    }
    if (const uint8_t* q = FindAnyForm(forms, p, static_cast<size_t>(s))) {
      pos += static_cast<uint64_t>(q - p) + forms.length;
      break;
    }
    // Look again together with the sector before, for a marker that
    // begins there.
    const bool lastSector = exact && AllZero(p + s - 8, 8);
    const bool stepBack = pos > 0;
    if (stepBack) {
      pos -= s;
      p = reader.GetData(pos, available);
      if (!p) break;
    }
    // The last sector of an exact search is searched with the one after it
    // even when there is none before it.
    const uint64_t wanted = stepBack || lastSector ? 2 * s : s;
    const size_t span = static_cast<size_t>(std::min<uint64_t>(wanted, available));
    if (const uint8_t* q = FindAnyForm(forms, p, span)) {
      pos += static_cast<uint64_t>(q - p) + forms.length;
      break;
    }
    // A sector ending in eight zero bytes ends an exact search.
    if (lastSector) break;
    pos += stepBack ? 2 * s : s;
  }
  // Never beyond the device's end counted from the file's start.
  if (device) {
    const uint64_t total = device->GetSectorCount();
    const uint64_t start = info->GetStartSector();
    if (total) pos = std::min(pos, start < total ? (total - start) * s : 0);
  }
  info->SetFileSize(pos);
  return 1;
}
