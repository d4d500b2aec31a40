#pragma once

#include <cstdint>

// The volume location a quick search may write to when it scrubs: the
// mount-driver device number and the volume's first sector on that device.
// It travels as the two arguments of SetOptions; a quick search that never
// received SetOptions has no target and writes nothing.
struct WipeTarget {
  static constexpr int32_t kNoDevice = -1;
  int32_t deviceNumber = kNoDevice;
  uint64_t startSector = 0;
  bool IsSet() const { return deviceNumber >= 0; }
};
