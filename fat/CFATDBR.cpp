#include "CFATDBR.h"

#include <cctype>
#include <cstring>

#include "FatBytes.h"


namespace {

bool TypeTextEquals(const uint8_t* p, const char* text) {
  for (int i = 0; i < 8; ++i) {
    if (std::toupper(p[i]) != std::toupper(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

bool IsClusterSize(uint32_t spc) { return spc >= 1 && spc <= 128 && fatbytes::IsPowerOfTwo(spc); }

}  // namespace

CFATDBR::CFATDBR(const uint8_t* sector, int sectorSize)
    : m_sector(sector), m_type(kTypeUnknown), m_sectorSize(sectorSize > 0 ? static_cast<unsigned>(sectorSize) : 0) {
  DetectType();
}

void CFATDBR::DetectType() {
  if (IsFAT16())
    m_type = kTypeFAT16;
  else if (IsFAT32())
    m_type = kTypeFAT32;
  else
    m_type = kTypeUnknown;
}

void CFATDBR::AcceptFAT12() {
  if (m_type == kTypeUnknown && IsFAT12()) m_type = kTypeFAT12;
}

bool CFATDBR::HasBootSignature(const uint8_t* sector) {
  return sector != nullptr && sector[0] != 0 && sector[510] == 0x55 && sector[511] == 0xAA;
}

uint32_t CFATDBR::GetBytesPerSector() const { return m_sector ? ReadLE16(m_sector + 11) : 0; }

bool CFATDBR::HasCommonFields() const {
  if (m_sector == nullptr) return false;
  // The view divides by the device sector size and compares the boot
  // sector's own size with it; both must be a size FAT allows.
  if (!fatbytes::IsSupportedSectorSize(m_sectorSize)) return false;
  if (m_sector[510] != 0x55 || m_sector[511] != 0xAA) return false;
  if (m_sector[16] != 2) return false;
  if (!IsClusterSize(m_sector[13])) return false;
  return ReadLE16(m_sector + 11) == m_sectorSize;
}

uint64_t CFATDBR::RawTotalSectors(int type) const {
  uint16_t small = ReadLE16(m_sector + 19);
  if (type == kTypeFAT12) return small;
  if (type == kTypeFAT16) return small != 0 ? small : ReadLE32(m_sector + 32);
  if (type == kTypeFAT32) return ReadLE32(m_sector + 32);
  return 0;
}

uint32_t CFATDBR::RawFATSize(int type) const {
  if (type == kTypeFAT32) return ReadLE32(m_sector + 36);
  if (type == kTypeFAT12 || type == kTypeFAT16) return ReadLE16(m_sector + 22);
  return 0;
}

bool CFATDBR::HasSaneLayout(int type) const {
  const uint64_t reserved = ReadLE16(m_sector + 14);
  if (reserved == 0) return false;  // the boot sector itself is reserved
  const uint64_t spc = m_sector[13];
  const uint64_t fats = m_sector[16];
  const uint64_t fatSize = RawFATSize(type);
  const uint64_t total = RawTotalSectors(type);
  uint64_t rootSectors = 0;
  if (type != kTypeFAT32) rootSectors = static_cast<uint64_t>(ReadLE16(m_sector + 17)) * 32 / m_sectorSize;
  const uint64_t dataStart = reserved + fats * fatSize + rootSectors;
  if (total <= dataStart) return false;
  const uint64_t clusters = (total - dataStart) / spc;
  if (clusters == 0) return false;
  // Every cluster needs its FAT entry (plus the two reserved ones).
  const uint64_t entryBits = type == kTypeFAT32 ? 32 : (type == kTypeFAT16 ? 16 : 12);
  const uint64_t fatEntries = fatSize * m_sectorSize * 8 / entryBits;
  if (clusters + 2 > fatEntries) return false;
  if (type == kTypeFAT32) {
    const uint64_t root = ReadLE32(m_sector + 44);
    if (!IsValidFAT32Cluster(root) || root >= clusters + 2) return false;
  }
  return true;
}

bool CFATDBR::IsFAT12() const {
  if (!HasCommonFields() || !TypeTextEquals(m_sector + 54, "FAT12   ")) return false;
  const uint32_t entries = ReadLE16(m_sector + 17);
  if (entries < 224 || entries > 2048 || (entries * 32) % m_sectorSize != 0) return false;
  const uint32_t fatSize = ReadLE16(m_sector + 22);
  if (fatSize < 1 || fatSize > 200) return false;
  return HasSaneLayout(kTypeFAT12);
}

bool CFATDBR::IsFAT16() const {
  if (!HasCommonFields() || !TypeTextEquals(m_sector + 54, "FAT16   ")) return false;
  const uint32_t entries = ReadLE16(m_sector + 17);
  if (entries < 224 || (entries * 32) % m_sectorSize != 0) return false;
  if (ReadLE16(m_sector + 22) == 0) return false;
  return HasSaneLayout(kTypeFAT16);
}

bool CFATDBR::IsFAT32() const {
  if (!HasCommonFields() || !TypeTextEquals(m_sector + 82, "FAT32   ")) return false;
  if (ReadLE32(m_sector + 36) == 0) return false;
  return HasSaneLayout(kTypeFAT32);
}

uint32_t CFATDBR::GetSectorsPerCluster() const { return m_type <= kTypeFAT32 ? m_sector[13] : 0; }
uint32_t CFATDBR::GetReservedSectors() const { return m_type <= kTypeFAT32 ? ReadLE16(m_sector + 14) : 0; }
uint32_t CFATDBR::GetReservedSectorCount() const { return m_sector ? ReadLE16(m_sector + 14) : 0; }
uint32_t CFATDBR::GetFATCount() const { return m_type <= kTypeFAT32 ? m_sector[16] : 0; }
uint32_t CFATDBR::GetFATSize() const { return m_type <= kTypeFAT32 ? RawFATSize(m_type) : 0; }
uint64_t CFATDBR::GetTotalSectors() const { return m_type <= kTypeFAT32 ? RawTotalSectors(m_type) : 0; }
uint32_t CFATDBR::GetRootCluster() const { return m_type == kTypeFAT32 ? ReadLE32(m_sector + 44) : 0; }
uint32_t CFATDBR::GetRootEntryCount() const { return m_sector ? ReadLE16(m_sector + 17) : 0; }

uint64_t CFATDBR::GetRootDirSectors() const {
  if (m_type != kTypeFAT12 && m_type != kTypeFAT16) return 0;
  return static_cast<uint64_t>(GetRootEntryCount()) * 32 / m_sectorSize;
}

uint64_t CFATDBR::GetRootDirStart() const {
  if (m_type == kTypeFAT32) return ClusterToSector(GetRootCluster());
  if (m_type != kTypeFAT12 && m_type != kTypeFAT16) return 0;
  return GetFATStart() + static_cast<uint64_t>(GetFATCount()) * GetFATSize();
}

uint64_t CFATDBR::GetDataStart() const {
  if (!IsValid()) return 0;
  return GetFATStart() + static_cast<uint64_t>(GetFATCount()) * GetFATSize() + GetRootDirSectors();
}

uint64_t CFATDBR::GetClusterCount() const {
  const uint64_t spc = GetSectorsPerCluster();
  const uint64_t data = GetDataStart();
  const uint64_t total = GetTotalSectors();
  if (spc == 0 || total <= data) return 0;
  return (total - data) / spc;
}

uint64_t CFATDBR::ClusterToSector(uint64_t cluster) const {
  if (cluster < 2) return GetDataStart();
  return GetDataStart() + (cluster - 2) * GetSectorsPerCluster();
}

bool CFATDBR::FitsDevice(uint64_t startSector, uint64_t deviceSectors) const {
  if (deviceSectors == 0) return true;
  const uint64_t total = GetTotalSectors();
  return startSector < deviceSectors && total <= deviceSectors - startSector;
}

// ---- CFATDBRBuffer ----

CFATDBRBuffer::CFATDBRBuffer(const uint8_t* source, int sectorSize) : m_bytes{}, m_view(m_bytes, sectorSize) {
  if (source != nullptr) std::memcpy(m_bytes, source, sizeof m_bytes);
  m_view.DetectType();
}

// ---- helpers ----

bool DetectFATTypeFromFAT(const uint8_t* firstFATSector, int& type) {
  if (firstFATSector == nullptr) return false;
  const uint32_t w0 = ReadLE32(firstFATSector);
  const uint32_t w1 = ReadLE32(firstFATSector + 4);
  if ((w0 & 0x0FFFFFFFu) == 0x0FFFFFF8u && (w1 & 0x0FFFFFF8u) == 0x0FFFFFF8u) {
    type = CFATDBR::kTypeFAT32;
    return true;
  }
  if (fatbytes::IsCleanFAT16Head(w0)) {
    type = CFATDBR::kTypeFAT16;
    return true;
  }
  return false;
}

bool IsValidFAT32Cluster(uint64_t cluster) { return cluster >= 2 && cluster <= 0x0FFFFFEFu; }
