// Whose traces: the desktop user behind the (root) program. The user comes
// from SUDO_UID or PKEXEC_UID when the program runs as root, else the real
// uid; the home folder from the password database, never from $HOME (which
// is root's under sudo). VANTOREL_TRACES_HOME points it at another folder
// (tests), whose owner is then the user.
#pragma once

#include <sys/types.h>

#include <string>

struct CTraceTarget {
  std::string home;  // absolute, without symbolic links; empty when unknown
  uid_t uid = static_cast<uid_t>(-1);
  gid_t gid = static_cast<gid_t>(-1);

  bool IsValid() const { return !home.empty(); }
  // Resolves the target now (the environment is read at each call).
  static CTraceTarget Resolve();
};
