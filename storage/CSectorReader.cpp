#include "CSectorReader.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <vector>

#include "RunLog.h"

int CSectorReader::ReadSector(platform::IRawDisk* disk, void* buffer, uint64_t first, uint64_t count, int skip,
                              int* error) {
  int dummy = 0;
  if (!error) error = &dummy;
  *error = 0;
  const uint64_t ss = static_cast<uint64_t>(m_sectorSize);
  if (count >= (uint64_t{1} << 32) / ss) {
    LogInfo("-----------------Read sector parameter error = %" PRId64 "---------------", static_cast<int64_t>(count));
    return 0;
  }
  const size_t bytes = static_cast<size_t>(count * ss);
  if (!disk) {
    LogInfo("-----------------Read sector error in %d---------------", 51);
    if (buffer) memset(buffer, 0, bytes);
    return 0;
  }
  if (!buffer) return 0;
  const uint64_t sectors = disk->ByteSize() / ss;
  if (first > sectors || count > sectors - first) {
    LogInfo("Read of %" PRIu64 " sectors at %" PRIu64 " passes the end of %s (%" PRIu64 " sectors)", count, first,
            disk->Path().c_str(), sectors);
    *error = ERANGE;
    return 0;
  }
  if (skip && m_badSectors.Intersects(first, first + count)) {
    LogInfo("----------------Read sector error in %d---------------", 92);
    memset(buffer, 0, bytes);
    return 1;
  }
  int err = disk->ReadAt(buffer, first * ss, bytes);
  if (err == 0) return 1;
  *error = err;
  LogInfo("-----------------Read sector error in %d---------------", 124);
  LogInfo("Read of %" PRIu64 " sectors at %" PRIu64 " on %s failed: %s", count, first, disk->Path().c_str(),
          strerror(err));
  if (platform::ClassifyReadError(err) != platform::ReadErrorClass::Media) return 0;
  if (!skip) {
    LogInfo("ReadSector find bad sector , not ignored\n");
    return 0;
  }
  LogInfo("-----------------Read sector error in %d---------------", 143);
  memset(buffer, 0, bytes);
  UpdateBadSector(disk, first, 2048, 10, 50);
  return 1;
}

void CSectorReader::UpdateBadSector(platform::IRawDisk* disk, uint64_t start, uint32_t unitSectors,
                                    uint32_t minimumUnits, uint32_t probeUnits) {
  LogInfo("UpdateBadSector start = %" PRId64 "\n", static_cast<int64_t>(start));
  if (!disk) return;
  if (unitSectors == 0) unitSectors = 1;
  BadSectorRange range{start, start + uint64_t{unitSectors} * minimumUnits};
  const uint64_t ss = static_cast<uint64_t>(m_sectorSize);
  std::vector<uint8_t> unit(static_cast<size_t>(unitSectors * ss));
  bool probed = false;
  uint32_t n = probeUnits;
  while (n > minimumUnits) {
    LogInfo("UpdateBadSector nBadSectorUnitCount = %d\n", static_cast<int>(n));
    const uint64_t at = start + uint64_t{n} * unitSectors;
    if (disk->ReadAt(unit.data(), at * ss, unit.size()) != 0) {
      range.endSector = at;
      probed = true;
      break;
    }
    n /= 2;
    if (n < minimumUnits) {
      range.endSector = start + uint64_t{minimumUnits} * unitSectors;
      probed = true;
      break;
    }
  }
  if (probed)
    LogInfo("UpdateBadSector find bad sector i64StartOffset = %" PRId64 ", i64EndOffset = %" PRId64 "\n",
            static_cast<int64_t>(range.startSector), static_cast<int64_t>(range.endSector));
  m_badSectors.AddRange(range);
}
