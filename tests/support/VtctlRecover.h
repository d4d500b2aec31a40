// Runs `vtctl recover` the way the recovery tests do: it sees only the disks
// in `disks` (VANTOREL_DISKS), its program folder is the test's folder, and
// standard error is kept apart from the listing. Header-only: the vtctl
// folder comes from the test program's VANTOREL_BIN_DIR.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace testutil {

struct RecoverOutcome {
  int exitCode = -1;
  std::string out;  // standard output: the listing
  std::string err;  // standard error
  // The listing's lines split at their tabs.
  std::vector<std::vector<std::string>> Records() const {
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) records.push_back(Fields(line));
    return records;
  }
};

inline RecoverOutcome RunVtctlRecover(const TempDir& dir, const std::string& disks,
                                      const std::vector<std::string>& args) {
  std::string line = "VANTOREL_DISKS='" + disks + "' VANTOREL_PROGRAM_DIR='" + dir.path() + "' '" + VANTOREL_BIN_DIR +
                     "/vtctl' recover";
  for (const std::string& a : args) line += " '" + a + "'";
  const std::string err = dir.file("stderr");
  const CommandResult r = Shell(line + " 2>'" + err + "'");
  RecoverOutcome o;
  o.exitCode = r.exitCode;
  o.out = r.output;
  o.err = ReadFile(err);
  return o;
}

}  // namespace testutil
