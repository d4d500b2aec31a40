// vtctl uninstall over a package root of its own (the program list's
// sandbox, copied, plus a package whose pre-removal script fails) and over
// a Flatpak user installation of its own. A dpkg on PATH that notes its
// arguments before it hands over to the real one shows what ran;
// dpkg-query and flatpak answer as oracles.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"

namespace {

using testutil::Lines;
using testutil::Quote;

std::string Vtctl() {
  return Quote(std::string(VANTOREL_BIN_DIR) + "/vtctl");
}

// A package with a desktop entry whose pre-removal script exits 1.
void AddStuckPackage(const std::string& tmp, const std::string& root) {
  const std::string src = tmp + "/stuck";
  QDir().mkpath(QString::fromStdString(src + "/DEBIAN"));
  QDir().mkpath(QString::fromStdString(src + "/usr/share/applications"));
  testutil::WriteFile(src + "/DEBIAN/control",
                      "Package: nvt-stuck\nVersion: 1.0\nArchitecture: all\nMaintainer: N <n@nvt.example>\n"
                      "Description: test package\n");
  testutil::WriteFile(src + "/DEBIAN/prerm", "#!/bin/sh\necho \"nvt-stuck will not go\" >&2\nexit 1\n");
  ASSERT_EQ(chmod((src + "/DEBIAN/prerm").c_str(), 0755), 0);
  testutil::WriteFile(src + "/usr/share/applications/nvt-stuck.desktop",
                      "[Desktop Entry]\nType=Application\nName=NVT Stuck\nExec=/bin/true\n");
  auto built = testutil::Run({"dpkg-deb", "--root-owner-group", "--build", src, tmp + "/stuck.deb"});
  ASSERT_EQ(built.exitCode, 0) << built.output;
  auto installed = testutil::Run({"dpkg", "--root=" + root, "--log=/dev/null", "-i", tmp + "/stuck.deb"});
  ASSERT_EQ(installed.exitCode, 0) << installed.output;
}

class UninstallSandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testutil::IsRoot()) GTEST_SKIP() << "needs root (runs in CI)";
    if (!testutil::HaveTool("dpkg-deb")) GTEST_SKIP() << "needs dpkg-deb";
    std::string error;
    const std::string fixture = testutil::SharedFixture("make-dpkg-sandbox.sh", {}, "", error);
    ASSERT_FALSE(fixture.empty()) << error;
    root = tmp.file("root");
    ASSERT_EQ(testutil::Run({"cp", "-a", fixture + "/root", root}).exitCode, 0);
    AddStuckPackage(tmp.path(), root);
    // Every dpkg call is noted, then the real dpkg runs.
    QDir().mkpath(QString::fromStdString(tmp.file("bin")));
    calls = tmp.file("dpkg.calls");
    testutil::WriteFile(tmp.file("bin/dpkg"), "#!/bin/sh\necho \"$*\" >> " + Quote(calls) +
                                                  "\nread -r _ _ _ _ _ sid _ < /proc/$$/stat\necho \"$sid $*\" >> " +
                                                  Quote(tmp.file("sessions")) + "\nexec /usr/bin/dpkg \"$@\"\n");
    ASSERT_EQ(chmod(tmp.file("bin/dpkg").c_str(), 0755), 0);
    testutil::WriteFile(calls, "");
  }

  std::string Env() const {
    return "env -u SUDO_USER -u PKEXEC_UID HOME=" + Quote(tmp.file("home")) +
           " VANTOREL_PROGRAM_DIR=" + Quote(tmp.path()) + " PATH=" + Quote(tmp.file("bin")) + ":\"$PATH\" ";
  }
  testutil::CommandResult Uninstall(const std::string& names) const {
    return testutil::Shell(Env() + "VANTOREL_DPKG_ROOT=" + Quote(root) + " " + Vtctl() + " uninstall " + names + " 2>" +
                           Quote(tmp.file("stderr")));
  }
  // "ii", "rc", ... or "" when the database no longer knows the package.
  std::string State(const std::string& package) const {
    auto r = testutil::Run({"dpkg-query", "--root=" + root, "-W", "-f=${db:Status-Abbrev}", package});
    return r.exitCode == 0 ? r.output.substr(0, r.output.find(' ')) : "";
  }
  // The dpkg calls since the last look.
  std::vector<std::string> Calls() {
    const std::vector<std::string> lines = Lines(testutil::ReadFile(calls));
    testutil::WriteFile(calls, "");
    return lines;
  }

  testutil::TempDir tmp{"uninstall"};
  std::string root, calls;
};

