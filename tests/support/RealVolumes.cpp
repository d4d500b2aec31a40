#include "RealVolumes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "TestUtil.h"

namespace testutil {

bool RealVolumesRequired() {
  const char* required = getenv("VANTOREL_REQUIRE_REAL_DATA");
  return required && std::string(required) == "1";
}

std::string RealVolumeFolder() {
  // Only the check that a missing folder fails the tests points elsewhere.
  if (const char* folder = getenv("VANTOREL_TEST_REAL_DATA_FOLDER")) return folder;
  return std::filesystem::path(SourceDir() + "/../shared/testdata/real").lexically_normal().string();
}

RealVolumeLookup RealVolume(const std::string& name) {
  RealVolumeLookup found;
  const std::string path = RealVolumeFolder() + "/" + name;
  if (access(path.c_str(), R_OK) == 0) {
    found.path = path;
    return found;
  }
  found.missing = true;
  found.message = "real volume " + name + " not found at " + path + " (../shared/testdata/real beside the checkout)";
  found.message += RealVolumesRequired() ? "; VANTOREL_REQUIRE_REAL_DATA=1 requires it"
                                         : "; skipped (CI sets VANTOREL_REQUIRE_REAL_DATA=1 and fails here)";
  return found;
}

RealVolumeLookup UnpackedRealVolume(const std::string& name) {
  RealVolumeLookup found = RealVolume(name);
  if (found.path.empty()) return found;
  const std::string source = found.path;
  struct stat st {};
  stat(source.c_str(), &st);
  const std::string unpacked = name.substr(0, name.rfind(".gz"));
  // The key names the source file as it is now, so a replaced volume is
  // unpacked again.
  const std::string key = source + "\n" + std::to_string(st.st_size) + "\n" + std::to_string(st.st_mtime);
  std::string error;
  const std::string folder = SharedFixtureFolder(
      "real-" + unpacked, key,
      [&](const std::string& tmp) {
        return Run({"sh", "-c", "gunzip -c \"$0\" > \"$1\"", source, tmp + "/" + unpacked});
      },
      error);
  if (folder.empty()) {
    found.path.clear();
    found.message = "cannot unpack " + source + ": " + error;
    return found;
  }
  found.path = folder + "/" + unpacked;
  return found;
}

}  // namespace testutil
