#include "ProgramFolder.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <mutex>

namespace platform {

namespace {

std::string WithoutTrailingSlash(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string FileIn(const std::string& dir, const std::string& name) {
  if (dir == "/") return "/" + name;
  return dir + "/" + name;
}

std::mutex& ResourceLock() {
  static std::mutex lock;
  return lock;
}

std::string& NamedResourceFolder() {
  static std::string folder;
  return folder;
}

}  // namespace

std::string ExecutableFolder() {
  char buf[PATH_MAX + 1];
  ssize_t n = readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return ".";
  std::string exe(buf, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return exe.substr(0, slash);
}

std::string ProgramFolder() {
  if (const char* forced = getenv("VANTOREL_PROGRAM_DIR"); forced && *forced) return WithoutTrailingSlash(forced);
  return ExecutableFolder();
}

std::string ProgramFile(const std::string& name) {
  return FileIn(ProgramFolder(), name);
}

std::string ResourceFolder() {
  {
    std::lock_guard<std::mutex> hold(ResourceLock());
    if (!NamedResourceFolder().empty()) return NamedResourceFolder();
  }
  return ExecutableFolder();
}

void SetResourceFolder(const std::string& folder) {
  std::lock_guard<std::mutex> hold(ResourceLock());
  NamedResourceFolder() = folder.empty() ? std::string() : WithoutTrailingSlash(folder);
}

std::string ResourceFile(const std::string& name) {
  return FileIn(ResourceFolder(), name);
}

bool EnterResourceFolder() {
  return chdir(ResourceFolder().c_str()) == 0;
}

}  // namespace platform
