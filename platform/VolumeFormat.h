// The quick NTFS format of a wiped volume ("format X: /FS:NTFS /Q /Y").
#pragma once

#include <string>

#include "VolumeLock.h"

namespace platform {

// Runs `mkntfs --quick --force` with the volume's partition start and
// sector size on its own block device (an image window through a loop
// device of our own, detached afterwards), without a shell. Refuses a
// mounted volume, one held by a FUSE daemon, and (when `expect` is given)
// one that is not the expected volume. True when mkntfs exited with 0;
// its output lands in *output.
bool QuickFormatNtfs(char letter, const VolumeExpectation* expect = nullptr, std::string* output = nullptr);

}  // namespace platform
