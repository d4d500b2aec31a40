#include "DiskStyleProbe.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "IStorageDevice.h"

namespace {

constexpr int kMaxChainSteps = 256;  // extended partitions in one chain

// Whether the UTF-16LE name at `p` (36 units at most) starts with `prefix`.
bool NameStartsWith(const uint8_t* p, const char* prefix) {
  size_t n = strlen(prefix);
  for (size_t i = 0; i < n && i < 36; ++i) {
    char16_t unit = static_cast<char16_t>(ReadLE16(p + 2 * i));
    if (unit != static_cast<unsigned char>(prefix[i])) return false;
  }
  return true;
}

}  // namespace

uint8_t ProbeDiskStyle(IStorageDevice* device, uint64_t sectorCount, int sectorSize) {
  if (!device || sectorSize < 512) return 0;
  if (sectorCount <= 6) return 0;
  std::vector<uint8_t> sector(static_cast<size_t>(sectorSize));
  uint8_t result = 0;

  // The MBR and its extended chain; a chain pointing back stops the walk.
  uint64_t lba = 0;
  uint64_t chainBase = 0;
  bool haveBase = false;
  std::set<uint64_t> visited;
  for (int step = 0; step < kMaxChainSteps && result == 0; ++step) {
    if (lba >= sectorCount || !visited.insert(lba).second) break;
    if (!device->ReadSectors(sector.data(), lba, 1)) break;
    bool extended = false;
    uint64_t next = 0;
    for (int e = 0; e < 4; ++e) {
      const uint8_t* entry = sector.data() + 446 + 16 * e;
      uint8_t type = entry[4];
      uint32_t start = ReadLE32(entry + 8);
      if (type == 0x42) {
        result = 1;
        break;
      }
      if (type == 0x05 || type == 0x0F || type == 0x85) {
        if (!haveBase) {
          chainBase = start;
          haveBase = true;
          next = start;
        } else {
          next = chainBase + start;
        }
        extended = true;
      }
    }
    if (!extended) break;
    lba = next;
  }

  if (result == 0) {
    if (!device->ReadSectors(sector.data(), 6, 1)) return 0;
    if (device->ReadSectors(sector.data(), 0, 1) && sector[446 + 4] == 0xEE &&
        device->ReadSectors(sector.data(), 2, 1)) {
      bool metadata = false, data = false;
      for (int e = 0; e < 4; ++e) {
        const uint8_t* name = sector.data() + 128 * e + 56;
        if (NameStartsWith(name, "LDM metadata partition")) metadata = true;
        if (NameStartsWith(name, "LDM data partition")) data = true;
      }
      if (metadata && data) result = 1;
    }
  }
  return result;
}

bool IsPrivHead(const uint8_t* sector, size_t size) {
  return sector && size >= 8 && memcmp(sector, "PRIVHEAD", 8) == 0;
}

void ReverseBytes(uint8_t* bytes, size_t count) {
  if (bytes) std::reverse(bytes, bytes + count);
}

void SwapPrivHeadFields(uint8_t* sector, size_t size) {
  if (!sector || size < 363) return;
  for (size_t at : {283, 291, 299, 307, 315, 323, 339, 347}) ReverseBytes(sector + at, 8);
  for (size_t at : {331, 335, 355}) ReverseBytes(sector + at, 4);
  for (size_t at : {12, 14}) ReverseBytes(sector + at, 2);
}

bool ParsePrivHead(uint8_t* sector, size_t size) {
  if (!IsPrivHead(sector, size)) return false;
  SwapPrivHeadFields(sector, size);
  return true;
}
