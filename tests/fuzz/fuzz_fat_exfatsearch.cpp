// The exFAT deleted-file search over fuzzed directory clusters: the input
// is the FAT and cluster heap of a volume behind a fixed, valid boot sector
// (512-byte sectors, 1 KiB clusters), walked by the quick search with a
// builder that takes and drops every node; the same bytes also go to the
// entry-set parser and the node builder one cluster at a time.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "CExFatPartition.h"
#include "CExFatQuickSearch.h"
#include "CFileNode.h"
#include "ExFatEntrySetParser.h"
#include "FuzzMemoryDevice.h"
#include "RecordingTreeBuilder.h"

namespace {
constexpr uint32_t kFatOffset = 24, kFatLength = 8, kHeap = 32, kSpc = 2, kClusters = 120;
constexpr size_t kVolumeBytes = (kHeap + kClusters * kSpc) * 512;

std::vector<uint8_t> Volume(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(kVolumeBytes, 0);
  uint8_t* b = bytes.data();
  std::memcpy(b + 3, "EXFAT   ", 8);
  WriteLE64(b + 72, kVolumeBytes / 512);
  WriteLE32(b + 80, kFatOffset);
  WriteLE32(b + 84, kFatLength);
  WriteLE32(b + 88, kHeap);
  WriteLE32(b + 92, kClusters);
  WriteLE32(b + 96, 2 + (size ? data[0] % 4 : 0));  // root cluster
  b[108] = 9;
  b[109] = 1;
  b[110] = 1;
  b[510] = 0x55;
  b[511] = 0xAA;
  // The input from the FAT on: FAT entries, then the heap.
  const size_t room = kVolumeBytes - kFatOffset * 512;
  if (size > 1) std::memcpy(b + kFatOffset * 512, data + 1, size - 1 < room ? size - 1 : room);
  return bytes;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryDevice device(Volume(data, size));
  {
    testutil::RecordingTreeBuilder builder(false);
    builder.kind = ETreeKind::exFAT;
    testutil::CountingSink sink;
    CExFatQuickSearch search;
    search.SetTreeBuilder(&builder);
    search.QuickSearchFiles(&device, &sink);
    std::vector<CSearchedPartitionInfo*> partitions;
    search.GetPartitions(partitions);
  }
  // The parser and node builder alone, over the raw input in 1 KiB clusters.
  ExFatEntrySetParser parser;
  parser.SetGeometry(9, 10, kVolumeBytes / 512);
  CExFatPartition partition;
  partition.SetClusterSectors(kSpc);
  partition.SetHeapStart(kHeap);
  partition.SetClusterCount(kClusters + 2);
  partition.SetRootCluster(2);
  partition.FatCache().Open(&device, kFatOffset, kFatLength, kClusters);
  partition.SizeClusterMap();
  for (size_t at = 0; at < size; at += 1024) {
    const size_t n = size - at < 1024 ? size - at : 1024;
    const bool goOn = parser.ParseEntries(data + at, n, at / 512);
    for (const ExFatEntrySetRecord& r : parser.Records()) DestroyFileNode(partition.CreateFileNode(r));
    parser.ClearRecords();
    if (!goOn) parser.Reset();
  }
  return 0;
}
