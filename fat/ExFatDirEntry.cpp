#include "ExFatDirEntry.h"

#include <array>
#include <cstring>
#include <ctime>

#include "ByteOrder.h"

namespace {

constexpr uint32_t kLastValidCluster = 0xFFFFFFF6;

constexpr std::array<uint8_t, 256> BuildNameTable() {
  std::array<uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = c > 0x19 ? 1 : 0;
  for (int c : {0x22, 0x2A, 0x2F, 0x3A, 0x3C, 0x3E, 0x3F, 0x5C, 0x7C, 0xFF}) table[c] = 0;
  return table;
}

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

bool NameCharAllowed(uint16_t c) { return c >= 256 || ExFatNameCharTable[c] == 1; }

bool ClusterAndLengthOk(const uint8_t* e, const ExFatGeometry& g) {
  const uint32_t first = ReadLE32(e + 20);
  const uint64_t length = ReadLE64(e + 24);
  if (first < 2 || first > 0xFFFFFFF5) return false;
  if (g.sectorShift >= 64 || g.clusterShift >= 64) return false;
  if ((length >> g.sectorShift) >= g.volumeLength) return false;
  return (length >> g.clusterShift) + first < kLastValidCluster;
}

}  // namespace

const std::array<uint8_t, 256> ExFatNameCharTable = BuildNameTable();

bool IsValidExFatTimestamp(uint32_t t) {
  const uint32_t seconds2 = t & 0x1F, minute = (t >> 5) & 0x3F, hour = (t >> 11) & 0x1F;
  const uint32_t day = (t >> 16) & 0x1F, month = (t >> 21) & 0x0F;
  return day != 0 && month >= 1 && month <= 12 && hour <= 23 && minute <= 59 && seconds2 < 30;
}

bool IsValidExFatFileEntry(const uint8_t* e) {
  const uint8_t secondary = e[1];
  if (secondary < 2 || secondary > 18) return false;
  for (size_t off : {8, 12, 16})
    if (!IsValidExFatTimestamp(ReadLE32(e + off))) return false;
  if (e[20] > 199 || e[21] > 199) return false;
  return ReadLE16(e + 6) == 0 && AllZero(e + 25, 7);
}

bool IsValidExFatStreamEntry(const uint8_t* e, const ExFatGeometry& g) {
  if (e[2] != 0 || ReadLE16(e + 6) != 0 || ReadLE32(e + 16) != 0) return false;
  const uint32_t first = ReadLE32(e + 20);
  if (first == 1 || first > kLastValidCluster) return false;
  if (g.sectorShift >= 64 || g.clusterShift >= 64) return false;
  const uint64_t length = ReadLE64(e + 24), valid = ReadLE64(e + 8);
  if ((length >> g.sectorShift) >= g.volumeLength || (valid >> g.sectorShift) >= g.volumeLength) return false;
  if (first != 0 && (e[1] & 2)) {
    if ((length >> g.clusterShift) + first >= kLastValidCluster) return false;
    if ((valid >> g.clusterShift) + first >= kLastValidCluster) return false;
  }
  return true;
}

bool IsValidExFatFileNameEntry(const uint8_t* e) {
  if (e[1] != 0 || ReadLE16(e + 2) == 0) return false;
  for (int i = 0; i < 15; ++i) {
    const uint16_t c = ReadLE16(e + 2 + 2 * i);
    if (c == 0) return true;
    if (!NameCharAllowed(c)) return false;
  }
  return true;
}

bool IsValidExFatVolumeLabelEntry(const uint8_t* e) {
  const uint8_t count = e[1];
  if (count > 11) return false;
  for (int i = 0; i < count; ++i)
    if (!NameCharAllowed(ReadLE16(e + 2 + 2 * i))) return false;
  return AllZero(e + 2 + 2 * count, 2 * (11 - count)) && AllZero(e + 24, 8);
}

bool IsValidExFatBitmapEntry(const uint8_t* e, const ExFatGeometry& g) {
  return ClusterAndLengthOk(e, g) && AllZero(e + 2, 18);
}

bool IsValidExFatUpcaseEntry(const uint8_t* e, const ExFatGeometry& g) {
  return ClusterAndLengthOk(e, g) && AllZero(e + 1, 3) && AllZero(e + 8, 12);
}

bool ExFatEntrySetChecksum(const uint8_t* set, size_t length, uint16_t stored) {
  if (!set || length < 32) return false;
  const bool deleted = set[0] == 0x05;
  uint16_t sum = 0, inUseSum = 0;
  for (size_t i = 0; i < length; ++i) {
    if (i == 2 || i == 3) continue;
    uint8_t b = set[i];
    sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + b);
    if (deleted && i % 32 == 0) b = i == 0 ? 0x85 : (i == 32 ? 0xC0 : 0xC1);
    inUseSum = static_cast<uint16_t>(((inUseSum & 1) ? 0x8000 : 0) + (inUseSum >> 1) + b);
  }
  return stored == sum || (deleted && stored == inUseSum);
}

bool FindExFatVolumeLabel(const uint8_t* entries, size_t byteCount, char16_t label[12], const ExFatGeometry& g,
                          ExFatWalkEnd* how) {
  ExFatWalkEnd end = ExFatWalkEnd::AllRead;
  for (size_t off = 0; off + 32 <= byteCount; off += 32) {
    const uint8_t* e = entries + off;
    bool ok = true;
    switch (e[0]) {
      case 0x83:
      case 0x03:
        ok = IsValidExFatVolumeLabelEntry(e);
        if (ok && e[0] == 0x83 && e[1] != 0 && label) {
          for (int i = 0; i < 11; ++i) label[i] = static_cast<char16_t>(ReadLE16(e + 2 + 2 * i));
          label[e[1]] = 0;
          label[11] = 0;
        }
        break;
      case 0x85:
      case 0x05: ok = IsValidExFatFileEntry(e); break;
      case 0xC0:
      case 0x40: ok = IsValidExFatStreamEntry(e, g); break;
      case 0xC1:
      case 0x41: ok = IsValidExFatFileNameEntry(e); break;
      case 0x81: ok = IsValidExFatBitmapEntry(e, g); break;
      case 0x82: ok = IsValidExFatUpcaseEntry(e, g); break;
      case 0x00: end = ExFatWalkEnd::EndOfDirectory; break;
      default: ok = false; break;
    }
    if (end == ExFatWalkEnd::EndOfDirectory || !ok) {
      if (!ok) end = ExFatWalkEnd::InvalidEntry;
      if (how) *how = end;
      return true;
    }
  }
  if (how) *how = ExFatWalkEnd::AllRead;
  return false;
}

uint64_t ExFatDosTimeToFileTime(uint32_t t) {
  if (!IsValidExFatTimestamp(t)) return 0;
  struct tm tmv = {};
  tmv.tm_year = static_cast<int>(((t >> 25) & 0x7F) + 80);
  tmv.tm_mon = static_cast<int>(((t >> 21) & 0x0F) - 1);
  tmv.tm_mday = static_cast<int>((t >> 16) & 0x1F);
  tmv.tm_hour = static_cast<int>((t >> 11) & 0x1F);
  tmv.tm_min = static_cast<int>((t >> 5) & 0x3F);
  tmv.tm_sec = static_cast<int>((t & 0x1F) * 2);
  const int64_t unixSeconds = static_cast<int64_t>(timegm(&tmv));
  return static_cast<uint64_t>(unixSeconds + 11644473600LL) * 10000000ULL;
}
