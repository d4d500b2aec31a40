#include "WipePageChecks.h"

namespace wipecheck {

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
