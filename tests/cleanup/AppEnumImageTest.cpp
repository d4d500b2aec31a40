// The program list over real package and Flatpak databases made by the
// fixtures: Debian packages installed with dpkg --root into a package root of
// their own, Flatpak apps installed with flatpak --user into a user
// installation of their own. dpkg-query and flatpak answer as oracles.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CAppEnum.h"
#include "TestUtil.h"

namespace {

using testutil::Lines;
using testutil::Quote;

using testutil::Fields;

// The package root and the .deb files, made once for every test process.
std::string DpkgFixture() {
  std::string error;
  const std::string folder = testutil::SharedFixture("make-dpkg-sandbox.sh", {}, "", error);
  if (folder.empty()) ADD_FAILURE() << "the package sandbox could not be made:\n" << error;
  return folder;
}

// A desktop user of the test's own: HOME in the test's folder, nothing
// found through sudo or pkexec.
void UseHome(const std::string& home) {
  unsetenv("SUDO_USER");
  unsetenv("PKEXEC_UID");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", home.c_str(), 1);
}

std::string Env(const std::string& tmp, const std::string& home) {
  return "env -u SUDO_USER -u PKEXEC_UID -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME=" + Quote(home) +
         " VANTOREL_PROGRAM_DIR=" + Quote(tmp) + " ";
}

std::string Vtctl() {
  return Quote(std::string(VANTOREL_BIN_DIR) + "/vtctl");
}

TEST(AppEnumImage, ProgramListOfAPackageRoot) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("dpkg-deb");
  const std::string fixture = DpkgFixture();
  ASSERT_FALSE(fixture.empty());
  const std::string root = fixture + "/root";
  testutil::TempDir tmp("apps");
  const std::string home = tmp.file("home");
  // The desktop user's own entry renames the row (and does not hide it).
  QDir().mkpath(QString::fromStdString(home + "/.local/share/applications"));
  testutil::WriteFile(home + "/.local/share/applications/nvt-editor.desktop",
                      "[Desktop Entry]\nType=Application\nName=Mein Editor\nNoDisplay=true\n");

  // Versions and sizes as the package database answers them.
  std::map<std::string, std::pair<std::string, long long>> db;
  const auto oracle =
      testutil::Run({"dpkg-query", "--root=" + root, "-W", "-f=${Package}\t${Version}\t${Installed-Size}\n"});
  ASSERT_EQ(oracle.exitCode, 0) << oracle.output;
  for (const std::string& line : Lines(oracle.output)) {
    const auto f = Fields(line);
    ASSERT_EQ(f.size(), 3u) << line;
    db[f[0]] = {f[1], std::stoll(f[2]) * 1024};
  }
  ASSERT_EQ(db.size(), 12u) << oracle.output;
  auto row = [&](const std::string& list, const std::string& name, const std::string& pkg, const std::string& folder,
                 int self) {
    const std::string publisher = "Jürgen Äbel";
    return list + "\t" + name + "\t" + pkg + "\t" + db[pkg].first + "\t" + publisher + "\t" +
           std::to_string(db[pkg].second) + "\t" + (folder.empty() ? "" : root + folder) + "\t" + std::to_string(self);
  };
  std::string longName = "L";
  for (int i = 0; i < 49; ++i) longName += "é";  // 99 of the name's 299 bytes
  const std::vector<std::string> expected = {
      row("app", "Mein Editor", "nvt-editor", "/opt/nvt-editor", 0),
      row("app", "NVT Editor Extra", "nvt-editor-extra", "", 0),
      row("app", longName, "nvt-long", "", 0),
      row("app", "NVT Own Tool", "nvt-own", "", 0),
      row("app", "Norvanta Vantorel Pro", "nvt-self", "", 1),
      row("app", "NVT Suite – Ωmega", "nvt-suite", "/usr/share/nvt-suite", 0),
      row("app", "NVT Viewer", "nvt-viewer", "/usr/lib/nvt-viewer", 0),
      row("child", "NVT Draw", "nvt-suite", "/usr/share/nvt-suite", 0),
  };
  const auto out = testutil::Shell(Env(tmp.path(), home) + "VANTOREL_DPKG_ROOT=" + Quote(root) + " " + Vtctl() +
                                   " apps --children 2>/dev/null");
  ASSERT_EQ(out.exitCode, 0) << out.output;
  EXPECT_EQ(Lines(out.output), expected) << out.output;

  // Run from a file of a package, the program marks that package as its own.
  const std::string copy = tmp.file("root");
  ASSERT_EQ(testutil::Run({"cp", "-a", root, copy}).exitCode, 0);
  ASSERT_EQ(testutil::Run({"install", "-m", "755", std::string(VANTOREL_BIN_DIR) + "/vtctl", copy + "/usr/bin/nvt-own"})
                .exitCode,
            0);
  const auto own = testutil::Shell(Env(tmp.path(), home) + "VANTOREL_DPKG_ROOT=" + Quote(copy) + " " +
                                   Quote(copy + "/usr/bin/nvt-own") + " apps 2>/dev/null");
  ASSERT_EQ(own.exitCode, 0) << own.output;
  std::string ownRows;
  for (const std::string& line : Lines(own.output))
    if (Fields(line).back() == "1") ownRows += Fields(line).at(2) + " ";
  EXPECT_EQ(ownRows, "nvt-own nvt-self ") << own.output;

