#include "ProcessControl.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace platform {

namespace {

bool ReadSmallFile(const std::string& path, std::string& out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[4096];
  ssize_t n = read(fd, buf, sizeof buf);
  close(fd);
  if (n < 0) return false;
  out.assign(buf, static_cast<size_t>(n));
  return true;
}

// The fields after the command name of /proc/<pid>/stat, from the state
// letter on; empty when unreadable. The command name is in parentheses and
// may hold ')' itself: the last one ends it.
std::string StatFields(pid_t pid) {
  std::string stat;
  if (!ReadSmallFile("/proc/" + std::to_string(pid) + "/stat", stat)) return std::string();
  size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return std::string();
  return stat.substr(close + 2);
}

// The state letter of /proc/<pid>/stat ('R', 'S', 'Z', ...), 0 when unreadable.
char ProcessState(pid_t pid) {
  const std::string fields = StatFields(pid);
  return fields.empty() ? 0 : fields[0];
}

bool ParsePid(const char* text, pid_t& pid) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  long v = strtol(text, &end, 10);
  if (errno || *end || v <= 0 || v > 0x7fffffff) return false;
  pid = static_cast<pid_t>(v);
  return true;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool NameMatches(pid_t pid, const std::vector<std::string>& names) {
  const std::string dir = "/proc/" + std::to_string(pid);
  std::string comm;
  if (ReadSmallFile(dir + "/comm", comm)) {
    while (!comm.empty() && comm.back() == '\n') comm.pop_back();
    // The kernel keeps at most 15 characters of the name.
    for (const std::string& name : names)
      if (!name.empty() && comm == name.substr(0, 15)) return true;
  }
  char target[4096];
  ssize_t n = readlink((dir + "/exe").c_str(), target, sizeof target - 1);
  if (n > 0) {
    std::string exe = BaseName(std::string(target, static_cast<size_t>(n)));
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
      exe.resize(exe.size() - deleted.size());
    for (const std::string& name : names)
      if (!name.empty() && exe == name) return true;
  }
  return false;
}

bool OwnedBy(pid_t pid, uid_t uid) {
  std::string status;
  if (!ReadSmallFile("/proc/" + std::to_string(pid) + "/status", status)) return false;
  size_t at = status.find("\nUid:");
  if (at == std::string::npos) return false;
  // "Uid:\treal\teffective\tsaved\tfs": the real id.
  return strtoul(status.c_str() + at + 5, nullptr, 10) == uid;
}

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Waits until none of pids is alive or graceMs have passed.
void WaitGone(const std::vector<pid_t>& pids, int graceMs) {
  for (int waited = 0;; waited += 20) {
    bool any = false;
    for (pid_t p : pids) any = any || IsProcessAlive(p);
    if (!any || waited >= graceMs) return;
    SleepMs(20);
  }
}

bool MayTerminate(pid_t pid) {
  return pid > 1 && pid != getpid();
}

}  // namespace

std::vector<pid_t> FindProcessIds(const std::vector<std::string>& names, uid_t uid) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  const pid_t self = getpid();
  while (dirent* e = readdir(proc)) {
    pid_t pid;
    if (!ParsePid(e->d_name, pid) || pid == self) continue;
    if (!NameMatches(pid, names)) continue;
    if (uid != static_cast<uid_t>(-1) && !OwnedBy(pid, uid)) continue;
    if (!IsProcessAlive(pid)) continue;
    found.push_back(pid);
  }
  closedir(proc);
  std::sort(found.begin(), found.end());
  return found;
}

bool IsProcessAlive(pid_t pid) {
  if (pid <= 0) return false;
  char state = ProcessState(pid);
  return state != 0 && state != 'Z' && state != 'X';
}

unsigned long long ProcessStartTime(pid_t pid) {
  if (pid <= 0) return 0;
  const std::string fields = StatFields(pid);
  if (fields.empty() || fields[0] == 'Z' || fields[0] == 'X') return 0;
  // The start time is field 22 of the line; the state letter is field 3.
  std::istringstream in(fields);
  std::string word;
  for (int field = 3; field <= 22 && in >> word; ++field)
    if (field == 22) return strtoull(word.c_str(), nullptr, 10);
  return 0;
}

std::vector<pid_t> TerminateProcesses(const std::vector<pid_t>& pids, int graceMs) {
  std::vector<pid_t> targets;
  for (pid_t p : pids)
    if (MayTerminate(p) && IsProcessAlive(p)) targets.push_back(p);
  for (pid_t p : targets) kill(p, SIGTERM);
  WaitGone(targets, graceMs);
  bool killed = false;
  for (pid_t p : targets)
    if (IsProcessAlive(p)) killed = kill(p, SIGKILL) == 0 || killed;
  if (killed) WaitGone(targets, 1000);
  std::vector<pid_t> alive;
  for (pid_t p : pids)
    if (IsProcessAlive(p)) alive.push_back(p);
  return alive;
}

bool TerminateProcessById(pid_t pid, int graceMs) {
  if (!MayTerminate(pid)) return false;
  return TerminateProcesses({pid}, graceMs).empty();
}

}  // namespace platform
