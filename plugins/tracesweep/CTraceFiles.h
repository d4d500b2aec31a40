// Files and folders of the traces, reached from the home folder one name at
// a time without ever following a symbolic link: a link on the way to a match
// is not entered, a link that matches is left alone, and a link inside a
// removed folder is removed itself, never its target. Walks stay on the file
// system of the folder they start in.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

class CTraceFiles {
 public:
  explicit CTraceFiles(std::string home) : m_home(std::move(home)) {}
  const std::string& Home() const { return m_home; }
  std::string FullPath(const std::string& relative) const { return m_home + "/" + relative; }

  // The existing paths (relative to home) that match a pattern whose
  // components may hold the wildcards of fnmatch; sorted.
  std::vector<std::string> Match(const std::string& pattern) const;
  // Apparent size of a path as `du -b` counts it: every file, folder and link
  // below it (itself included), each inode once.
  uint64_t Measure(const std::string& relative) const;
  // Removes a path (a folder with all it holds). Returns the bytes removed,
  // counted like Measure; complete tells whether everything went.
  uint64_t Remove(const std::string& relative, bool& complete) const;
  // lstat of a matched path reached without links; false when it is not there.
  bool Stat(const std::string& relative, struct stat& st) const;

 private:
  // Opens the folder holding relative's last component, without links;
  // returns its descriptor (or -1) and the last component in leaf.
  int OpenParent(const std::string& relative, std::string& leaf) const;

  std::string m_home;
};
