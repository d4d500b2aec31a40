// One full quick search of a volume (its whole node stream into a builder
// that counts and drops the nodes), read through the disk device (disk 0 of
// VANTOREL_DISKS), for bench/ext2-quick-search.sh and
// bench/exfat-quick-search.sh. Built once per engine: ext2_quick_search
// searches Ext2/3/4 volumes, exfat_quick_search exFAT volumes. Prints the
// node count.
//
//   VANTOREL_DISKS=IMAGE build/bench/ext2_quick_search
//   VANTOREL_DISKS=IMAGE build/bench/exfat_quick_search
#include <cstdio>
#include <string>

#include "CDiskDevice.h"
#include "DiskTable.h"
#include "RecordingTreeBuilder.h"
#ifdef VANTOREL_BENCH_EXFAT
#include "CExFatQuickSearch.h"
using Search = CExFatQuickSearch;
constexpr ETreeKind kKind = ETreeKind::exFAT;
constexpr const char* kName = "exfat_quick_search";
std::string LastError(const Search&) {
  return std::string();
}
#else
#include "CExt2QuickSearch.h"
using Search = CExt2QuickSearch;
constexpr ETreeKind kKind = ETreeKind::Ext2;
constexpr const char* kName = "ext2_quick_search";
std::string LastError(const Search& s) {
  return s.GetLastError();
}
#endif

int main(int argc, char** argv) {
  (void)argv;
  if (argc != 1) {
    fprintf(stderr, "usage: VANTOREL_DISKS=IMAGE %s\n", kName);
    return 2;
  }
  platform::RefreshDiskTable();
  CDiskDevice device(0, true);
  if (!device.IsOpen()) {
    fprintf(stderr, "%s: disk 0 does not open\n", kName);
    return 1;
  }
  testutil::RecordingTreeBuilder builder(false);
  builder.kind = kKind;
  testutil::CountingSink sink;
  Search search;
  search.SetTreeBuilder(&builder);
  const int rc = search.QuickSearchFiles(&device, &sink);
  if (rc != 0) {
    fprintf(stderr, "%s: 0x%x %s\n", kName, static_cast<unsigned>(rc), LastError(search).c_str());
    return 1;
  }
  printf("%llu\n", static_cast<unsigned long long>(builder.count));
  return 0;
}