  // In process: the record carries the desktop ids and the uninstall text.
  UseHome(home);
  // The page enumerates on a worker thread, as here (vtctl above has no
  // GUI at all: the enumeration makes no widget and no image).
  CAppEnum apps{DpkgDatabase(QString::fromStdString(root))};
  std::thread worker([&apps] { apps.Enum(); });
  worker.join();
  ASSERT_EQ(apps.GetApps().size(), 7u);
  const InstalledApp suite = apps.GetApps()[5];  // the lists come back as copies
  EXPECT_EQ(suite.desktopIds, (QStringList{"nvt-suite.desktop", "nvt-suite-draw.desktop"}));
  EXPECT_EQ(suite.iconGroup, QStringLiteral("nvt-suite.desktop;nvt-suite-draw.desktop"));
  EXPECT_EQ(suite.uninstallCommand, QStringLiteral("dpkg --remove nvt-suite"));
  EXPECT_EQ(suite.iconPath, QStringLiteral("nvt-suite"));
  EXPECT_EQ(apps.GetChildEntries().at(0).desktopIds, QStringList{"nvt-suite-draw.desktop"});
  EXPECT_EQ(apps.GetApps()[2].name.toUtf8().size(), 99);
}

TEST(AppEnumImage, LeftoversOfARemovedPackage) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("dpkg-deb");
  const std::string fixture = DpkgFixture();
  ASSERT_FALSE(fixture.empty());
  testutil::TempDir tmp("leftovers");
  const std::string home = tmp.file("home");
  QDir().mkpath(QString::fromStdString(home + "/.config"));
  testutil::WriteFile(home + "/.config/mimeapps.list",
                      "[Default Applications]\ntext/plain=nvt-editor.desktop;nvt-editor-extra.desktop;\n"
                      "[Added Associations]\ntext/x-nvt=nvt-suite-draw.desktop;\n");
  UseHome(home);

  // The records as the list showed them while the packages were installed.
  CAppEnum before{DpkgDatabase(QString::fromStdString(fixture + "/root"))};
  before.Enum();
  std::map<QString, InstalledApp> records;
  for (const InstalledApp& app : before.GetApps()) records[app.packageId] = app;
  ASSERT_EQ(records.count("nvt-editor"), 1u);

  const std::string root = tmp.file("root");
  ASSERT_EQ(testutil::Run({"cp", "-a", fixture + "/root", root}).exitCode, 0);
  const auto removed = testutil::Run(
      {"dpkg", "--root=" + root, "--log=/dev/null", "--force-depends", "--remove", "nvt-editor-extra", "nvt-editor"});
  ASSERT_EQ(removed.exitCode, 0) << removed.output;
  ASSERT_EQ(testutil::Run({"rm", root + "/etc/nvt-editor-extra.conf"}).exitCode, 0);
  const auto state = testutil::Run({"dpkg-query", "--root=" + root, "-W", "-f=${db:Status-Status}", "nvt-editor"});
  ASSERT_EQ(state.output, "config-files");
  const auto md5 = testutil::Run({"md5sum", root + "/etc/nvt-editor.conf"});
  ASSERT_EQ(md5.exitCode, 0);
  const std::string sum = md5.output.substr(0, 32);

  InstalledApp generic;
  generic.packageId = "nvt";
  generic.name = "NVT";
  const std::string mime = home + "/.config/mimeapps.list|";
  struct Case {
    InstalledApp app;
    std::vector<std::string> texts;  // "kind text"
  } cases[] = {
      {records["nvt-editor"],
       {"2 nvt-editor|/etc/nvt-editor.conf:" + sum, "2 nvt-editor",
        "3 " + mime + "[Default Applications] text/plain=nvt-editor.desktop"}},
      // Its configuration file is gone: only the package is left.
      {records["nvt-editor-extra"],
       {"2 nvt-editor-extra", "3 " + mime + "[Default Applications] text/plain=nvt-editor-extra.desktop"}},
      // Still installed: never an item of its own; its second entry's
      // association is.
      {records["nvt-suite"], {"3 " + mime + "[Added Associations] text/x-nvt=nvt-suite-draw.desktop"}},
      {records["nvt-viewer"], {}},
      // A short name that other packages' names contain finds nothing.
      {generic, {}},
  };
  CAppEnum after{DpkgDatabase(QString::fromStdString(root))};
  for (const Case& c : cases) {
    std::vector<std::string> texts;
    for (const LeftoverItem& item : after.FindRegistryLeftovers(c.app)) {
      texts.push_back(std::to_string(item.kind) + " " + item.text.toStdString());
      if (item.kind == 2) {
        EXPECT_EQ(item.path, c.app.packageId);
      }
    }
    EXPECT_EQ(texts, c.texts) << c.app.packageId.toStdString();
  }
  const auto editor = after.FindRegistryLeftovers(records["nvt-editor"]);
  ASSERT_EQ(editor.size(), 3u);
  EXPECT_EQ(editor[0].valueName, QStringLiteral("/etc/nvt-editor.conf"));
  EXPECT_TRUE(editor[1].valueName.isEmpty());
  EXPECT_EQ(editor[2].path.toStdString(), home + "/.config/mimeapps.list");
}

