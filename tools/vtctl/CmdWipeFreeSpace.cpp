// vtctl wipe-free-space [--passes N] [--history FILE] LETTER: the free-space
// wipe run (scrub, then fill the free space pass by pass) on one volume.
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "CWipeFreeSpaceRun.h"
#include "EraseMethods.h"
#include "EraseResult.h"
#include "ScrubDeletedRecords.h"
#include "VtCommand.h"
#include "VtVolumes.h"

namespace {

class ConsoleObserver : public IFreeSpaceObserver {
 public:
  void Started() override {}
  void Progress(int pass, uint64_t written, uint64_t freeBytes) override {
    fprintf(stderr, "pass %d: %" PRIu64 " of %" PRIu64 " bytes\n", pass + 1, written, freeBytes);
  }
  void Done(int result, bool cancelled) override {
    fprintf(stderr, "done: result %d%s\n", result, cancelled ? " (cancelled)" : "");
  }
};

CWipeFreeSpaceRun* g_run = nullptr;

extern "C" void OnInterrupt(int) {
  if (g_run) g_run->Cancel();
}

}  // namespace

static int CmdWipeFreeSpace(const std::vector<std::string>& args) {
  int passes = 1;
  std::string history;
  std::string letter;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--passes" && i + 1 < args.size()) {
      passes = atoi(args[++i].c_str());
      if (ErasePassesOf(passes) != passes) {
        fprintf(stderr, "vtctl wipe-free-space: --passes takes 1, 3, 7 or 35\n");
        return 2;
      }
    } else if (args[i] == "--history" && i + 1 < args.size()) {
      history = args[++i];
    } else if (letter.empty() && args[i].size() == 1) {
      letter = args[i];
    } else {
      letter.clear();
      break;
    }
  }
  if (letter.empty()) {
    fprintf(stderr, "usage: vtctl wipe-free-space [--passes N] [--history FILE] LETTER\n");
    return 2;
  }
  VtVolume v;
  if (!FindVtVolume(letter[0], &v)) {
    fprintf(stderr, "vtctl wipe-free-space: no volume %s:\n", letter.c_str());
    return 1;
  }
  platform::LetteredVolume lv;
  platform::GetLetteredVolume(v.letter, &lv);
  platform::VolumeExpectation expect;
  expect.disk = lv.disk;
  expect.startSector = v.startSector;
  expect.sectorCount = v.sectorCount;

  ConsoleObserver observer;
  CWipeFreeSpaceRun run;
  run.SetVolume(v.letter, v.fileSystem);
  run.SetVolumeLabel(v.label);
  run.ExpectIdentity(expect);
  run.SetPasses(passes);
  run.SetObserver(&observer);
  run.SetHistoryPath(history);
  g_run = &run;
  // Ctrl-C cancels: the run removes its filler before it ends.
  struct sigaction sa = {};
  sa.sa_handler = OnInterrupt;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  run.Run();
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  g_run = nullptr;

  uint64_t total = 0;
  for (uint64_t b : run.PassBytes()) total += b;
  printf("%c: %s; free %" PRIu64 " bytes, %zu passes, %" PRIu64 " filler bytes written\n", v.letter,
         ScrubOutcomeText(run.Scrub().outcome), run.FreeBytes(), run.PassBytes().size(), total);
  printf("result %d: %s %s\n", run.Result(), EraseResultTitle(ERASE_MODE_FREESPACE, run.Result()),
         EraseResultText(ERASE_MODE_FREESPACE, run.Result()));
  if (!run.Message().empty()) printf("reason: %s\n", run.Message().c_str());
  return EraseResultSucceeded(ERASE_MODE_FREESPACE, run.Result()) ? 0 : 1;
}

static VtRegistrar reg("wipe-free-space",
                       "wipe-free-space [--passes N] [--history FILE] LETTER: scrub deleted records (FAT/NTFS), then "
                       "fill the volume's free space pass by pass",
                       CmdWipeFreeSpace);
