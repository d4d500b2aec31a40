// NTFS boot sectors and the label reader on arbitrary disk bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CNTFSDBR.h"
#include "CNTFSVolumeNameReader.h"
#include "FuzzMemoryDevice.h"
#include "IStorageDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 512) return 0;
  HasNTFSSignature(data);
  const bool valid = IsValidNTFSBootSector(data);
  CNTFSDBR dbr;
  if (dbr.SetFromSector(data) != valid) __builtin_trap();
  if (!valid) return 0;
  const int recordSize = dbr.GetFileRecordSize();
  if (recordSize < 256 || recordSize > 65536 || (recordSize & (recordSize - 1))) __builtin_trap();
  dbr.HasUsableGeometry(512, size);
  dbr.HasUsableGeometry(4096, size);
  char oem[8];
  dbr.GetOEMName(oem);

  // The rest of the input is the disk the label is read from.
  for (int sectorSize : {512, 4096}) {
    MemoryDevice device(std::vector<uint8_t>(data, data + size), sectorSize);
    CNTFSVolumeNameReader reader(&device);
    char label[kNTFSVolumeNameBytes] = {};
    reader.ReadVolumeName(0, dbr, label);
    reader.ReadVolumeName(1, dbr, label);
    if (label[kNTFSVolumeNameBytes - 1] != 0) __builtin_trap();
  }
  return 0;
}
