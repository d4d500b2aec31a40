#include "VolumeLocation.h"

namespace platform {

bool ResolveDriveLetter(char letter, VolumeLocation* out) {
  (void)letter;
  (void)out;
  return false;
}

}  // namespace platform
