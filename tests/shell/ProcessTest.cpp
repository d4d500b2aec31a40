// The program as a process: one instance per session, crash dumps from the
// signal handlers, and none on an orderly end.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <string>
#include <vector>

#include "TestUtil.h"

extern char** environ;

namespace {

const std::string kProgram = std::string(VANTOREL_BIN_DIR) + "/vantorel";
const std::string kCrashChild = std::string(VANTOREL_BUILD_DIR) + "/tests/bin/vt_crash_child";

QStringList DumpFiles(const std::string& folder) {
  return QDir(QString::fromStdString(folder)).entryList({QStringLiteral("tlmvtdump*.dmp")}, QDir::Files);
}

// A program folder and a session of our own.
class ProgramProcess {
 public:
  ProgramProcess() : m_dir("proc") {
    m_runtime = m_dir.file("run");
    mkdir(m_runtime.c_str(), 0700);
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(m_runtime));
    m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(m_dir.file("config")));
    m_env.insert(QStringLiteral("VANTOREL_PROGRAM_DIR"), QString::fromStdString(m_dir.path()));
    m_env.insert(QStringLiteral("VANTOREL_TEST_ANSWER_MS"), QStringLiteral("200"));
    m_env.insert(QStringLiteral("VANTOREL_DISKS"), QString::fromStdString(m_dir.file("none.img")));
  }
  void Start(QProcess& p) {
    p.setProcessEnvironment(m_env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QString::fromStdString(kProgram), QStringList());
  }
  std::string Log() const { return testutil::ReadFile(m_dir.file("RunLog.log")); }
  // Waits until the run log holds `text` (the program runs on its own).
  bool WaitForLog(const std::string& text, int ms = 30000) const {
    for (int waited = 0; waited < ms; waited += 50) {
      if (Log().find(text) != std::string::npos) return true;
      QThread::msleep(50);
    }
    return false;
  }
  const std::string& Folder() const { return m_dir.path(); }

 private:
  testutil::TempDir m_dir;
  std::string m_runtime;
  QProcessEnvironment m_env;
};

TEST(ProgramProcess, SecondStartRaisesTheFirstAndExits) {
  ProgramProcess session;
  QProcess first, second;
  session.Start(first);
  ASSERT_TRUE(first.waitForStarted(10000));
  ASSERT_TRUE(session.WaitForLog("Norvanta Vantorel Pro started")) << session.Log();

  session.Start(second);
  ASSERT_TRUE(second.waitForFinished(30000)) << session.Log();
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(session.WaitForLog("A later start asked for the main window")) << session.Log();
  const std::string log = session.Log();
  EXPECT_NE(log.find("Message box: Norvanta Vantorel Pro has been running!"), std::string::npos) << log;
  // Only the first instance built a window.
  size_t starts = 0;
  for (size_t at = log.find("Norvanta Vantorel Pro started"); at != std::string::npos;
       at = log.find("Norvanta Vantorel Pro started", at + 1))
    ++starts;
  EXPECT_EQ(starts, 1u);
  // The program folder is an empty one of the test's: the plug-in still
  // comes from beside the executable.
  EXPECT_NE(log.find("Traces plug-in loaded from " VANTOREL_BIN_DIR), std::string::npos) << log;
  // The second start's box is centred over the first's window.
  EXPECT_NE(log.find("Message box placed at"), std::string::npos) << log;

  // An orderly end (as on SIGTERM from the session) leaves no dump.
  first.terminate();
  ASSERT_TRUE(first.waitForFinished(30000));
  EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.exitCode(), 0);
  EXPECT_NE(session.Log().find("Norvanta Vantorel Pro ended (0)"), std::string::npos);
  EXPECT_TRUE(DumpFiles(session.Folder()).isEmpty());

  // Once the first has gone, a new start is the first again.
  QProcess third;
  session.Start(third);
  ASSERT_TRUE(third.waitForStarted(10000));
  for (int i = 0; i < 600; ++i) {
    const std::string log2 = session.Log();
    size_t n = 0;
    for (size_t at = log2.find("Norvanta Vantorel Pro started"); at != std::string::npos;
         at = log2.find("Norvanta Vantorel Pro started", at + 1))
      ++n;
    if (n == 2) break;
    QThread::msleep(50);
  }
  third.terminate();
  ASSERT_TRUE(third.waitForFinished(30000));
  EXPECT_EQ(third.exitCode(), 0);
  EXPECT_TRUE(DumpFiles(session.Folder()).isEmpty());
}

