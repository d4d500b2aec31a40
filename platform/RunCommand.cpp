#include "RunCommand.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace platform {

std::string FindProgram(const std::string& name) {
  if (name.empty()) return std::string();
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* env = getenv("PATH");
  std::string path = std::string(env ? env : "/usr/bin:/bin") + ":/usr/sbin:/sbin:/usr/local/sbin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t colon = path.find(':', start);
    if (colon == std::string::npos) colon = path.size();
    std::string dir = path.substr(start, colon - start);
    if (!dir.empty()) {
      std::string full = dir + "/" + name;
      struct stat st;
      if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) return full;
    }
    start = colon + 1;
  }
  return std::string();
}

int RunCommand(const std::vector<std::string>& argv, std::string* output) {
  if (argv.empty()) return -1;
  std::string program = FindProgram(argv[0]);
  if (program.empty()) {
    if (output) *output = argv[0] + ": not found";
    return -1;
  }
  // Output goes to an anonymous file, read after the program ended: a
  // daemon it leaves behind (FUSE mounters) cannot keep us waiting.
  int outFd = memfd_create("vantorel-run", MFD_CLOEXEC);
  if (outFd < 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, outFd, 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  bool waited = rc == 0;
  while (waited && waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) waited = false;
  std::string text;
  char buf[4096];
  for (off_t at = 0; text.size() < (1u << 20);) {
    ssize_t n = pread(outFd, buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
    at += n;
  }
  close(outFd);
  if (output) *output = text;
  if (!waited) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace platform
