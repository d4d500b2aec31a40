// FAT boot sectors and the volume-label walk over arbitrary disk bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CFATDBR.h"
#include "CFATVolumeLabelReader.h"
#include "FuzzMemoryDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const int kSizes[4] = {512, 4096, 1024, 2048};
  const int sectorSize = kSizes[data[size - 1] & 3];
  std::vector<uint8_t> disk(data, data + size);
  // At least the boot sector; whole sectors.
  if (disk.size() < static_cast<size_t>(sectorSize)) disk.resize(sectorSize, 0);
  disk.resize((disk.size() + sectorSize - 1) / sectorSize * sectorSize, 0);
  MemoryDevice dev(disk, sectorSize);
  const uint8_t* boot = dev.Bytes().data();

  CFATDBR dbr(boot, sectorSize);
  CFATDBRBuffer copy(boot, sectorSize);
  if (copy.GetFATType() != dbr.GetFATType()) __builtin_trap();
  volatile uint64_t sink = dbr.GetTotalSectors() + dbr.GetDataStart() + dbr.GetClusterCount() +
                           dbr.GetRootDirStart() + dbr.ClusterToSector(dbr.GetRootCluster());
  (void)sink;
  (void)dbr.IsFAT12();
  (void)CFATDBR::HasBootSignature(boot);
  int type = 0;
  if (disk.size() >= 520) (void)DetectFATTypeFromFAT(boot + 512, type);

  CFATVolumeLabelReader reader(&dev);
  std::string label;
  if (reader.ReadLabel(0, dbr, label) && label.size() > 11) __builtin_trap();
  char out[100];
  (void)reader.ReadLabel(0, dbr, out, sizeof out);
  return 0;
}
