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

// The lines of a command's output that are not empty.
std::vector<std::string> Lines(const std::string& text);
// The tab-separated fields of one line (a trailing tab ends an empty field).
std::vector<std::string> Fields(const std::string& line);
// `text` in single quotes for a shell command line (it holds no quote).
inline std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Whether FUSE mounts can be made here (/dev/fuse usable).
bool HaveFuse();

// Fixtures shared by the test processes of this build tree (ctest runs one
// process per test, side by side), kept in the build tree's fixtures folder
// from one run to the next. Each is made once, under a lock on its name, in
// a temporary folder that is renamed into place when the make succeeds: no
// process ever sees half a fixture, and a failed or killed make leaves
// nothing that passes for one. Tests copy a fixture before changing it.
//
// `bash tests/fixtures/<script> OUT args...`, made once per key: the key
// holds the script's contents, its arguments and what changes its output
// (root or not, FUSE usable or not). OUT is `<folder>/<file>`, or the folder
// itself when `file` is empty. Returns OUT's final path; empty when the
// script failed, its output then in `error`.
std::string SharedFixture(const std::string& script, const std::vector<std::string>& args, const std::string& file,
                          std::string& error);

// The general form: `make(folder)` fills the empty folder it is given, and
// `key` holds every input that changes what it makes. Returns the final
// folder; empty when `make` failed, its output then in `error`.
std::string SharedFixtureFolder(const std::string& name, const std::string& key,
                                const std::function<CommandResult(const std::string& folder)>& make,
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
