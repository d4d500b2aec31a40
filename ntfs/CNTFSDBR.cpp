#include "CNTFSDBR.h"

#include <cctype>
#include <cstring>

#include "ByteOrder.h"
#include "CNTFSFileRecord.h"

namespace {
constexpr int kOemOffset = 3;
constexpr int kBytesPerSectorOffset = 11;
constexpr int kSectorsPerClusterOffset = 13;
constexpr int kReservedSectorsOffset = 14;
constexpr int kFatCountOffset = 16;
constexpr int kRootEntriesOffset = 17;
constexpr int kTotalSectors16Offset = 19;
constexpr int kSectorsPerFatOffset = 22;
constexpr int kTotalSectors32Offset = 32;
constexpr int kTotalSectorsOffset = 40;
constexpr int kMftClusterOffset = 48;
constexpr int kMftMirrClusterOffset = 56;
constexpr int kClustersPerRecordOffset = 64;
constexpr int kSerialNumberOffset = 72;
constexpr uint32_t kMaxClusterBytes = 2u << 20;

bool IsPowerOfTwo(uint64_t value) {
  return value != 0 && (value & (value - 1)) == 0;
}

// Bytes per FILE record from the signed byte at offset 64; 0 out of range.
int DecodeFileRecordSize(const uint8_t* sector) {
  const int n = static_cast<int8_t>(sector[kClustersPerRecordOffset]);
  uint64_t bytes = 0;
  if (n < 0) {
    if (-n > 16) return 0;
    bytes = uint64_t(1) << -n;
  } else if (n == 0) {
    bytes = 1024;
  } else {
    bytes = static_cast<uint64_t>(n) * ReadLE16(sector + kBytesPerSectorOffset) * sector[kSectorsPerClusterOffset];
  }
  return IsPowerOfTwo(bytes) && bytes >= 256 && bytes <= 65536 ? static_cast<int>(bytes) : 0;
}

}  // namespace

bool HasNTFSSignature(const uint8_t* sector) {
  if (!sector) return false;
  static const char kOem[] = "NTFS    ";
  for (int i = 0; i < 8; ++i)
    if (std::toupper(sector[kOemOffset + i]) != kOem[i]) return false;
  return true;
}

bool IsValidNTFSBootSector(const uint8_t* sector) {
  if (!sector || !HasNTFSSignature(sector)) return false;
  const uint16_t bytesPerSector = ReadLE16(sector + kBytesPerSectorOffset);
  if (bytesPerSector == 0 || bytesPerSector % 512 != 0) return false;
  if (ReadLE16(sector + kReservedSectorsOffset) != 0) return false;
  const uint8_t sectorsPerCluster = sector[kSectorsPerClusterOffset];
  if (!IsPowerOfTwo(sectorsPerCluster)) return false;
  if (sector[kFatCountOffset] != 0 || ReadLE16(sector + kRootEntriesOffset) != 0 ||
      ReadLE16(sector + kTotalSectors16Offset) != 0 || ReadLE16(sector + kSectorsPerFatOffset) != 0 ||
      ReadLE32(sector + kTotalSectors32Offset) != 0)
    return false;
  if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
  return DecodeFileRecordSize(sector) != 0;
}

CNTFSDBR::CNTFSDBR() {
  std::memset(m_sector, 0, sizeof m_sector);
}

bool CNTFSDBR::SetFromSector(const uint8_t* sector) {
  if (!IsValidNTFSBootSector(sector)) return false;
  std::memcpy(m_sector, sector, sizeof m_sector);
  return true;
}

bool CNTFSDBR::IsValid() const {
  return IsValidNTFSBootSector(m_sector);
}

uint64_t CNTFSDBR::GetTotalSectors() const {
  return ReadLE64(m_sector + kTotalSectorsOffset);
}
uint64_t CNTFSDBR::GetMFTCluster() const {
  return ReadLE64(m_sector + kMftClusterOffset);
}
uint64_t CNTFSDBR::GetMFTMirrCluster() const {
  return ReadLE64(m_sector + kMftMirrClusterOffset);
}
uint64_t CNTFSDBR::GetSerialNumber() const {
  return ReadLE64(m_sector + kSerialNumberOffset);
}
uint8_t CNTFSDBR::GetSectorsPerCluster() const {
  return m_sector[kSectorsPerClusterOffset];
}
uint16_t CNTFSDBR::GetBytesPerSector() const {
  return ReadLE16(m_sector + kBytesPerSectorOffset);
}

uint32_t CNTFSDBR::GetBytesPerCluster() const {
  return static_cast<uint32_t>(GetBytesPerSector()) * GetSectorsPerCluster();
}

int CNTFSDBR::GetFileRecordSize() const {
  return DecodeFileRecordSize(m_sector);
}

void CNTFSDBR::GetOEMName(char* out) const {
  if (out) std::memcpy(out, m_sector + kOemOffset, 8);
}

bool CNTFSDBR::HasUsableGeometry(int deviceSectorSize, uint64_t deviceBytes) const {
  if (!IsValid() || deviceSectorSize <= 0 || GetBytesPerSector() != deviceSectorSize) return false;
  const int recordSize = GetFileRecordSize();
  if (recordSize < kNTFSMinRecordLength || recordSize > kNTFSMaxRecordLength) return false;
  const uint64_t clusterBytes = GetBytesPerCluster();
  if (clusterBytes > kMaxClusterBytes) return false;
  const uint64_t totalSectors = GetTotalSectors();
  if (totalSectors == 0 || totalSectors > UINT64_MAX / GetBytesPerSector()) return false;
  const uint64_t volumeBytes = totalSectors * GetBytesPerSector();
  if (deviceBytes != 0 && volumeBytes > deviceBytes) return false;
  const uint64_t clusters = volumeBytes / clusterBytes;
  return GetMFTCluster() < clusters && GetMFTMirrCluster() < clusters;
}
