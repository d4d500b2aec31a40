// vtctl wipe-partition [--passes N] [--no-format] LETTER: wipes the volume of
// drive letter LETTER with the program's partition wipe run (0xFF once per
// pass, the read-back where the method asks for it, then the NTFS quick
// format). `vtctl wipe-partition --list` shows the letters.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CDiskDevice.h"
#include "CPartitionTableAnalyze.h"
#include "CVolumeManager.h"
#include "CWipePartitionRun.h"
#include "DiskTable.h"
#include "DriveLetters.h"
#include "EraseMethods.h"
#include "EraseResult.h"
#include "VtCommand.h"

namespace {

// Gives letters to the basic partitions of every disk in the table, in
// disk and partition order. This stands in for the volume collection until
// vtctl can ask it; it is the only place here that registers volumes.
void RegisterDiskTableVolumes() {
  for (const platform::DiskEntry& entry : platform::RefreshDiskTable()) {
    CDiskDevice disk{entry.number, true};
    if (disk.GetSectorCount() == 0) continue;
    PartitionRecordList list;
    AnalyzePartitionTable(&disk, list);
    for (const PartitionRecord* r : list)
      platform::RegisterVolume(entry.number, r->startSector, r->sectorCount, CVolumeManager::FsKindOf(r->fileSystem));
    DeletePartitionRecords(list);
  }
}

class ConsoleObserver : public IWipeObserver {
 public:
  explicit ConsoleObserver(uint64_t sectors) : m_sectors(sectors) {}
  void Progress(int pass, uint64_t sectorsDone, bool verifying) override {
    const int percent = m_sectors ? static_cast<int>(sectorsDone * 100 / m_sectors) : 0;
    if (pass == m_pass && verifying == m_verifying && percent / 10 == m_percent / 10) return;
    m_pass = pass;
    m_verifying = verifying;
    m_percent = percent;
    fprintf(stderr, "%s pass %d: %d%%\n", verifying ? "verify" : "write", pass + 1, percent);
  }
  void Done(int result, bool cancelled) override {
    fprintf(stderr, "done: result %d%s\n", result, cancelled ? " (cancelled)" : "");
  }

 private:
  uint64_t m_sectors;
  int m_pass = -1;
  bool m_verifying = false;
  int m_percent = -1;
};

int CmdWipePartition(const std::vector<std::string>& args) {
  int passes = 1;
  bool format = true, list = false;
  char letter = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--passes" && i + 1 < args.size()) {
      passes = atoi(args[++i].c_str());
      if (ErasePassesOf(passes) != passes) {
        fprintf(stderr, "vtctl wipe-partition: --passes takes 1, 3, 7 or 35\n");
        return 2;
      }
    } else if (a == "--no-format") {
      format = false;
    } else if (a == "--list") {
      list = true;
    } else if (a.size() == 1 && CVolumeManager::IsDriveLetter(a[0] & ~0x20) && !letter) {
      letter = static_cast<char>(a[0] & ~0x20);
    } else {
      fprintf(stderr, "vtctl wipe-partition: unexpected argument %s\n", a.c_str());
      return 2;
    }
  }
  if (!letter && !list) {
    fprintf(stderr, "usage: vtctl wipe-partition [--passes N] [--no-format] LETTER | --list\n");
    return 2;
  }
  RegisterDiskTableVolumes();
  if (list) {
    for (const platform::LetteredVolume& v : platform::ListLetteredVolumes())
      printf("%s (disk %d, start %" PRIu64 ", sectors %" PRIu64 ")\n", platform::DescribeVolume(v).c_str(),
             v.diskNumber, v.startSector, v.sectorCount);
    return 0;
  }
  platform::LetteredVolume v;
  if (!platform::GetLetteredVolume(letter, &v)) {
    fprintf(stderr, "vtctl wipe-partition: no volume has the letter %c\n", letter);
    return 1;
  }
  printf("wiping %s: %d pass(es), %s\n", platform::DescribeVolume(v).c_str(), passes, ErasureMethodName(passes));
  fflush(stdout);
  ConsoleObserver observer(v.sectorCount);
  CWipePartitionRun run;
  run.SetParams(0, letter, v.diskNumber, v.startSector, v.sectorCount, v.diskSectorSize,
                v.startSector + v.sectorCount);
  run.SetExpectedDisk(v.disk);
  run.SetPasses(passes);
  if (!format) run.SetFormatter(nullptr);
  run.SetObserver(&observer);
  run.Run();
  printf("result %d: %s %s\n", run.Result(), EraseResultTitle(run.Result()),
         EraseResultText(ERASE_MODE_PARTITION, run.Result()));
  if (!run.Message().empty()) printf("reason: %s\n", run.Message().c_str());
  printf("formatted: %s\n", run.Formatted() ? "yes" : "no");
  return run.Result() == ERASE_COMPLETED ? 0 : 1;
}

VtRegistrar reg("wipe-partition",
                "wipe-partition [--passes N] [--no-format] LETTER | --list: wipe a volume with 0xFF (then NTFS quick "
                "format); --list shows the letters",
                CmdWipePartition);

}  // namespace
