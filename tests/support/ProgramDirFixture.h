// Shared set-up of the GUI and shell tests: a program folder of our own with chosen
// settings files, and per-user copies under a private config home.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstdlib>
#include <memory>
#include <string>

#include "TestUtil.h"

class ProgramDirFixture {
 public:
  ProgramDirFixture() : m_dir(new testutil::TempDir("shell")) {
    m_program = m_dir->path() + "/program";
    m_config = m_dir->path() + "/config";
    QDir().mkpath(QString::fromStdString(m_program));
    setenv("VANTOREL_PROGRAM_DIR", m_program.c_str(), 1);
    setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
    unsetenv("SUDO_USER");
    unsetenv("PKEXEC_UID");
  }
  ~ProgramDirFixture() {
    unsetenv("VANTOREL_PROGRAM_DIR");
    unsetenv("XDG_CONFIG_HOME");
  }
  void Write(const std::string& name, const std::string& text) const {
    testutil::WriteFile(m_program + "/" + name, text);
  }
  const std::string& Program() const { return m_program; }
  const std::string& ConfigHome() const { return m_config; }
  std::string Root() const { return m_dir->path(); }

 private:
  std::unique_ptr<testutil::TempDir> m_dir;
  std::string m_program;
  std::string m_config;
};