TEST_F(UninstallSandbox, PackagesAreRemovedRefusedOrFailedByTheirExitCodes) {
  const std::string opts = "--root=" + root + " --force-script-chrootless";
  struct Case {
    std::string names;
    std::vector<std::string> lines;  // vtctl's
    int exitCode;
    std::vector<std::string> calls;  // dpkg's, as noted
    std::vector<std::pair<std::string, std::string>> states;
  } cases[] = {
      // A package another one depends on: the dry run refuses, nothing changes.
      {"nvt-editor",
       {"nvt-editor\trefused\tnvt-viewer depends on nvt-editor."},
       1,
       {opts + " --no-act --remove nvt-editor"},
       {{"nvt-editor", "ii"}, {"nvt-viewer", "ii"}}},
      // By the name the list shows.
      {"'NVT Viewer'",
       {"NVT Viewer\tremoved\t"},
       0,
       {opts + " --no-act --remove nvt-viewer", opts + " --remove nvt-viewer"},
       {{"nvt-viewer", ""}, {"nvt-editor", "ii"}}},
      // Never handed to dpkg.
      {"nvt-base nvt-core nvt-guard",
       {"nvt-base\trefused\tan essential package of the system", "nvt-core\trefused\ta package the system requires",
        "nvt-guard\trefused\ta protected package of the system"},
       1,
       {},
       {{"nvt-base", "ii"}, {"nvt-core", "ii"}, {"nvt-guard", "ii"}}},
      // The removal fails: its exit code and dpkg's line; the package is not
      // left marked for removal.
      {"nvt-stuck",
       {"nvt-stuck\tfailed\texit code 1: installed nvt-stuck package pre-removal script subprocess returned error "
        "exit status 1"},
       1,
       {opts + " --no-act --remove nvt-stuck", opts + " --remove nvt-stuck", opts + " --set-selections"},
       {{"nvt-stuck", "ii"}}},
      {"nvt-nothing Nothing-At-All",
       {"nvt-nothing\tfailed\tnot installed", "Nothing-At-All\tfailed\tnot a package name"},
       1,
       {},
       {}},
      // A removable one among refused ones: each on its own.
      {"nvt-editor-extra nvt-base",
       {"nvt-editor-extra\tremoved\t", "nvt-base\trefused\tan essential package of the system"},
       1,
       {opts + " --no-act --remove nvt-editor-extra", opts + " --remove nvt-editor-extra"},
       {{"nvt-editor-extra", "rc"}}},
  };
  for (const Case& c : cases) {
    const auto out = Uninstall(c.names);
    EXPECT_EQ(out.exitCode, c.exitCode) << c.names << "\n" << out.output << testutil::ReadFile(tmp.file("stderr"));
    EXPECT_EQ(Lines(out.output), c.lines) << c.names;
    EXPECT_EQ(Calls(), c.calls) << c.names;
    for (const auto& [package, state] : c.states) EXPECT_EQ(State(package), state) << c.names << ": " << package;
  }
  EXPECT_FALSE(QDir(QString::fromStdString(root + "/usr/lib/nvt-viewer")).exists());
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(root + "/etc/nvt-editor-extra.conf")));
  // What dpkg printed is in the run log.
  EXPECT_NE(testutil::ReadFile(tmp.file("RunLog.log")).find("pre-removal script subprocess returned error"),
            std::string::npos);

  // The program's own entry: the program is asked to end, dpkg goes on
  // without it.
  const auto own = Uninstall("nvt-self nvt-suite");
  EXPECT_EQ(own.exitCode, 0) << own.output;
  EXPECT_EQ(Lines(own.output),
            (std::vector<std::string>{"nvt-suite\tremoved\t",
                                      "nvt-self\tstarted\tdpkg removes it after the program has ended"}));
  EXPECT_NE(testutil::ReadFile(tmp.file("stderr")).find("the program's end was requested"), std::string::npos);
  for (int i = 0; i < 300 && !State("nvt-self").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(State("nvt-self"), "");
  const auto ownCalls = Calls();
  EXPECT_EQ(ownCalls.back(), opts + " --remove nvt-self");
  // The dry run ran in our session, the removal in one of its own.
  const std::string ours = std::to_string(getsid(0)) + " ";
  const auto sessions = Lines(testutil::ReadFile(tmp.file("sessions")));
  ASSERT_GE(sessions.size(), 2u);
  EXPECT_EQ(sessions[sessions.size() - 2], ours + opts + " --no-act --remove nvt-self");
  EXPECT_NE(sessions.back().find(" " + opts + " --remove nvt-self"), std::string::npos) << sessions.back();
  EXPECT_NE(sessions.back().rfind(ours, 0), 0u) << sessions.back();
}

