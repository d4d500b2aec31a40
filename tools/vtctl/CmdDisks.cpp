// vtctl disks: the platform's disk table, one line per disk.
#include <cinttypes>
#include <cstdio>

#include "DiskTable.h"
#include "VtCommand.h"

static int CmdDisks(const std::vector<std::string>& args) {
  if (!args.empty()) {
    fprintf(stderr, "usage: vtctl disks\n");
    return 2;
  }
  std::vector<platform::DiskEntry> disks = platform::RefreshDiskTable();
  printf("%-4s %-24s %-32s %8s %14s %s\n", "#", "path", "model or file", "sector", "sectors", "identity");
  for (const auto& d : disks) {
    printf("%-4d %-24s %-32s %8d %14" PRIu64 " %s\n", d.number, d.path.c_str(), d.model.empty() ? "-" : d.model.c_str(),
           d.sectorSize, d.sectorCount, d.identity.ToString().c_str());
  }
  return 0;
}

static VtRegistrar reg("disks",
                       "disks: print the disk table (number, path, model or file, sector size, "
                       "sector count, identity)",
                       CmdDisks);
