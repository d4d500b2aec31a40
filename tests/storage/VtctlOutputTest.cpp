// vtctl's standard output carries only the command's result: the run log
// goes to RunLog.log in the program folder (standard error with
// --log-stderr), and the engines' failure lines go with it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "TestUtil.h"

namespace {

std::string StdoutOf(const std::string& commandLine) {
  std::string out;
  FILE* p = popen(commandLine.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

TEST(VtctlOutput, StandardOutputCarriesOnlyTheResult) {
  if (!testutil::HaveTool("mkfs.fat")) GTEST_SKIP() << "mkfs.fat is missing";
  testutil::TempDir dir("vtctl-out");
  const std::string image = dir.file("fat.img");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "8M", image}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"mkfs.fat", "-F", "16", "-s", "1", "-n", "OUTVOL", image}).exitCode, 0);
  const std::string env = "VANTOREL_DISKS='" + image + "' VANTOREL_PROGRAM_DIR='" + dir.path() + "' ";
  const std::string vtctl = std::string("'") + VANTOREL_BIN_DIR + "/vtctl'";

  const std::string out = StdoutOf(env + vtctl + " volumes 2>/dev/null");
  EXPECT_NE(out.find("OUTVOL"), std::string::npos) << out;
  EXPECT_EQ(out.find("INFO"), std::string::npos) << out;
  EXPECT_EQ(out.find("DriverLetter"), std::string::npos) << out;
  const std::string log = testutil::ReadFile(dir.file("RunLog.log"));
  EXPECT_NE(log.find("DriverLetter"), std::string::npos) << log;

  // With the switch the log lines come on standard error, never on standard output.
  const std::string both = StdoutOf(env + vtctl + " --log-stderr volumes 2>&1 >/dev/null");
  EXPECT_NE(both.find("DriverLetter"), std::string::npos) << both;
  EXPECT_EQ(StdoutOf(env + vtctl + " --log-stderr volumes 2>/dev/null"), out);
}

}  // namespace
