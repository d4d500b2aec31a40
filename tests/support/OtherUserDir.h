// A folder for a program a test runs as another user. The checkout (and so
// the build tree) may lie under a private folder such as a 0700 home, which
// that user cannot pass through; a fresh folder under the system's temporary
// folder always can be reached. Made 0755 and owned by the user, removed
// with everything in it when the object goes.
#pragma once

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace testutil {

class OtherUserDir {
 public:
  OtherUserDir(uid_t user, gid_t group) {
    std::string tmpl = std::string(P_tmpdir) + "/vt-user-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp under " + std::string(P_tmpdir) + " failed");
    m_path = buf.data();
    if (chmod(m_path.c_str(), 0755) != 0 || chown(m_path.c_str(), user, group) != 0)
      throw std::runtime_error("cannot hand " + m_path + " to user " + std::to_string(user));
  }
  ~OtherUserDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  OtherUserDir(const OtherUserDir&) = delete;
  OtherUserDir& operator=(const OtherUserDir&) = delete;

  const std::string& path() const { return m_path; }
  std::string file(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

}  // namespace testutil
