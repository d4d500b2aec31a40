// The LDM database reader and the dynamic volumes it builds, on a disk made
// from the input. The first byte picks the disk: bit 0 set, the input is the
// disk itself from sector 0; clear, a PRIVHEAD at sector 6 names the disk
// identifier from the next 36 bytes and puts the database (the rest of the
// input) at sector 8. Bit 1 makes the sectors 4096 bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CLdmDatabase.h"
#include "FuzzMemoryDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  const size_t sector = (mode & 2) ? 4096 : 512;
  std::vector<unsigned char> image;
  if (mode & 1) {
    image.assign(data, data + size);
  } else {
    if (size < 36) return 0;
    image.assign(8 * sector, 0);
    unsigned char* ph = image.data() + 6 * sector;
    memcpy(ph, "PRIVHEAD", 8);
    memcpy(ph + 48, data, 36);
    memcpy(ph + 240, "FuzzDg", 6);
    ph[306] = 8;  // configuration start, big-endian
    image.insert(image.end(), data + 36, data + size);
  }
  image.resize((image.size() + sector - 1) / sector * sector + 2 * sector, 0);
  MemoryDevice disk(image, int(sector));

  CLdmDatabase db;
  std::vector<DynamicVolumeEntry*> out;
  db.CollectDynamicVolumes({&disk, nullptr}, out);
  std::vector<unsigned char> buf(4 * sector);
  for (DynamicVolumeEntry* e : out) {
    IDynamicDevice* dev = e->device;
    const uint64_t n = dev->GetSectorCount();
    const uint64_t count = n < 4 ? n : 4;
    const size_t ss = size_t(dev->GetSectorSize());
    if (ss == sector) {
      dev->ReadSectors(buf.data(), 0, count);
      if (n > 0) dev->ReadSectors(buf.data(), n - 1, 1);
      dev->ReadSectors(buf.data(), n / 2, count);
    }
    delete e;
  }
  return 0;
}