// The program's own handler is in place from the start: a fault signal
// writes the dump and still ends the program by that signal.
TEST(ProgramProcess, AFaultSignalWritesADumpInTheProgramFolder) {
  ProgramProcess session;
  QProcess program;
  session.Start(program);
  ASSERT_TRUE(program.waitForStarted(10000));
  ASSERT_TRUE(session.WaitForLog("Norvanta Vantorel Pro started")) << session.Log();
  ASSERT_EQ(kill(static_cast<pid_t>(program.processId()), SIGSEGV), 0);
  ASSERT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitStatus(), QProcess::CrashExit);
  EXPECT_EQ(DumpFiles(session.Folder()), QStringList({QStringLiteral("tlmvtdump0.dmp")}));
  const std::string dump = testutil::ReadFile(session.Folder() + "/tlmvtdump0.dmp");
  EXPECT_NE(dump.find("code: 0x0000000b"), std::string::npos) << dump;
  EXPECT_NE(dump.find("backtrace:\n"), std::string::npos) << dump;
}

// Without a display the program says so and ends with a failure status,
// writing no dump; --help and --version answer on stdout without one.
TEST(ProgramProcess, StartsWithoutADisplayAnswerOrEndCleanly) {
  struct Case {
    const char* what;
    QStringList args;
    const char* platform;  // QT_QPA_PLATFORM, empty for unset
    const char* display;   // DISPLAY, empty for unset
    int exitCode;
    const char* out;  // expected on stdout
    const char* err;  // expected on stderr
  } cases[] = {
      {"help", {QStringLiteral("--help")}, "", "", 0, "Usage: vantorel", ""},
      {"version", {QStringLiteral("--version")}, "", "", 0, "Norvanta Vantorel Pro 16.8", ""},
      {"no DISPLAY", {}, "", "", 1, "", "no display was found"},
      {"xcb without DISPLAY", {}, "xcb", "", 1, "", "no display was found"},
      // A display that is named but cannot be opened fails inside Qt.
      {"unreachable display", {}, "xcb", ":4711", 1, "", "no display was found"},
  };
  for (const Case& c : cases) {
    testutil::TempDir dir("nodisplay");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
    if (*c.platform) env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(c.platform));
    if (*c.display) env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(c.display));
    env.insert(QStringLiteral("VANTOREL_PROGRAM_DIR"), QString::fromStdString(dir.path()));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir.path()));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QString::fromStdString(kProgram), c.args);
    ASSERT_TRUE(program.waitForFinished(30000)) << c.what;
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << c.what << "\n" << err.toStdString();
    EXPECT_EQ(program.exitCode(), c.exitCode) << c.what << "\n" << err.toStdString();
    EXPECT_TRUE(out.contains(QLatin1String(c.out))) << c.what << "\n" << out.toStdString();
    EXPECT_TRUE(err.contains(QLatin1String(c.err))) << c.what << "\n" << err.toStdString();
    EXPECT_TRUE(DumpFiles(dir.path()).isEmpty()) << c.what;
  }
}

// Runs the crash child in `folder`; returns the raw wait status.
int RunCrashChild(const std::string& folder, const char* kind) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (strncmp(*e, "VANTOREL_PROGRAM_DIR=", 21) != 0) env.emplace_back(*e);
  env.push_back("VANTOREL_PROGRAM_DIR=" + folder);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = kCrashChild, arg = kind;
  char* argv[] = {program.data(), arg.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

TEST(CrashDump, FaultsWriteADumpWithABacktraceAndStillEndTheProcess) {
  struct Case {
    const char* kind;
    int signal;
  } cases[] = {{"segv", SIGSEGV}, {"abort", SIGABRT}, {"fpe", SIGFPE}, {"thread", SIGSEGV}, {"overflow", SIGSEGV}};
  for (const Case& c : cases) {
    testutil::TempDir dir("crash");
    const int status = RunCrashChild(dir.path(), c.kind);
    ASSERT_TRUE(WIFSIGNALED(status)) << c.kind << " status " << status;
    EXPECT_EQ(WTERMSIG(status), c.signal) << c.kind;
    EXPECT_EQ(DumpFiles(dir.path()), QStringList({QStringLiteral("tlmvtdump0.dmp")})) << c.kind;
    const std::string dump = testutil::ReadFile(dir.file("tlmvtdump0.dmp"));
    char code[32];
    snprintf(code, sizeof code, "code: 0x%08x", c.signal);
    EXPECT_NE(dump.find(code), std::string::npos) << c.kind << "\n" << dump;
    const size_t trace = dump.find("backtrace:\n");
    ASSERT_NE(trace, std::string::npos) << dump;
    EXPECT_NE(dump.find("vt_crash_child", trace), std::string::npos) << c.kind << "\n" << dump;
  }
  testutil::TempDir quiet("crash");
  const int status = RunCrashChild(quiet.path(), "none");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(DumpFiles(quiet.path()).isEmpty());
}

}  // namespace
