// The dynamic-disk probe walks MBR chains and GPT entries of any disk; the
// 512-byte view and the partition windows cut reads at any offsets.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CBasicPartitionDevice.h"
#include "DiskStyleProbe.h"
#include "FuzzMemoryDevice.h"
#include "IStorageDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryDevice disk(FuzzDiskBytes(data, size, 512), 512);
  ProbeDiskStyle(&disk, disk.GetSectorCount(), 512);

  if (size >= 8) {
    MemoryDevice big(FuzzDiskBytes(data, size, 4096), 4096);
    IStorageDevice* view = big.Get512ByteDevice();
    uint64_t first = data[0] % 64, count = data[1] % 24;
    std::vector<uint8_t> buf(static_cast<size_t>(count) * 512 + 1);
    view->ReadSectors(buf.data(), first, count);
    CBasicPartitionDevice part(view, data[2] % 16, data[3] % 32 + 1);
    uint64_t pf = data[4] % 40, pc = data[5] % 40;
    std::vector<uint8_t> pbuf(static_cast<size_t>(pc) * 512 + 1);
    part.ReadSectors(pbuf.data(), pf, pc);
  }
  return 0;
}
