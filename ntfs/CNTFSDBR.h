// The NTFS boot sector: recognition and a validated copy with accessors.
#pragma once

#include <cstdint>

// OEM identifier "NTFS    " at offset 3, compared without regard to case.
bool HasNTFSSignature(const uint8_t* sector);
// The OEM identifier, bytes per sector (a non-zero multiple of 512), zero
// reserved sectors, sectors per cluster a power of two up to 128, the FAT
// fields all zero, the 0x55 0xAA mark, and a FILE-record size that decodes
// to a power of two from 256 to 65536 bytes.
bool IsValidNTFSBootSector(const uint8_t* sector);

class CNTFSDBR {
 public:
  static constexpr int kSectorBytes = 512;

  CNTFSDBR();

  // Copies the 512 bytes when IsValidNTFSBootSector accepts them.
  bool SetFromSector(const uint8_t* sector);
  bool IsValid() const;
  const uint8_t* GetSector() const { return m_sector; }

  uint64_t GetTotalSectors() const;
  uint64_t GetMFTCluster() const;
  uint64_t GetMFTMirrCluster() const;
  uint64_t GetSerialNumber() const;
  uint8_t GetSectorsPerCluster() const;
  uint16_t GetBytesPerSector() const;
  uint32_t GetBytesPerCluster() const;
  // Bytes per FILE record; 0 when the boot sector's value is out of range.
  int GetFileRecordSize() const;
  // The 8 bytes of the OEM identifier, without a terminator.
  void GetOEMName(char* out) const;

  // Geometry a writer may rely on: bytes per sector equal to the device's
  // sector size, records of 1024 to 4096 bytes, clusters of at most 2 MiB, a
  // volume that fits in `deviceBytes` (when non-zero) and $MFT and $MFTMirr
  // inside the volume.
  bool HasUsableGeometry(int deviceSectorSize, uint64_t deviceBytes) const;

 private:
  uint8_t m_sector[kSectorBytes];
};
