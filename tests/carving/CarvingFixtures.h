// Real files of other formats that Debian packages install (listed in
// scripts/install-deps), found through the package manager's file list.
#pragma once

#include <sstream>
#include <string>

#include "TestUtil.h"

namespace carvingtest {

// The content of the file of `package` whose path ends in `suffix`; "" when
// the package or the file is not installed.
inline std::string InstalledPackageFile(const std::string& package, const std::string& suffix) {
  const testutil::CommandResult list = testutil::Run({"dpkg-query", "-L", package});
  if (list.exitCode != 0) return std::string();
  std::istringstream lines(list.output);
  for (std::string path; std::getline(lines, path);)
    if (path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
      return testutil::ReadFile(path);
  return std::string();
}

// The first 4096 bytes of such a file, as an analyser is handed them.
inline std::string FirstBytesOf(const std::string& package, const std::string& suffix) {
  return InstalledPackageFile(package, suffix).substr(0, 4096);
}

}  // namespace carvingtest
