// Volumes made by other systems (Mac OS X, Windows, Linux), read in place
// from `../shared/testdata/real` beside the checkout. CI must have them:
// where VANTOREL_REQUIRE_REAL_DATA=1 (set by .ci/run) a missing file fails
// the test; elsewhere it skips it with the reason.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testutil {

struct RealVolumeLookup {
  std::string path;      // empty when the volume is not at hand
  std::string message;   // why it is not
  bool missing = false;  // the file is not there (not a failed unpack)
};

// Whether a missing real volume fails the test instead of skipping it.
bool RealVolumesRequired();
// The folder the real volumes are read from.
std::string RealVolumeFolder();
// The file `name` of that folder, read in place (never write to it).
RealVolumeLookup RealVolume(const std::string& name);
// The gzipped volume `name` unpacked once into the shared fixtures folder
// (tests copy it before writing to it).
RealVolumeLookup UnpackedRealVolume(const std::string& name);

}  // namespace testutil

// Sets `target` to the path `lookup` found; otherwise skips the test, or
// fails it where the real volumes are required or the unpack failed.
#define VT_REQUIRE_REAL_VOLUME(target, lookup)                                                      \
  do {                                                                                              \
    const testutil::RealVolumeLookup vt_found_ = (lookup);                                          \
    if (vt_found_.path.empty()) {                                                                   \
      if (vt_found_.missing && !testutil::RealVolumesRequired()) GTEST_SKIP() << vt_found_.message; \
      FAIL() << vt_found_.message;                                                                  \
    }                                                                                               \
    (target) = vt_found_.path;                                                                      \
  } while (0)
