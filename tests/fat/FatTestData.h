// Synthetic FAT boot sectors and directory entries for the unit tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fattest {

inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

// A FAT16 boot sector: 4 sectors per cluster, 512 root entries, 2 FATs of
// `fatSize` sectors, `total` sectors.
inline std::vector<uint8_t> Fat16Boot(uint32_t bytesPerSector = 512, uint32_t total = 40000, uint32_t fatSize = 40) {
  std::vector<uint8_t> s(512, 0);
  s[0] = 0xEB;
  Put16(&s[11], bytesPerSector);
  s[13] = 4;
  Put16(&s[14], 4);
  s[16] = 2;
  Put16(&s[17], 512);
  if (total < 65536)
    Put16(&s[19], total);
  else
    Put32(&s[32], total);
  Put16(&s[22], fatSize);
  std::memcpy(&s[54], "FAT16   ", 8);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

// A FAT32 boot sector: 1 sector per cluster, 32 reserved, 2 FATs.
inline std::vector<uint8_t> Fat32Boot(uint32_t bytesPerSector = 512, uint32_t total = 70000, uint32_t fatSize = 600,
                                      uint32_t root = 2) {
  std::vector<uint8_t> s(512, 0);
  s[0] = 0xEB;
  Put16(&s[11], bytesPerSector);
  s[13] = 1;
  Put16(&s[14], 32);
  s[16] = 2;
  Put32(&s[32], total);
  Put32(&s[36], fatSize);
  Put32(&s[44], root);
  std::memcpy(&s[82], "FAT32   ", 8);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

// A short directory entry.
inline std::vector<uint8_t> ShortEntry(const char* name11, uint8_t attr, uint32_t cluster = 0, uint32_t size = 0) {
  std::vector<uint8_t> e(32, 0);
  std::memcpy(e.data(), name11, 11);
  e[11] = attr;
  Put16(&e[20], cluster >> 16);
  Put16(&e[26], cluster & 0xFFFF);
  Put32(&e[28], size);
  return e;
}

inline uint8_t Checksum(const uint8_t* name11) {
  uint8_t sum = 0;
  for (int i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
  return sum;
}

// A long-name entry holding up to 13 characters of `part` (ASCII).
inline std::vector<uint8_t> LongEntry(uint8_t order, const std::string& part, uint8_t checksum) {
  std::vector<uint8_t> e(32, 0);
  e[0] = order;
  e[11] = 0x0F;
  e[13] = checksum;
  static const int kOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (int i = 0; i < 13; ++i) {
    uint16_t c = 0xFFFF;
    if (i < static_cast<int>(part.size())) c = static_cast<uint8_t>(part[i]);
    else if (i == static_cast<int>(part.size())) c = 0;
    Put16(&e[kOffsets[i]], c);
  }
  return e;
}

inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

// What tests/fixtures/fat_fill.sh writes and the rebuild shows otherwise:
// the recycled data file takes the name its information file records.
inline const char kRecycledPath[] = "$RECYCLE.BIN/S-1-5-21-1-2-3-1001/$RAB12CD.txt";
inline const char kRestoredPath[] = "$RECYCLE.BIN/S-1-5-21-1-2-3-1001/report.txt";

// The name fls gives, and ours: a deleted name with only its 8.3 form lost
// its first character ("_" in fls, "#" here), so both are compared from
// their second.
inline std::string ComparableName(const std::string& path, bool deleted) {
  if (!deleted) return path;
  const size_t slash = path.rfind('/');
  const size_t at = slash == std::string::npos ? 0 : slash + 1;
  std::string p = path;
  if (p.size() > at && (p[at] == '_' || p[at] == '#')) p.erase(at, 1);
  return p;
}

}  // namespace fattest
