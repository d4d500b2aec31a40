// The RAW search over the input as a device of 512- or 4096-byte sectors,
// with every analyser the program has, in blocks of 1 to 16 sectors: no
// crash, every record inside the device, the queue empty at the end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "CFoundFileStore.h"
#include "CRAWSearchController.h"
#include "CRawFileInfo.h"
#include "FuzzMemoryDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int ss = (data[0] & 1) ? 4096 : 512;
  const int blockSectors = 1 + ((data[0] >> 1) & 15);
  const bool failOne = (data[0] & 0x20) != 0;
  MemoryDevice dev(FuzzDiskBytes(data + 1, size - 1, ss), ss);
  if (failOne) dev.failSector = data[1] % dev.GetSectorCount();

  CFoundFileStore store;
  CRAWSearchController search;
  search.SetDevice(&dev);
  search.SetSearchOption(blockSectors);
  search.StartSearch();
  search.SetFoundFileStore(&store);
  const uint64_t total = dev.GetSectorCount();
  for (uint64_t first = 0; first < total; first += static_cast<uint64_t>(blockSectors)) {
    const uint64_t n = total - first < static_cast<uint64_t>(blockSectors) ? total - first : blockSectors;
    search.AnalyzeBlock(first, n);
  }
  search.EndSearch();
  if (search.GetPendingCount() != 0) abort();
  IIterator<CRawFileInfo*>* it = store.GetIterator();
  for (it->First(); !it->IsDone(); it->Next()) {
    const CRawFileInfo* f = it->CurrentItem();
    if (f->GetStartSector() >= total) abort();
    if (f->GetFileSize() > (total - f->GetStartSector()) * static_cast<uint64_t>(ss)) abort();
  }
  return 0;
}
