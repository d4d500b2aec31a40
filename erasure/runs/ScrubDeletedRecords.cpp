#include "ScrubDeletedRecords.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "CVolumeDevice.h"
#include "CVolumeManager.h"
#include "DriveLetters.h"
#include "EngineError.h"
#include "FATScrubCodes.h"
#include "IRecoveryController.h"
#include "RunLog.h"
#include "ScanEngineRegistry.h"
#include "VolumeState.h"
#include "WipeTarget.h"

bool ScrubSucceeded(EFileSystemType type, int engineCode) {
  // The FAT scrub answers its own "done" code rather than 0.
  return engineCode == 0 || (IsFatFamily(type) && engineCode == fatscrub::kDone);
}

bool ScrubApplies(EFileSystemType type) {
  return type == EFileSystemType::FAT16 || type == EFileSystemType::FAT32 || type == EFileSystemType::NTFS;
}

bool ScrubComplete(const ScrubReport& report) {
  return (report.outcome == EScrubOutcome::NotApplicable || report.outcome == EScrubOutcome::Done) &&
         report.remounted;
}

const char* ScrubOutcomeText(EScrubOutcome outcome) {
  switch (outcome) {
    case EScrubOutcome::NotApplicable:
      return "scrub not applicable to this file system";
    case EScrubOutcome::Done:
      return "scrub done";
    case EScrubOutcome::SkippedBusy:
      return "scrub skipped: the volume is in use and cannot be locked";
    case EScrubOutcome::SkippedMultiExtent:
      return "scrub skipped: the volume has more than one extent";
    case EScrubOutcome::SkippedUnavailable:
      return "scrub skipped: not available for this file system";
    case EScrubOutcome::RefusedReadOnly:
      return "scrub refused: the volume is read-only";
    case EScrubOutcome::Incomplete:
      return "scrub incomplete: records of deleted files it could not confirm were left as they were";
    case EScrubOutcome::Failed:
      return "scrub failed";
    case EScrubOutcome::Cancelled:
      return "scrub cancelled";
  }
  return "scrub failed";
}

namespace {

// ERROR_WRITE_PROTECT: the medium is write-protected.
constexpr uint32_t kWriteProtected = 19;

// Runs the quick search while a watcher hands the caller's cancel flag on
// to the controller. A flag already set stops the search before it writes.
int RunCancellable(IRecoveryController* controller, IStorageDevice* device, const WipeTarget& target,
                   const std::atomic<int>* cancel) {
  if (!cancel) return controller->RunQuickSearch(device, target);
  if (cancel->load() != 0) controller->Cancel();
  std::mutex lock;
  std::condition_variable wake;
  bool finished = false;
  std::thread watcher([&] {
    std::unique_lock<std::mutex> guard(lock);
    while (!finished && cancel->load() == 0) wake.wait_for(guard, std::chrono::milliseconds(50));
    if (!finished) controller->Cancel();
  });
  const int result = controller->RunQuickSearch(device, target);
  {
    std::lock_guard<std::mutex> guard(lock);
    finished = true;
  }
  wake.notify_all();
  watcher.join();
  return result;
}

}  // namespace

ScrubReport ScrubDeletedRecords(char letter, EFileSystemType type, const ScrubOptions& options) {
  ScrubReport report;
  if (!ScrubApplies(type)) return report;
  if (options.multiExtent) {
    report.outcome = EScrubOutcome::SkippedMultiExtent;
    return report;
  }
  // Asked first, so that a volume is not unmounted for nothing.
  if (!HasQuickSearch(type)) {
    report.outcome = EScrubOutcome::SkippedUnavailable;
    report.engineCode = engine_error::kQuickNoController;
    return report;
  }
  report.outcome = EScrubOutcome::Failed;
  platform::LetteredVolume volume;
  if (!platform::GetLetteredVolume(letter, &volume) || volume.diskNumber < 0) {
    report.winError = 2;
    LogError("scrub: no volume %c:", letter);
    return report;
  }
  // Asked before the lock, which would unmount a read-only mount.
  const std::string readOnly = platform::ReadOnlyUseOfVolume(volume);
  if (!readOnly.empty()) {
    report.outcome = EScrubOutcome::RefusedReadOnly;
    report.winError = kWriteProtected;
    LogError("scrub: volume %c: refused, %s", letter, readOnly.c_str());
    return report;
  }
  CVolumeManager manager;
  if (options.expect) manager.ExpectIdentity(*options.expect);
  if (!manager.OpenVolume(volume.letter, nullptr)) {
    report.winError = manager.GetLastError();
    LogError("scrub: open volume %c: failed with %u", volume.letter, report.winError);
    return report;
  }
  if (!manager.LockVolume()) {
    report.winError = manager.GetLastError();
    LogError("WipeUnusedspace lock partition failed with %u", report.winError);
    if (report.winError == 5) report.outcome = EScrubOutcome::SkippedBusy;
    manager.CloseVolume();
    return report;
  }
  {
    // A device of the run's own: nothing a rescan releases is read through.
    CVolumeDevice device(volume.letter, true);
    if (!device.Open()) {
      LogError("scrub: volume device %c: cannot be opened", volume.letter);
    } else if (IRecoveryController* controller = CreateRecoveryController(0)) {
      controller->SetFileSystem(type, "");
      WipeTarget target;
      target.deviceNumber = volume.diskNumber;
      target.startSector = volume.startSector;
      report.engineCode = RunCancellable(controller, &device, target, options.cancel);
      controller->Release();
      if (ScrubSucceeded(type, report.engineCode))
        report.outcome = EScrubOutcome::Done;
      else if (options.cancel && options.cancel->load() != 0)
        report.outcome = EScrubOutcome::Cancelled;
      else if (report.engineCode == engine_error::kQuickNoController)
        report.outcome = EScrubOutcome::SkippedUnavailable;
      else if (report.engineCode == engine_error::kScrubIncomplete)
        report.outcome = EScrubOutcome::Incomplete;
      LogInfo("scrub: quick search of %c: returned 0x%x", volume.letter, static_cast<unsigned>(report.engineCode));
    }
    device.Close();
  }
  manager.DismountVolume();
  report.remounted = manager.UnlockVolume();
  if (!report.remounted) LogError("scrub: volume %c: was not mounted again", volume.letter);
  manager.CloseVolume();
  return report;
}
