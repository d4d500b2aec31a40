// Where the volumes made by other systems are kept.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "TestUtil.h"

namespace ntfstest {

// The path of testdata/real/`name` in the shared folder, which sits beside
// the main tree or one level further up from a work tree; empty when absent.
inline std::string FindRealTestData(const std::string& name) {
  for (const std::string& dir :
       {testutil::SourceDir() + "/../shared", testutil::SourceDir() + "/../../shared", std::string("/work/shared")}) {
    const std::string candidate = dir + "/testdata/real/" + name;
    if (access(candidate.c_str(), R_OK) == 0) return candidate;
  }
  return std::string();
}

// The gzipped volume `name` unpacked once into the build tree's fixtures
// folder; empty when it is not there. A failed unpack is reported in `error`.
inline std::string UnpackRealTestData(const std::string& name, std::string& error) {
  const std::string source = FindRealTestData(name);
  if (source.empty()) return std::string();
  const std::string unpacked = name.substr(0, name.size() - 3);
  const std::string folder = testutil::SharedFixtureFolder(
      "real-" + unpacked, source,
      [&](const std::string& tmp) {
        return testutil::Shell("gunzip -c '" + source + "' > '" + tmp + "/" + unpacked + "'");
      },
      error);
  return folder.empty() ? std::string() : folder + "/" + unpacked;
}

}  // namespace ntfstest
