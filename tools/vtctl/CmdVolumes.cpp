// vtctl volumes: the volume list the disk pages get from the disk list
// service, one line per volume: letter, kind, file system, label, size,
// free space, extents (disk number, start, sectors), device node and mount
// points.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "CDiskDevice.h"
#include "CDiskListService.h"
#include "DiskTable.h"
#include "DriveLetters.h"
#include "VolumeRecord.h"
#include "VolumeTypeServices.h"
#include "VtCommand.h"

namespace {

std::string Field(const char* text) {
  std::string s = text && *text ? text : "-";
  for (char& c : s)
    if (c == ' ' || c == '\t' || c == '\n') c = '_';
  return s;
}

void PrintVolume(const VolumeRecord& v) {
  char fs[16];
  GetFileSystemTypeName(v.fileSystem, fs);
  const uint64_t size = v.volumeDevice ? v.volumeDevice->GetSectorCount() * uint64_t(v.volumeDevice->GetSectorSize()) : 0;
  std::string freeText = "unknown";
  uint64_t freeBytes = 0;
  if (v.driveLetter && GetDriveFreeSpace(v.driveLetter, &freeBytes) >= 0) freeText = std::to_string(freeBytes);
  std::string extents;
  for (int i = 0; i < v.ExtentCount(); ++i) {
    char one[96];
    snprintf(one, sizeof one, "%s%d:%" PRIu64 "+%" PRIu64, i ? "," : "", v.extents[i].disk->GetDiskNumber(),
             v.extents[i].startSector, v.extents[i].sectorCount);
    extents += one;
  }
  std::string node = "-", mounts = "-";
  platform::LetteredVolume lv;
  if (v.driveLetter && platform::GetLetteredVolume(v.driveLetter, &lv)) {
    node = !lv.location.devicePath.empty()
               ? lv.location.devicePath
               : lv.location.imagePath + "@" + std::to_string(lv.location.byteOffset);
    if (!lv.mountPoints.empty()) {
      mounts.clear();
      for (const auto& m : lv.mountPoints) mounts += (mounts.empty() ? "" : ",") + m;
    }
  } else if (v.ExtentCount() > 0) {
    node.clear();
    for (int i = 0; i < v.ExtentCount(); ++i) {
      platform::DiskEntry e;
      if (platform::GetDiskEntry(v.extents[i].disk->GetDiskNumber(), &e))
        node += (node.empty() ? "" : ",") + e.path;
    }
  }
  printf("%c %-7s %-7s %-16s %14" PRIu64 " %14s %-40s %s %s\n", v.driveLetter ? v.driveLetter : '*',
         v.kind == kVolumeKindDynamic ? "dynamic" : "basic", fs, Field(v.label).c_str(), size, freeText.c_str(),
         extents.empty() ? "-" : extents.c_str(), node.c_str(), mounts.c_str());
}

}  // namespace

static int CmdVolumes(const std::vector<std::string>& args) {
  if (!args.empty()) {
    fprintf(stderr, "usage: vtctl volumes\n");
    return 2;
  }
  CDiskListService service(true);
  service.WaitForPasses();
  printf("%s %-7s %-7s %-16s %14s %14s %-40s %s %s\n", "L", "kind", "fs", "label", "bytes", "free",
         "extents(disk:start+sectors)", "device", "mounts");
  for (const VolumeRecord& v : service.GetVolumeList()) PrintVolume(v);
  service.Shutdown();
  return 0;
}

static VtRegistrar reg("volumes",
                       "volumes: the volume list of the disk pages (letter, kind, file system, label, bytes, free "
                       "bytes, extents, device node, mount points)",
                       CmdVolumes);
