#include "WipePageRuns.h"

#include <cstring>

#include "CEraseFreeSpaceProgressDlg.h"
#include "CErasePtProgressDlg.h"
#include "EraseResult.h"
#include "VolumeLock.h"

namespace {

WipeRunner& RunnerOf(int mode) {
  static WipeRunner partition;
  static WipeRunner freeSpace;
  return mode == ERASE_MODE_FREESPACE ? freeSpace : partition;
}

std::string LabelOf(const VolumeRecord& record) { return std::string(record.label, strnlen(record.label, sizeof record.label)); }

}  // namespace

int StartPartitionWipe(const VolumeWipeTarget& target, QWidget* parent) {
  CErasePtProgressDlg dlg(parent);
  dlg.SetParams(target.sectorsPerChunk, target.driveLetter, target.diskNumber, target.startSector, target.sectorCount,
                target.bytesPerSector, target.endSector);
  dlg.SetExpectedDisk(target.disk);
  dlg.SetVolumeLabel(LabelOf(target.record));
  dlg.SetExtentCount(target.extentCount);
  dlg.StartWipe();
  dlg.exec();
  return dlg.GetResult();
}

int StartFreeSpaceWipe(const VolumeWipeTarget& target, QWidget* parent) {
  CEraseFreeSpaceProgressDlg dlg(parent);
  dlg.SetPartition(target.driveLetter, target.diskNumber, target.startSector);
  dlg.SetFileSystem(target.fileSystem, target.extentCount != 1);
  dlg.SetVolumeLabel(LabelOf(target.record));
  platform::VolumeExpectation expect;
  expect.disk = target.disk;
  expect.startSector = target.startSector;
  expect.sectorCount = target.sectorCount;
  dlg.ExpectIdentity(expect);
  dlg.StartWipe();
  dlg.exec();
  return dlg.GetResult();
}

void SetWipeRunner(int mode, WipeRunner runner) { RunnerOf(mode) = std::move(runner); }

int RunWipe(int mode, const VolumeWipeTarget& target, QWidget* parent) {
  if (const WipeRunner& runner = RunnerOf(mode)) return runner(target, parent);
  return mode == ERASE_MODE_FREESPACE ? StartFreeSpaceWipe(target, parent) : StartPartitionWipe(target, parent);
}
