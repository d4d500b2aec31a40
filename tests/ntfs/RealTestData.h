// Where the volumes made by other systems are kept.
#pragma once

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

}  // namespace ntfstest
