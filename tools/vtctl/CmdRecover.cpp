// vtctl recover DISK|LETTER [--complete] [--raw] [--raw-only] [--types ID,...]
//                           [--engines LIST] [--extract [N:]PATH OUT]
//                           [--extract-carved DIR]
// Runs the recovery controllers read-only: the complete recovery over disk
// DISK, the deleted-file recovery of the volume LETTER, or with --complete
// the complete recovery over that volume's extent. Standard output carries
// the listing (recovery/RecoveryListing.h). Exit status: 0 a tree was
// listed, 1 nothing was found, 2 usage, 3 no engine could run or an engine
// failed (its code on standard error).
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "CBasicPartitionDevice.h"
#include "CDiskDevice.h"
#include "DiskTable.h"
#include "RecoveryEngines.h"
#include "RecoveryListing.h"
#include "RecoveryRun.h"
#include "VtCommand.h"
#include "VtVolumes.h"

namespace {

const char kUsage[] =
    "usage: vtctl recover DISK|LETTER [--complete] [--raw] [--engines ntfs,fat,exfat,ext2,hfsplus,raw] "
    "[--raw-only] [--types ID,...] [--extract [N:]PATH OUT] [--extract-carved DIR]\n";

int Usage(const char* why, const std::string& what = std::string()) {
  if (why) fprintf(stderr, "vtctl recover: %s%s\n", why, what.c_str());
  fputs(kUsage, stderr);
  return kRecoverUsage;
}

bool ParseNumber(const std::string& text, long max, long* out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (!isdigit(static_cast<unsigned char>(c))) return false;
  *out = strtol(text.c_str(), nullptr, 10);
  return *out <= max;
}

// "[N:]PATH": the tree number when the text starts with digits and a colon.
void ParseExtractPath(const std::string& text, RecoveryRequest& r) {
  const size_t colon = text.find(':');
  long tree = 0;
  if (colon != std::string::npos && ParseNumber(text.substr(0, colon), 1 << 20, &tree) && tree > 0) {
    r.extractTree = static_cast<int>(tree);
    r.extractPath = text.substr(colon + 1);
  } else {
    r.extractPath = text;
  }
}

// "ID,ID,...": RAW file-type ids 1 to 1999.
bool ParseTypes(const std::string& list, std::vector<int>& ids) {
  ids.clear();
  size_t from = 0;
  while (from <= list.size()) {
    size_t comma = list.find(',', from);
    if (comma == std::string::npos) comma = list.size();
    long id = 0;
    if (!ParseNumber(list.substr(from, comma - from), 1999, &id) || id < 1) return false;
    ids.push_back(static_cast<int>(id));
    from = comma + 1;
  }
  return !ids.empty();
}

int CmdRecover(const std::vector<std::string>& args) {
  RecoveryRequest request;
  EngineSelection engines;
  std::string target;
  bool complete = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--complete") {
      complete = true;
    } else if (a == "--raw") {
      request.raw = true;
    } else if (a == "--raw-only") {
      request.raw = true;
      engines.Parse("raw");
    } else if (a == "--types" && i + 1 < args.size()) {
      if (!ParseTypes(args[++i], request.rawTypes)) return Usage("bad file-type list ", "'" + args[i] + "'");
    } else if (a == "--extract-carved" && i + 1 < args.size() && request.extractCarvedDir.empty()) {
      request.extractCarvedDir = args[++i];
      if (request.extractCarvedDir.empty()) return Usage("--extract-carved needs a folder");
    } else if (a == "--engines" && i + 1 < args.size()) {
      std::string bad;
      if (!engines.Parse(args[++i], &bad)) return Usage("unknown engine ", "'" + bad + "'");
    } else if (a == "--extract" && i + 2 < args.size() && !request.extract) {
      request.extract = true;
      ParseExtractPath(args[++i], request);
      request.extractOut = args[++i];
    } else if (target.empty() && !a.empty() && a[0] != '-') {
      target = a;
    } else {
      return Usage("unexpected argument ", a);
    }
  }
  if (target.empty()) return Usage(nullptr);

  long diskNumber = -1;
  uint64_t start = 0, sectors = 0;
  const bool isDisk = ParseNumber(target, platform::kMaxDisks - 1, &diskNumber);
  if (isDisk) {
    request.complete = true;
    request.volumeName = "disk " + target;
    platform::RefreshDiskTable();
  } else if (target.size() == 1 && isalpha(static_cast<unsigned char>(target[0]))) {
    VtVolume v;
    if (!FindVtVolume(target[0], &v)) {
      fprintf(stderr, "vtctl recover: no volume %s:\n", target.c_str());
      return kRecoverNothing;
    }
    diskNumber = v.diskNumber;
    start = v.startSector;
    sectors = v.sectorCount;
    request.complete = complete;
    request.fileSystem = v.fileSystem;
    request.volumeName = std::string(1, v.letter) + ":";
  } else {
    return Usage("not a disk number or a drive letter: ", target);
  }
  if (!platform::GetDiskEntry(static_cast<int>(diskNumber), &request.disk)) {
    fprintf(stderr, "vtctl recover: no disk %ld\n", diskNumber);
    return kRecoverNothing;
  }

  // Read-only: the disk device opens its node O_RDONLY; a volume is a window
  // onto it.
  CDiskDevice disk(static_cast<int>(diskNumber));
  if (disk.GetSectorCount() == 0) {
    fprintf(stderr, "vtctl recover: disk %ld cannot be opened\n", diskNumber);
    return kRecoverNothing;
  }
  std::unique_ptr<CBasicPartitionDevice> volume;
  request.device = &disk;
  if (!isDisk) {
    volume = std::make_unique<CBasicPartitionDevice>(&disk, start, sectors);
    request.device = volume.get();
  }

  RegisterRecoveryEngines(engines);
  return RunRecovery(request, stdout, stderr);
}

VtRegistrar reg(
    "recover",
    "recover DISK|LETTER [--complete] [--raw] [--raw-only] [--types IDS] [--engines LIST] [--extract [N:]PATH OUT] "
    "[--extract-carved DIR]: list what the "
    "read-only recovery finds (complete over a disk, deleted files of a volume)",
    CmdRecover);

}  // namespace
