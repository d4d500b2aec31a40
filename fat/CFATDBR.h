// A read-only view of a FAT boot sector (DBR): decides FAT16 or FAT32 and
// hands out the geometry fields for that type.
#pragma once

#include <cstdint>

class CFATDBR {
 public:
  // `sector` is borrowed and must hold at least 512 bytes for the life of
  // the view; `sectorSize` is the device's sector size (512 without one).
  CFATDBR(const uint8_t* sector, int sectorSize);
  ~CFATDBR() = default;

  // Sets the type code: 1 (FAT16) when the FAT16 test passes, else 2 (FAT32)
  // when the FAT32 test passes, else 9. FAT12 is never set.
  void DetectType();
  // Also takes a FAT12 boot sector: when neither FAT16 nor FAT32 was
  // recognised and the FAT12 test passes, the type becomes 0.
  void AcceptFAT12();
  bool IsValid() const { return m_type != kTypeUnknown; }
  int GetFATType() const { return m_type; }
  const uint8_t* GetSector() const { return m_sector; }
  unsigned GetDeviceSectorSize() const { return m_sectorSize; }

  uint32_t GetSectorsPerCluster() const;
  uint32_t GetReservedSectors() const;
  // The reserved-sector field whatever the type.
  uint32_t GetReservedSectorCount() const;
  uint32_t GetFATCount() const;
  uint32_t GetFATSize() const;
  uint64_t GetTotalSectors() const;
  uint32_t GetRootCluster() const;
  uint32_t GetRootEntryCount() const;
  uint32_t GetBytesPerSector() const;

  // Byte 0 non-zero and 0x55 0xAA at 510.
  static bool HasBootSignature(const uint8_t* sector);

  bool IsFAT12() const;
  bool IsFAT16() const;
  bool IsFAT32() const;

  // Geometry in sectors from the start of the volume (64-bit). Meaningful
  // for a valid view; 0 otherwise.
  uint64_t GetFATStart() const { return GetReservedSectors(); }
  uint64_t GetRootDirSectors() const;
  uint64_t GetRootDirStart() const;
  uint64_t GetDataStart() const;
  // Number of data clusters (cluster 2 upwards) the volume holds.
  uint64_t GetClusterCount() const;
  // First sector of cluster n (n >= 2), relative to the volume start.
  uint64_t ClusterToSector(uint64_t cluster) const;
  // True when a volume starting at `startSector` lies inside a device of
  // `deviceSectors` sectors (0: size unknown, nothing to compare).
  bool FitsDevice(uint64_t startSector, uint64_t deviceSectors) const;

  static constexpr int kTypeFAT12 = 0;
  static constexpr int kTypeFAT16 = 1;
  static constexpr int kTypeFAT32 = 2;
  static constexpr int kTypeUnknown = 9;

 private:
  // The checks FAT16 and FAT32 share: FAT count, cluster size, sector size
  // and a self-consistent layout (reserved area, FATs large enough for the
  // clusters, data area inside the volume).
  bool HasCommonFields() const;
  bool HasSaneLayout(int type) const;
  uint64_t RawTotalSectors(int type) const;
  uint32_t RawFATSize(int type) const;

  const uint8_t* m_sector;
  int m_type;
  unsigned m_sectorSize;
};

// A 512-byte copy of a boot sector with a view over the copy.
class CFATDBRBuffer {
 public:
  CFATDBRBuffer(const uint8_t* source, int sectorSize);
  CFATDBRBuffer(const CFATDBRBuffer&) = delete;
  CFATDBRBuffer& operator=(const CFATDBRBuffer&) = delete;

  bool IsValid() const { return m_view.IsValid(); }
  uint32_t GetSectorsPerCluster() const { return m_view.GetSectorsPerCluster(); }
  uint32_t GetReservedSectorCount() const { return m_view.GetReservedSectorCount(); }
  uint32_t GetRootCluster() const { return m_view.GetRootCluster(); }
  uint32_t GetFATCount() const { return m_view.GetFATCount(); }
  uint32_t GetFATSize() const { return m_view.GetFATSize(); }
  uint32_t GetReservedSectors() const { return m_view.GetReservedSectors(); }
  uint64_t GetTotalSectors() const { return m_view.GetTotalSectors(); }
  uint32_t GetRootEntryCount() const { return m_view.GetRootEntryCount(); }
  int GetFATType() const { return m_view.GetFATType(); }
  bool HasBootSignature() const { return CFATDBR::HasBootSignature(m_bytes); }
  const CFATDBR& View() const { return m_view; }

 private:
  uint8_t m_bytes[512];
  CFATDBR m_view;
};

// Recognises the start of a FAT by its first two entries (media byte 0xF8):
// type 2 for FAT32, 1 for FAT16; false (out left alone) otherwise.
bool DetectFATTypeFromFAT(const uint8_t* firstFATSector, int& type);

// 2 <= cluster <= 0x0FFFFFEF.
bool IsValidFAT32Cluster(uint64_t cluster);
