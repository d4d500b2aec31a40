// The in-memory file allocation tables and the next-cluster lookup.
//
// A table copy is loaded only when its size is plausible for its FAT type
// and kept only when it passes validation (media signature, entry ranges,
// no joined chains, no loops). Next-cluster values are in FAT32 terms: 0
// free, 0x0FFFFFF7 bad, 0x0FFFFFF8 and above end of chain.
#pragma once

#include <cstdint>
#include <vector>

class IStorageDevice;

class IFATTable {
 public:
  virtual ~IFATTable() = default;
  virtual uint32_t GetEntry(uint32_t cluster) = 0;
  // Whether a loaded, validated copy answers. Without one every lookup is
  // 0, which then does not mean "free": nothing may be erased on its word.
  virtual bool IsLoaded() const = 0;
};

class IRealFATTable {
 public:
  // `clusterCount` (0: unknown) bounds the entries that validation checks:
  // a chain may not lead past the volume's last cluster.
  IRealFATTable(IStorageDevice* device, uint64_t fatStart, uint32_t fatSize, uint32_t entrySize,
                uint64_t clusterCount);
  IRealFATTable(const IRealFATTable&) = delete;
  IRealFATTable& operator=(const IRealFATTable&) = delete;
  virtual ~IRealFATTable() = default;

  virtual uint32_t GetEntry(uint32_t index) = 0;
  virtual bool Validate() = 0;

  bool IsLoaded() const { return !m_bytes.empty(); }
  uint32_t GetEntryCount() const { return m_entryCount; }
  uint32_t GetSectorSize() const { return m_sectorSize; }

 protected:
  // Reads the whole copy when its size lies in [minSectors, maxSectors].
  void Load(uint32_t minSectors, uint32_t maxSectors);
  // The same with a window given in 512-byte sectors, scaled down by the
  // device's sector size / 512.
  void LoadScaled(uint32_t min512, uint32_t max512);
  // Entries 2 .. limit-1 are checked: the smaller of the entry count and
  // the volume's cluster count + 2.
  uint32_t CheckedLimit() const;
  // Range and chain checks over raw entries (FAT16/FAT32).
  bool ValidateChains(uint32_t badMarker, uint32_t lastData);
  virtual uint32_t RawEntry(uint32_t index) const = 0;

  IStorageDevice* m_device;
  uint64_t m_fatStart;
  uint32_t m_fatSize;
  uint32_t m_entryCount;
  std::vector<uint8_t> m_bytes;
  uint32_t m_sectorSize;
  uint64_t m_clusterCount;
};

class CFAT32Table : public IRealFATTable {
 public:
  CFAT32Table(IStorageDevice* device, uint64_t fatStart, uint32_t fatSize, uint64_t clusterCount = 0);
  uint32_t GetEntry(uint32_t index) override;
  bool Validate() override;

 protected:
  uint32_t RawEntry(uint32_t index) const override;
};

class CFAT16Table : public IRealFATTable {
 public:
  CFAT16Table(IStorageDevice* device, uint64_t fatStart, uint32_t fatSize, uint64_t clusterCount = 0);
  uint32_t GetEntry(uint32_t index) override;
  bool Validate() override;

 protected:
  uint32_t RawEntry(uint32_t index) const override;
};

class CFAT12Table : public IRealFATTable {
 public:
  CFAT12Table(IStorageDevice* device, uint64_t fatStart, uint32_t fatSize, uint64_t clusterCount = 0);
  uint32_t GetEntry(uint32_t index) override;
  bool Validate() override;

 protected:
  uint32_t RawEntry(uint32_t index) const override;
};

// Primary copy first, secondary copy as fallback; owns both.
class CDoubleFATTable : public IFATTable {
 public:
  CDoubleFATTable(IRealFATTable* primary, IRealFATTable* secondary) : m_primary(primary), m_secondary(secondary) {}
  ~CDoubleFATTable() override;
  CDoubleFATTable(const CDoubleFATTable&) = delete;
  CDoubleFATTable& operator=(const CDoubleFATTable&) = delete;
  uint32_t GetEntry(uint32_t cluster) override;
  bool IsLoaded() const override { return m_primary != nullptr || m_secondary != nullptr; }
  bool HasPrimary() const { return m_primary != nullptr; }
  bool HasSecondary() const { return m_secondary != nullptr; }

 private:
  IRealFATTable* m_primary;
  IRealFATTable* m_secondary;
};

// Type 0 FAT12, 1 FAT16, 2 FAT32; null for another type, a copy that could
// not be loaded or one that fails validation.
IRealFATTable* CreateRealFATTable(IStorageDevice* device, int type, uint64_t fatStart, uint32_t fatSize,
                                  uint64_t clusterCount = 0);
// The primary copy (at fatStart) when `primary` is set or neither flag is;
// the secondary copy (at fatStart + fatSize) only when `secondary` is set
// and the primary is missing. Never null; with no copy every lookup is 0.
CDoubleFATTable* CreateFATTable(IStorageDevice* device, uint64_t fatStart, int type, uint32_t fatSize, int primary,
                                int secondary, uint64_t clusterCount = 0);
void DeleteFATTable(IFATTable* table);
