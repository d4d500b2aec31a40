// The directory iterator and its slack scan over fuzzed directory blocks
// and inodes, then the whole quick search over the same volume.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "CExt2DeletedNames.h"
#include "CExt2DirEntryIterator.h"
#include "CExt2FileSystem.h"
#include "CExt2Inode.h"
#include "CExt2QuickSearch.h"
#include "Ext2FuzzVolume.h"
#include "RecordingTreeBuilder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryDevice& device = Ext2FuzzDevice(data, size);
  try {
    CExt2FileSystem fs(&device, 2);
    CExt2DeletedNames names;
    for (uint32_t n : {2u, 11u, 12u}) {
      const CExt2Inode dir(&fs, n);
      int steps = 0;
      for (CExt2DirEntryIterator it(&dir, 0, &names); !it.IsEnd() && steps < 4096; ++it, ++steps) {
        try {
          (void)(*it).HasValidBlockPointers();
        } catch (const std::exception&) {
        }
      }
    }
  } catch (const std::exception&) {
  }
  // Takes at most 64 nodes and destroys them at the end.
  testutil::RecordingTreeBuilder builder;
  builder.refuseAfter = 64;
  testutil::CountingSink sink;
  CExt2QuickSearch search;
  search.SetTreeBuilder(&builder);
  search.QuickSearchFiles(&device, &sink);
  return 0;
}
