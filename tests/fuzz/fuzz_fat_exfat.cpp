// exFAT boot sector, FAT cache, directory-entry checks and the label walk
// over a device made of the fuzz input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "CExFatVolumeAnalyer.h"
#include "ExFatDirEntry.h"
#include "FuzzBytesDevice.h"
#include "IStorageDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ExFatGeometry g{9, 12, 1u << 20};
  char16_t label[12];
  FindExFatVolumeLabel(data, size, label, g);
  if (size >= 32) ExFatEntrySetChecksum(data, size - size % 32, 0x1234);

  // A device whose first sector is a valid-looking boot sector taken from the
  // input, followed by the rest of the input.
  std::vector<uint8_t> bytes(64 * 1024, 0);
  std::memcpy(bytes.data(), data, size < bytes.size() ? size : bytes.size());
  if (size >= 11) std::memcpy(bytes.data() + 3, "EXFAT   ", 8);
  bytes[510] = 0x55;
  bytes[511] = 0xAA;
  FuzzBytesDevice device(std::move(bytes));
  std::unique_ptr<IVolume> v(CreateExFatVolumeAnalyer(&device, 0));
  if (v) {
    char out[300];
    v->GetVolumeLabel(out, sizeof out);
    v->GetVolumeLabel(out, 3);
  }
  return 0;
}