TEST(AppEnumImage, FlatpakAppsOfTheUserInstallation) {
  VT_REQUIRE_ROOT();
  if (!testutil::HaveTool("flatpak")) GTEST_SKIP() << "flatpak is missing (scripts/install-deps)";
  std::string error;
  const std::string fixture = testutil::SharedFixture("make-flatpak-apps.sh", {}, "", error);
  if (fixture.empty()) GTEST_SKIP() << "flatpak cannot install the test's apps here:\n" << error;
  testutil::TempDir tmp("store");
  const std::string home = tmp.file("home");
  const std::string env = Env(tmp.path(), home) + "FLATPAK_USER_DIR=" + Quote(fixture + "/user") +
                          " FLATPAK_SYSTEM_DIR=" + Quote(fixture + "/system") +
                          " FLATPAK_CONFIG_DIR=" + Quote(fixture + "/config") + " ";

  const auto listed = testutil::Shell(env + "flatpak --user list --app --columns=application,version 2>/dev/null");
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  std::map<std::string, std::string> versions;
  for (const std::string& line : Lines(listed.output)) {
    const auto f = Fields(line);
    versions[f.at(0)] = f.size() > 1 ? f[1] : "";
  }
  ASSERT_EQ(versions.size(), 2u) << listed.output;

  auto size = [&](const std::string& id) {
    // Files that are not hidden, in folders that are not hidden.
    const auto sum =
        testutil::Shell("find \"$(readlink -f " + Quote(fixture + "/user/app/" + id + "/current/active") +
                        ")\" -name '.*' -prune -o -type f -printf '%s\\n' | awk '{s+=$1} END {print s+0}'");
    return sum.output.substr(0, sum.output.find('\n'));
  };
  const std::vector<std::string> expected = {
      "store\tBare App\torg.nvt.Bare\t" + versions["org.nvt.Bare"] + "\tBare Team\t" + size("org.nvt.Bare") +
          "\torg.nvt.Bare\t0",
      "store\tHello Wörld\torg.nvt.Hello\t" + versions["org.nvt.Hello"] + "\tNvt Labs\t" + size("org.nvt.Hello") +
          "\torg.nvt.Hello\t0",
  };
  EXPECT_EQ(versions["org.nvt.Hello"], "2.3.1");
  EXPECT_EQ(versions["org.nvt.Bare"], "");
  const auto out = testutil::Shell(env + Vtctl() + " apps --store 2>/dev/null");
  ASSERT_EQ(out.exitCode, 0) << out.output;
  EXPECT_EQ(Lines(out.output), expected) << out.output;

  // In process: the record's store fields and the data folder left behind.
  UseHome(home);
  setenv("FLATPAK_USER_DIR", (fixture + "/user").c_str(), 1);
  setenv("FLATPAK_SYSTEM_DIR", (fixture + "/system").c_str(), 1);
  CAppEnum apps;
  apps.EnumWinApps();
  ASSERT_EQ(apps.GetStoreApps().size(), 2u);
  const InstalledApp hello = apps.GetStoreApps()[1];  // a copy, as above
  EXPECT_TRUE(hello.isStoreApp);
  EXPECT_EQ(hello.installation, AppInstallation::User);
  EXPECT_EQ(hello.uninstallCommand, QStringLiteral("flatpak uninstall --user -y --noninteractive org.nvt.Hello"));
  EXPECT_EQ(hello.backgroundColour, QStringLiteral("#0077d7"));
  EXPECT_TRUE(hello.logoPath.endsWith("/export/share/icons/hicolor/128x128/apps/org.nvt.Hello.png"))
      << hello.logoPath.toStdString();
  EXPECT_TRUE(QFileInfo(hello.logoPath)
                  .canonicalFilePath()
                  .startsWith(QFileInfo(QString::fromStdString(fixture + "/user")).canonicalFilePath() + "/"));

  const std::string data = home + "/.var/app/";
  QDir().mkpath(QString::fromStdString(data + "org.nvt.Hello/config"));
  QDir().mkpath(QString::fromStdString(tmp.file("elsewhere")));
  ASSERT_EQ(symlink(tmp.file("elsewhere").c_str(), (data + "org.nvt.Bare").c_str()), 0);
  const auto found = apps.EnumMrtCache("org.nvt.Hello");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].keyPath.toStdString(), data + "org.nvt.Hello");
  EXPECT_EQ(found[0].kind, 0);
  EXPECT_TRUE(apps.EnumMrtCache("org.nvt.Bare").empty());  // a link, not the app's folder
  EXPECT_TRUE(apps.EnumMrtCache("org.nvt.hello").empty());
  EXPECT_TRUE(apps.EnumMrtCache("../home").empty());
}

}  // namespace
