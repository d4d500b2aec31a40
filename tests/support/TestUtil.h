// Small helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace testutil {

// A fresh folder under the build tree's tmp folder, removed when it goes.
class TempDir {
 public:
  explicit TempDir(const std::string& tag = "t");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

struct CommandResult {
  int exitCode = -1;  // -1 when it did not run or was killed
  std::string output;  // standard output and standard error together
};

// Runs argv[0] with the given arguments, no shell involved.
CommandResult Run(const std::vector<std::string>& argv);
// Runs a shell command line (for fixture scripts only).
CommandResult Shell(const std::string& commandLine);
bool HaveTool(const std::string& name);
bool IsRoot();
std::string SourceDir();
std::string BuildDir();
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// The path of `name` in the build tree's shared fixtures folder, made by
// `make` when it is not there yet. ctest runs test processes side by side,
// so the check and the making happen under a lock on the fixture: a second
// process waits for the first instead of racing it. A failed `make` leaves
// its output in `error`.
std::string SharedFixture(const std::string& name, const std::function<CommandResult(const std::string& path)>& make,
                          std::string& error);

}  // namespace testutil

// Skips the current test with a reason when a condition is not met.
#define VT_REQUIRE_ROOT()                                                   \
  do {                                                                      \
    if (!testutil::IsRoot()) GTEST_SKIP() << "needs root (runs in CI)";     \
  } while (0)
#define VT_REQUIRE_TOOL(tool)                                                            \
  do {                                                                                   \
    if (!testutil::HaveTool(tool)) GTEST_SKIP() << "needs " << (tool) << " (scripts/install-deps)"; \
  } while (0)
