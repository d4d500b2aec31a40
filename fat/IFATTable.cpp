#include "IFATTable.h"

#include <cinttypes>

#include "FatBytes.h"
#include "IStorageDevice.h"
#include "RunLog.h"


namespace {

constexpr uint32_t kFat32Bad = 0x0FFFFFF7u;
constexpr uint32_t kFat32Last = 0x0FFFFFF6u;
constexpr uint32_t kFat16Bad = 0xFFF7u;
constexpr uint32_t kFat16Last = 0xFFF6u;

uint32_t DeviceSectorSize(IStorageDevice* device) {
  if (device == nullptr) return 512;
  const int s = device->GetSectorSize();
  return s > 0 ? static_cast<uint32_t>(s) : 0;
}

}  // namespace

IRealFATTable::IRealFATTable(IStorageDevice* device, uint64_t fatStart, uint32_t fatSize, uint32_t entrySize,
                             uint64_t clusterCount)
    : m_device(device),
      m_fatStart(fatStart),
      m_fatSize(fatSize),
      m_entryCount(0),
      m_sectorSize(DeviceSectorSize(device)),
      m_clusterCount(clusterCount) {
  const uint64_t count = static_cast<uint64_t>(fatSize) * m_sectorSize / entrySize;
  m_entryCount = count > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(count);
}

void IRealFATTable::Load(uint32_t minSectors, uint32_t maxSectors) {
  if (m_device == nullptr || !fatbytes::IsSupportedSectorSize(m_sectorSize)) return;
  if (m_fatSize < minSectors || m_fatSize > maxSectors || m_fatSize == 0) return;
  const uint64_t deviceSectors = m_device->GetSectorCount();
  if (deviceSectors != 0 && (m_fatStart >= deviceSectors || m_fatSize > deviceSectors - m_fatStart)) {
    DebugTrace("FAT at %" PRIu64 " (%u sectors) lies past the device end", m_fatStart, m_fatSize);
    return;
  }
  m_bytes.assign(static_cast<size_t>(m_fatSize) * m_sectorSize, 0);
  if (!m_device->ReadSectors(m_bytes.data(), m_fatStart, m_fatSize)) {
    // Bytes of a failed read are not judged: the copy stays unloaded.
    ReleaseTrace("FAT read failed at sector %" PRIu64, m_fatStart);
    m_bytes.clear();
    m_bytes.shrink_to_fit();
  }
}

void IRealFATTable::LoadScaled(uint32_t min512, uint32_t max512) {
  const uint32_t k = m_sectorSize / 512;
  if (k != 0) Load(min512 / k, max512 / k);
}

uint32_t IRealFATTable::CheckedLimit() const {
  if (m_clusterCount != 0 && m_clusterCount + 2 < m_entryCount) return static_cast<uint32_t>(m_clusterCount + 2);
  return m_entryCount;
}

bool IRealFATTable::ValidateChains(uint32_t badMarker, uint32_t lastData) {
  const uint32_t limit = CheckedLimit();
  for (uint32_t i = 2; i < limit; ++i) {
    const uint32_t e = RawEntry(i);
    if ((e >= limit && e < badMarker) || e == 1 || e == i) return false;
  }
  // Every cluster is walked once: a walk stops at the first cluster an
  // earlier walk reached. A cluster reached twice (two chains joining, or a
  // loop back into the chain) fails; so does a loop back to the head.
  std::vector<bool> reached(limit, false);  // has a predecessor
  std::vector<bool> seen(limit, false);
  for (uint32_t head = 2; head < limit; ++head) {
    if (seen[head]) continue;
    seen[head] = true;
    uint32_t cur = head;
    for (;;) {
      const uint32_t next = RawEntry(cur);
      if (next < 2 || next > lastData) break;
      if (next == head) return false;         // loop
      if (reached[next]) return false;        // joined chains or loop
      reached[next] = true;
      if (seen[next]) break;                  // rest validated by an earlier walk
      seen[next] = true;
      cur = next;
    }
  }
  return true;
}

// ---- FAT32 ----

CFAT32Table::CFAT32Table(IStorageDevice* device, uint64_t fatStart, uint32_t fatSize, uint64_t clusterCount)
    : IRealFATTable(device, fatStart, fatSize, 4, clusterCount) {
  LoadScaled(256, 128000);
}

uint32_t CFAT32Table::RawEntry(uint32_t index) const { return ReadLE32(m_bytes.data() + static_cast<size_t>(index) * 4); }

uint32_t CFAT32Table::GetEntry(uint32_t index) {
  if (!IsLoaded() || index >= m_entryCount) return 0;
  return RawEntry(index);
}

