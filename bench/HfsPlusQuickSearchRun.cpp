// One full quick search of an HFS+ volume (the journal's deleted records and the live catalog) (its whole node stream into a
// builder that counts and drops the nodes), read through the disk device
// (disk 0 of VANTOREL_DISKS), for bench/hfsplus-quick-search.sh. Prints the
// node count.
//
//   VANTOREL_DISKS=IMAGE build/bench/hfsplus_quick_search
#include <cstdio>

#include "CDiskDevice.h"
#include "CHFSPlusQuickFileSystemSearchController.h"
#include "DiskTable.h"
#include "EngineError.h"
#include "RunLog.h"
#include "RecordingTreeBuilder.h"

int main(int argc, char** argv) {
  (void)argv;
  if (argc != 1) {
    fprintf(stderr, "usage: VANTOREL_DISKS=IMAGE hfsplus_quick_search\n");
    return 2;
  }
  // Standard output carries the count alone.
  SetReturnErrorSink([](const char* line) { LogError("%s", line); });
  platform::RefreshDiskTable();
  CDiskDevice device(0, true);
  if (!device.IsOpen()) {
    fprintf(stderr, "hfsplus_quick_search: disk 0 does not open\n");
    return 1;
  }
  testutil::RecordingTreeBuilder builder(false);
  testutil::CountingSink sink;
  builder.kind = ETreeKind::HFSPlus;
  CHFSPlusQuickFileSystemSearchController search;
  search.SetTreeBuilder(&builder);
  const int rc = search.QuickSearchFiles(&device, &sink);
  if (rc != 0) {
    fprintf(stderr, "hfsplus_quick_search: status 0x%x\n", static_cast<unsigned>(rc));
    return 1;
  }
  printf("%llu\n", static_cast<unsigned long long>(builder.count));
  return 0;
}
