#include "VolumeFormat.h"

#include "MountTable.h"
#include "RunCommand.h"
#include "RunLog.h"
#include "VolumeMount.h"

namespace platform {

bool QuickFormatNtfs(char letter, const VolumeExpectation* expect, std::string* output) {
  std::string dummy;
  if (!output) output = &dummy;
  LetteredVolume v;
  if (!GetLetteredVolume(letter, &v)) {
    *output = "no such volume";
    return false;
  }
  std::string why;
  if (expect && !VerifyVolumeIdentity(v.letter, *expect, &why)) {
    *output = why;
    return false;
  }
  if (!v.mountPoints.empty() || FuseDaemonHoldsVolume(v.location)) {
    *output = "the volume is in use";
    LogInfo("Format of %c: refused, the volume is mounted", v.letter);
    return false;
  }
  std::string device = v.location.devicePath;
  std::string ownLoop;
  if (device.empty()) {
    if (!AttachLoop(v.location.imagePath, v.location.byteOffset, v.location.byteLength, v.diskSectorSize, &ownLoop)) {
      *output = "no loop device for the volume";
      return false;
    }
    device = ownLoop;
  }
  int rc = RunCommand({"mkntfs", "--quick", "--force", "--partition-start", std::to_string(v.startSector),
                       "--sector-size", std::to_string(v.diskSectorSize), device},
                      output);
  if (!ownLoop.empty()) DetachOwnLoop(ownLoop);
  if (rc != 0) LogInfo("Format of %c: mkntfs failed (%d): %s", v.letter, rc, output->c_str());
  return rc == 0;
}

}  // namespace platform