bool CFAT32Table::Validate() {
  if (!IsLoaded() || m_entryCount < 2) return false;
  if ((RawEntry(0) & 0x0FFFFFFFu) != 0x0FFFFFF8u || (RawEntry(1) & 0x0FFFFFF8u) != 0x0FFFFFF8u) return false;
  return ValidateChains(kFat32Bad, kFat32Last);
}

// ---- FAT16 ----

CFAT16Table::CFAT16Table(IStorageDevice* device, uint64_t fatStart, uint32_t fatSize, uint64_t clusterCount)
    : IRealFATTable(device, fatStart, fatSize, 2, clusterCount) {
  LoadScaled(12, 256);
}

uint32_t CFAT16Table::RawEntry(uint32_t index) const { return ReadLE16(m_bytes.data() + static_cast<size_t>(index) * 2); }

uint32_t CFAT16Table::GetEntry(uint32_t index) {
  if (!IsLoaded() || index >= m_entryCount) return 0;
  const uint32_t v = RawEntry(index);
  if (v == kFat16Bad) return kFat32Bad;
  if (v < 0xFFF8u) return v;
  return 0x0FFFFFF8u;
}

bool CFAT16Table::Validate() {
  if (!IsLoaded() || m_entryCount < 2) return false;
  if (!fatbytes::IsCleanFAT16Head(ReadLE32(m_bytes.data()))) return false;
  return ValidateChains(kFat16Bad, kFat16Last);
}

// ---- FAT12 ----

CFAT12Table::CFAT12Table(IStorageDevice* device, uint64_t fatStart, uint32_t fatSize, uint64_t clusterCount)
    : IRealFATTable(device, fatStart, fatSize, 4, clusterCount) {
  Load(1, 12);
}

uint32_t CFAT12Table::RawEntry(uint32_t index) const {
  const size_t off = static_cast<size_t>(index) * 3 / 2;
  const uint32_t word = ReadLE16(m_bytes.data() + off);
  return (index & 1) ? (word >> 4) : (word & 0x0FFF);
}

uint32_t CFAT12Table::GetEntry(uint32_t index) {
  if (!IsLoaded()) return 0;
  const size_t off = static_cast<size_t>(index) * 3 / 2;
  if (off + 2 > m_bytes.size()) return 0;
  const uint32_t v = RawEntry(index);
  if (v == 0xFFFu) return 0xFFFFFFFFu;
  if (v < 0xFF8u) return v;
  return 0x0FFFFFF8u;
}

bool CFAT12Table::Validate() {
  if (m_bytes.size() < 3) return false;
  return (m_bytes[0] & 0xF0) == 0xF0 && m_bytes[1] == 0xFF && m_bytes[2] == 0xFF;
}

// ---- double table ----

CDoubleFATTable::~CDoubleFATTable() {
  delete m_primary;
  delete m_secondary;
}

uint32_t CDoubleFATTable::GetEntry(uint32_t cluster) {
  if (m_primary) return m_primary->GetEntry(cluster);
  if (m_secondary) return m_secondary->GetEntry(cluster);
  return 0;
}

IRealFATTable* CreateRealFATTable(IStorageDevice* device, int type, uint64_t fatStart, uint32_t fatSize,
                                  uint64_t clusterCount) {
  IRealFATTable* table = nullptr;
  if (type == 0)
    table = new CFAT12Table(device, fatStart, fatSize, clusterCount);
  else if (type == 1)
    table = new CFAT16Table(device, fatStart, fatSize, clusterCount);
  else if (type == 2)
    table = new CFAT32Table(device, fatStart, fatSize, clusterCount);
  else
    return nullptr;
  if (!table->Validate()) {
    DebugTrace("FAT copy at %" PRIu64 " (type %d, %u sectors) rejected", fatStart, type, fatSize);
    delete table;
    return nullptr;
  }
  return table;
}

CDoubleFATTable* CreateFATTable(IStorageDevice* device, uint64_t fatStart, int type, uint32_t fatSize, int primary,
                                int secondary, uint64_t clusterCount) {
  IRealFATTable* first = nullptr;
  IRealFATTable* second = nullptr;
  if (primary || !secondary) first = CreateRealFATTable(device, type, fatStart, fatSize, clusterCount);
  if (secondary && first == nullptr)
    second = CreateRealFATTable(device, type, fatStart + fatSize, fatSize, clusterCount);
  return new CDoubleFATTable(first, second);
}

void DeleteFATTable(IFATTable* table) { delete table; }
