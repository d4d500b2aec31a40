#include "WipePageChecks.h"

#include <sstream>

#include "MountTable.h"
#include "VolumeState.h"

namespace wipecheck {

namespace {

bool HasOption(const std::string& options, const char* wanted) {
  std::istringstream in(options);
  std::string one;
  while (std::getline(in, one, ','))
    if (one == wanted) return true;
  return false;
}

}  // namespace

bool IsReadOnlyFrom(const std::vector<std::string>& mountOptions, bool anyMountStatRdonly, int deviceReadOnly) {
  if (anyMountStatRdonly || deviceReadOnly == 1) return true;
  for (const auto& options : mountOptions)
    if (HasOption(options, "ro")) return true;
  return false;
}

bool IsVolumeReadOnly(const platform::LetteredVolume& volume) {
  std::vector<std::string> options;
  bool statRdonly = false;
  for (const auto& m : platform::MountsOfVolume(volume.location)) {
    options.push_back(m.options);
    options.push_back(m.superOptions);
    platform::MountSpace space;
    if (platform::GetMountSpace(m.mountPoint, &space) && space.readOnly) statRdonly = true;
  }
  return IsReadOnlyFrom(options, statRdonly, platform::VolumeNodeReadOnly(volume.location));
}

bool FreeSpaceWipeSupports(EFileSystemType type) {
  switch (type) {
    case EFileSystemType::FAT12:
    case EFileSystemType::FAT16:
    case EFileSystemType::FAT32:
    case EFileSystemType::NTFS:
    case EFileSystemType::exFAT:
    case EFileSystemType::Ext2:
    case EFileSystemType::Ext3:
      return true;
    default:
      return false;
  }
}

}  // namespace wipecheck
