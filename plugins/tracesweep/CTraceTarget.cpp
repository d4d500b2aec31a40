#include "CTraceTarget.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "RunLog.h"

namespace {

bool ParseUid(const char* text, uid_t& uid) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long v = strtoul(text, &end, 10);
  if (errno || *end || text[0] == '-' || v >= static_cast<unsigned long>(static_cast<uid_t>(-1))) return false;
  uid = static_cast<uid_t>(v);
  return true;
}

// The folder itself when it is a real folder; "" otherwise.
std::string RealFolder(const std::string& path) {
  char buf[PATH_MAX];
  if (path.empty() || !realpath(path.c_str(), buf)) return "";
  struct stat st;
  if (stat(buf, &st) != 0 || !S_ISDIR(st.st_mode)) return "";
  std::string real = buf;
  return real == "/" ? "" : real;
}

}  // namespace

CTraceTarget CTraceTarget::Resolve() {
  CTraceTarget t;
  if (const char* forced = getenv("VANTOREL_TRACES_HOME"); forced && *forced) {
    t.home = RealFolder(forced);
    struct stat st;
    if (!t.home.empty() && stat(t.home.c_str(), &st) == 0) {
      t.uid = st.st_uid;
      t.gid = st.st_gid;
    } else {
      t.home.clear();
    }
    return t;
  }

  uid_t uid = getuid();
  if (uid == 0) {
    uid_t invoker;
    if (ParseUid(getenv("SUDO_UID"), invoker) || ParseUid(getenv("PKEXEC_UID"), invoker)) uid = invoker;
  }
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
  struct passwd pw;
  struct passwd* found = nullptr;
  if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) != 0 || !found || !found->pw_dir) {
    LogError("TraceSweep: no password entry for uid %u", static_cast<unsigned>(uid));
    return t;
  }
  t.home = RealFolder(found->pw_dir);
  t.uid = found->pw_uid;
  t.gid = found->pw_gid;
  if (t.home.empty())
    LogError("TraceSweep: home folder %s of uid %u is missing", found->pw_dir, static_cast<unsigned>(uid));
  return t;
}
