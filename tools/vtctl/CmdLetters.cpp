// vtctl letters: the volumes of the disk table with their drive letters.
#include <cinttypes>
#include <cstdio>

#include "DriveLetters.h"
#include "VtCommand.h"
#include "VtVolumes.h"

static int CmdLetters(const std::vector<std::string>& args) {
  if (!args.empty()) {
    fprintf(stderr, "usage: vtctl letters\n");
    return 2;
  }
  for (const VtVolume& v : RegisterDiskTableVolumes()) {
    platform::LetteredVolume lv;
    if (!platform::GetLetteredVolume(v.letter, &lv)) continue;
    printf("%c disk %d start %" PRIu64 " sectors %" PRIu64 " fs %d %s\n", v.letter, v.diskNumber, v.startSector,
           v.sectorCount, static_cast<int>(v.fileSystem), platform::DescribeVolume(lv).c_str());
  }
  return 0;
}

static VtRegistrar reg("letters", "letters: the volumes of the disk table with their drive letters", CmdLetters);
