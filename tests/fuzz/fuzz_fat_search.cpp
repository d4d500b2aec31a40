// The FAT complete search over a fuzzed 4 MiB block: the input lands at the
// sector its first two bytes name, in a zeroed block the search classifies
// sector by sector (boot sectors, FAT sectors, directory clusters), then the
// partitions it proposes are asked for twice and the first is rebuilt. The
// directory-cluster analyser also walks the input at 512 and 4096 bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "CFatCompleteSearch.h"
#include "FuzzMemoryDevice.h"
#include "RecordingTreeBuilder.h"
#include "RunLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = RunLogSetFile("/dev/null");
  (void)quiet;
  if (size < 2) return 0;
  constexpr size_t kBlock = 4u << 20;
  const size_t sectors = kBlock / 512;
  const size_t at = (static_cast<size_t>(data[0]) | (static_cast<size_t>(data[1]) << 8)) % sectors;
  const size_t take = std::min(size - 2, kBlock - at * 512);
  std::vector<uint8_t> disk(kBlock, 0);
  std::memcpy(disk.data() + at * 512, data + 2, take);
  MemoryDevice device(disk, 512);

  testutil::PartitionTreeKeeper builder;
  builder.kind = ETreeKind::FAT;
  {
    CFatCompleteSearch search;
    search.SetTreeBuilder(&builder);
    search.SetDevice(&device);
    search.StartSearch();
    search.AnalyzeBlock(0, sectors);
    search.EndSearch();
    std::vector<CSearchedPartitionInfo*> first, second;
    search.GetPartitions(first);
    search.GetPartitions(second);
    if (first != second) __builtin_trap();
    if (!first.empty()) {
      std::vector<CSearchedPartitionInfo*> one{first.front()};
      search.BuildPartitionTrees(one);
      search.BuildLostFiles(one);
    }
  }
  for (uint32_t length : {512u, 4096u}) {
    std::vector<uint8_t> buffer(length, 0);
    std::memcpy(buffer.data(), data + 2, std::min<size_t>(size - 2, length));
    CFatFolderAnalyzer analyzer(nullptr, nullptr);
    analyzer.Analyze(buffer.data(), length);
    if (analyzer.GetState() < 0 || analyzer.GetState() > 2) __builtin_trap();
  }
  return 0;
}
