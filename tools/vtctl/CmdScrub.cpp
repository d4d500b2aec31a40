// vtctl scrub LETTER: scrubs the deleted-file records of a FAT16, FAT32 or
// NTFS volume as the free-space wipe does (lock, quick search, unlock).
// Exit status: 0 scrubbed (or nothing to scrub), 5 refused because the
// volume is read-only, 1 any other failure or skip.
#include <cstdio>

#include "ScrubDeletedRecords.h"
#include "VtCommand.h"
#include "VtVolumes.h"

static int CmdScrub(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].size() != 1) {
    fprintf(stderr, "usage: vtctl scrub LETTER\n");
    return 2;
  }
  VtVolume v;
  if (!FindVtVolume(args[0][0], &v)) {
    fprintf(stderr, "vtctl scrub: no volume %s:\n", args[0].c_str());
    return 1;
  }
  const ScrubReport r = ScrubDeletedRecords(v.letter, v.fileSystem);
  printf("%c: %s (engine 0x%x, lock error %u)%s\n", v.letter, ScrubOutcomeText(r.outcome),
         static_cast<unsigned>(r.engineCode), r.winError, r.remounted ? "" : "; the volume was not mounted again");
  if (r.outcome == EScrubOutcome::RefusedReadOnly) return 5;
  return ScrubComplete(r) ? 0 : 1;
}

static VtRegistrar reg("scrub", "scrub LETTER: scrub the deleted-file records of a FAT16/FAT32/NTFS volume", CmdScrub);
