#include "VolumeProbeFlag.h"

std::atomic<int> VolumeProbeActive{0};
