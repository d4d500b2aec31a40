// One full quick search of an Ext2/3/4 volume (its whole node stream into a
// builder that counts and drops the nodes), read through the disk device
// (disk 0 of VANTOREL_DISKS), for bench/ext2-quick-search.sh. Prints the
// node count.
//
//   VANTOREL_DISKS=IMAGE build/bench/ext2_quick_search
#include <cstdio>

#include "CDiskDevice.h"
#include "CExt2QuickSearch.h"
#include "DiskTable.h"
#include "RecordingTreeBuilder.h"

namespace {}  // namespace

int main(int argc, char** argv) {
  (void)argv;
  if (argc != 1) {
    fprintf(stderr, "usage: VANTOREL_DISKS=IMAGE ext2_quick_search\n");
    return 2;
  }
  platform::RefreshDiskTable();
  CDiskDevice device(0, true);
  if (!device.IsOpen()) {
    fprintf(stderr, "ext2_quick_search: disk 0 does not open\n");
    return 1;
  }
  testutil::RecordingTreeBuilder builder(false);
  testutil::CountingSink sink;
  CExt2QuickSearch search;
  search.SetTreeBuilder(&builder);
  const int rc = search.QuickSearchFiles(&device, &sink);
  if (rc != 0) {
    fprintf(stderr, "ext2_quick_search: 0x%x %s\n", static_cast<unsigned>(rc), search.GetLastError().c_str());
    return 1;
  }
  printf("%llu\n", static_cast<unsigned long long>(builder.count));
  return 0;
}
