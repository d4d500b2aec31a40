// Finds a FAT volume's label in its root directory: the fixed root of
// FAT12/16, or the root cluster chain of FAT32 (reading FAT sectors itself).
#pragma once

#include <cstdint>
#include <string>

class CFATDBR;
class IStorageDevice;

class CFATVolumeLabelReader {
 public:
  explicit CFATVolumeLabelReader(IStorageDevice* device);
  ~CFATVolumeLabelReader() = default;

  // The label as "NAMEEXT" (trailing blanks cut, no dot); `label` is
  // written only when one is found.
  bool ReadLabel(uint64_t partitionStart, const CFATDBR& dbr, std::string& label);
  // Same, into a caller's buffer of `size` bytes (at least 100 expected);
  // the text is cut to fit and always terminated.
  bool ReadLabel(uint64_t partitionStart, const CFATDBR& dbr, char* out, size_t size = 100);

  uint64_t GetClusterSector(uint64_t partitionStart, const CFATDBR& dbr, uint64_t cluster) const;
  bool FindLabelInCluster(uint64_t sector, const CFATDBR& dbr, std::string& label);
  bool ReadFixedRootLabel(uint64_t partitionStart, const CFATDBR& dbr, std::string& label);
  bool ReadRootChainLabel(uint64_t partitionStart, const CFATDBR& dbr, std::string& label);

 private:
  // Reads `count` sectors after checking them against the device's end.
  bool ReadRange(void* buffer, uint64_t first, uint64_t count);

  IStorageDevice* m_device;
  uint32_t m_sectorSize;
};
