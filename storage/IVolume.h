// A volume analyser: looks at the sectors at a start on a device, once, in
// its constructor or factory, and afterwards only answers what it found.
#pragma once

#include <cstdint>

#include "FileSystemTypes.h"

class IVolume {
 public:
  virtual ~IVolume() = default;
  // EFileSystemType::Unknown when nothing was recognised.
  virtual EFileSystemType GetFileSystemType() = 0;
  // Size of the file system in sectors of the device.
  virtual uint64_t GetSectorCount() = 0;
  // Copies the label into `buffer` (at most `size` bytes, terminated).
  virtual void GetVolumeLabel(char* buffer, unsigned size) = 0;
};
