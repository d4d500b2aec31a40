#include "ProgramFolder.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace platform {

std::string ProgramFolder() {
  if (const char* forced = getenv("VANTOREL_PROGRAM_DIR"); forced && *forced) {
    std::string dir = forced;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
  }
  char buf[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return ".";
  std::string exe(buf, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return exe.substr(0, slash);
}

std::string ProgramFile(const std::string& name) {
  std::string dir = ProgramFolder();
  if (dir == "/") return "/" + name;
  return dir + "/" + name;
}

bool EnterProgramFolder() { return chdir(ProgramFolder().c_str()) == 0; }

}  // namespace platform