TEST_F(UninstallSandbox, RefusesTheMachinesOwnDatabaseAndWorkWithoutRoot) {
  const auto machine = testutil::Shell(Env() + "env -u VANTOREL_DPKG_ROOT " + Vtctl() + " uninstall nvt-viewer 2>&1");
  EXPECT_EQ(machine.exitCode, 2);
  EXPECT_NE(machine.output.find("refusing to remove programs of this machine"), std::string::npos) << machine.output;
  const auto usage = Uninstall("--bogus nvt-viewer");
  EXPECT_EQ(usage.exitCode, 2);
  EXPECT_TRUE(Calls().empty());

  if (!testutil::HaveTool("setpriv")) GTEST_SKIP() << "needs setpriv";
  ASSERT_EQ(chmod(tmp.path().c_str(), 0755), 0);
  const auto user = testutil::Shell(Env() + "VANTOREL_DPKG_ROOT=" + Quote(root) +
                                    " setpriv --reuid=65534 --regid=65534 --clear-groups " + Vtctl() +
                                    " --log-stderr uninstall nvt-viewer 2>/dev/null");
  EXPECT_EQ(user.exitCode, 1);
  EXPECT_EQ(Lines(user.output),
            std::vector<std::string>{"nvt-viewer\trefused\tPermission denied: removing programs needs root rights "
                                     "(start the program with sudo or pkexec)"});
  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(State("nvt-viewer"), "ii");
}

TEST(UninstallStore, FlatpakAppOfTheUserInstallation) {
  VT_REQUIRE_ROOT();
  if (!testutil::HaveTool("flatpak")) GTEST_SKIP() << "flatpak is missing (scripts/install-deps)";
  std::string error;
  const std::string fixture = testutil::SharedFixture("make-flatpak-apps.sh", {}, "", error);
  if (fixture.empty()) GTEST_SKIP() << "flatpak cannot install the test's apps here:\n" << error;
  testutil::TempDir tmp("storeuninstall");
  const std::string copy = tmp.file("fp");
  ASSERT_EQ(testutil::Run({"cp", "-a", fixture, copy}).exitCode, 0);
  const std::string env = "env -u SUDO_USER -u PKEXEC_UID HOME=" + Quote(tmp.file("home")) +
                          " VANTOREL_PROGRAM_DIR=" + Quote(tmp.path()) + " FLATPAK_USER_DIR=" + Quote(copy + "/user") +
                          " FLATPAK_SYSTEM_DIR=" + Quote(copy + "/system") +
                          " FLATPAK_CONFIG_DIR=" + Quote(copy + "/config") + " ";
  const auto out = testutil::Shell(env + Vtctl() + " uninstall --store org.nvt.Bare org.nvt.Missing 2>&1");
  EXPECT_EQ(out.exitCode, 1) << out.output;
  EXPECT_EQ(Lines(out.output),
            (std::vector<std::string>{"org.nvt.Bare\tremoved\t", "org.nvt.Missing\tfailed\tnot installed"}));
  const auto listed = testutil::Shell(env + "flatpak --user list --app --columns=application 2>/dev/null");
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  EXPECT_EQ(Lines(listed.output), std::vector<std::string>{"org.nvt.Hello"});
}

}  // namespace
