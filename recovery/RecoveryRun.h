// One recovery as `vtctl recover` runs it: the complete recovery of a disk
// or a volume's extent, or the deleted-file recovery of a volume, then the
// listing (RecoveryListing.h) on `out` and, when asked, the extraction of
// one listed file to a new file outside the scanned disk. The searches and
// the builder come from the registry (RegisterRecoveryEngines); nothing is
// written to the scanned device.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "DiskTable.h"
#include "FileSystemTypes.h"

class IStorageDevice;

// Exit codes.
enum : int { kRecoverListed = 0, kRecoverNothing = 1, kRecoverUsage = 2, kRecoverEngineError = 3 };

struct RecoveryRequest {
  // The disk, or the volume's extent on it; opened read-only by the caller.
  IStorageDevice* device = nullptr;
  // The disk the device reads (an extracted file may not land on it).
  platform::DiskEntry disk;
  // The deleted-file recovery of a volume of `fileSystem` when false.
  bool complete = true;
  EFileSystemType fileSystem = EFileSystemType::Unknown;
  std::string volumeName;
  bool raw = false;
  // With `raw`: the RAW file-type ids to carve (empty: the default
  // selection), and the folder that receives every carved file as
  // <start offset>.<ext> (empty: none are written).
  std::vector<int> rawTypes;
  std::string extractCarvedDir;
  // The extraction: the listed file `extractPath` of tree `extractTree`
  // (0: the first tree that lists it) to the new file `extractOut`.
  bool extract = false;
  int extractTree = 0;
  std::string extractPath;
  std::string extractOut;
};

// Runs the recovery and answers an exit code: kRecoverListed when a tree was
// listed, kRecoverNothing when nothing was found (or the file to extract was
// not found or did not read), kRecoverUsage for an extraction target that is
// refused, kRecoverEngineError when no engine could run or an engine failed
// (its code goes to `err`). The caps the builder noted are listed too.
int RunRecovery(const RecoveryRequest& request, FILE* out, FILE* err);

// Why `out` may not receive an extracted file of `disk` (it exists, its
// folder does not, or its folder lies on the disk); empty when it may.
std::string RefuseExtractTarget(const std::string& out, const platform::DiskEntry& disk);

// The name a carved file starting at byte `offset` gets in the extraction
// folder: "<offset>.<ext>", "bin" for no extension; any character of the
// extension but a letter or digit becomes '_'.
std::string CarvedFileName(uint64_t offset, const std::string& ext);
