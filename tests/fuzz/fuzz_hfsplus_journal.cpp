// A whole small HFS+ volume from arbitrary bytes (seeded with journaled
// ones whose journals log older catalog, extents and attributes leaves, one
// with compressed files in attributes and in resource forks of more than 8
// extents): the deleted-file search walks its journal and catalog into a
// counting builder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "CHFSPlusQuickFileSystemSearchController.h"
#include "MemoryDevice.h"
#include "RecordingTreeBuilder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] { return std::freopen("/dev/null", "w", stdout) != nullptr; }();
  (void)quiet;
  if (size < 2048 || size > (1u << 20)) return 0;
  std::vector<uint8_t> bytes(data, data + size / 512 * 512);
  testutil::MemoryDevice device(bytes);
  testutil::RecordingTreeBuilder builder(false);
  builder.kind = ETreeKind::HFSPlus;
  CHFSPlusQuickFileSystemSearchController search;
  search.SetTreeBuilder(&builder);
  search.QuickSearchFiles(&device, nullptr);
  return 0;
}
