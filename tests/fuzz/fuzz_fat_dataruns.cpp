// File data runs over a fuzzed FAT: the first 16 bytes choose the cluster
// size, the data area, the first cluster, the size and live or deleted; the
// rest is the table. Every run must lie inside the data area.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CFatCompleteSearchWorker.h"
#include "FuzzFatTable.h"
#include "IDataRunList.h"
#include "MemoryDevice.h"
#include "RunLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The rebuild traces what it meets; millions of lines would only slow the run.
  static const bool quiet = RunLogSetFile("/dev/null");
  (void)quiet;
  if (size < 16) return 0;
  uint32_t clusters, first, fileSize;
  std::memcpy(&clusters, data, 4);
  std::memcpy(&first, data + 4, 4);
  std::memcpy(&fileSize, data + 8, 4);
  FatRebuildGeometry geo;
  geo.fatType = 2;
  geo.sectorsPerCluster = 1u << (data[12] % 8);
  geo.dataStart = 32;
  geo.partitionSize = geo.dataStart + uint64_t(clusters % 100000) * geo.sectorsPerCluster;
  FuzzFatTable fat(data + 16, size - 16);
  testutil::MemoryDevice device(std::vector<uint8_t>(512, 0), 512);
  CFatCompleteSearchWorker worker(&device, &fat, geo);
  const bool deleted = data[13] & 1;
  IDataRunList* list = worker.BuildFileDataRuns(first % 200000, fileSize, deleted);
  if (list != nullptr) {
    const uint64_t dataClusters = clusters % 100000;
    for (const DataRun& r : list->Runs())
      if (r.length == 0 || r.start + r.length > dataClusters) __builtin_trap();
    delete list;
  }
  return 0;
}
