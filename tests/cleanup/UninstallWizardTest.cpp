// The uninstall wizard on the offscreen platform: its confirmation, the
// removals of three packages of a package root of its own (one refused by
// dpkg), the pauses between them, what Cancel may do when, and the bus.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "BusSpy.h"
#include "CAppEnum.h"
#include "CBPQtLabel.h"
#include "CReadyUninstallDlg.h"
#include "CTitleBtn.h"
#include "CWindowDlgTitle.h"
#include "MsgDefine.h"
#include "PopupWindowButton.h"
#include "TestUtil.h"

namespace {

using testutil::BusSpy;
using testutil::Pump;

InstalledApp Program(const QString& package, const QString& name) {
  InstalledApp app;
  app.packageId = package;
  app.name = name;
  app.publisher = QStringLiteral("Nvt");
  return app;
}

bool WaitUntil(const std::function<bool()>& condition, int ms = 30000) {
  for (int waited = 0; waited < ms && !condition(); waited += 10) Pump(10);
  return condition();
}

// A copy of the program list's package root, for this process's runs.
std::string UseSandbox(const testutil::TempDir& tmp) {
  std::string error;
  const std::string fixture = testutil::SharedFixture("make-dpkg-sandbox.sh", {}, "", error);
  if (fixture.empty()) {
    ADD_FAILURE() << error;
    return std::string();
  }
  const std::string root = tmp.file("root");
  if (testutil::Run({"cp", "-a", fixture + "/root", root}).exitCode != 0) return std::string();
  setenv("VANTOREL_DPKG_ROOT", root.c_str(), 1);
  unsetenv("SUDO_USER");
  unsetenv("PKEXEC_UID");
  setenv("HOME", tmp.file("home").c_str(), 1);
  return root;
}

std::map<QString, InstalledApp> ListedPrograms() {
  CAppEnum apps;
  apps.Enum();
  std::map<QString, InstalledApp> listed;
  for (const InstalledApp& app : apps.GetApps()) listed[app.packageId] = app;
  return listed;
}

// "ii ", "rc ", ... or "gone" when the package root no longer knows it.
std::string State(const std::string& root, const std::string& package) {
  auto r = testutil::Run({"dpkg-query", "--root=" + root, "-W", "-f=${db:Status-Abbrev}", package});
  return r.exitCode == 0 ? r.output : std::string("gone");
}

TEST(UninstallWizard, ConfirmationCancelAndAnEmptyList) {
  BusSpy bus({MSG_UNINSTALL_FINISHED, MSG_STANDARD_UNINSTALL_DONE});
  {
    CReadyUninstallDlg empty;
    empty.SetPrograms({}, 0);
    empty.InitUI();
    empty.show();
    EXPECT_FALSE(empty.OkButton()->isEnabled());
    EXPECT_EQ(empty.ProgramTree()->topLevelItemCount(), 0);
    empty.OnOKClicked();
    EXPECT_FALSE(empty.IsRemoving());
  }
  CReadyUninstallDlg dlg;
  dlg.SetPrograms({Program("nvt-a", "A"), Program("nvt-b", "B")}, 0);
  dlg.InitUI();
  dlg.show();
  EXPECT_EQ(dlg.width(), 583);  // 460 high, or more where the content needs it
  EXPECT_GE(dlg.height(), 460);
  EXPECT_EQ(dlg.TitleLine()->text(),
            QStringLiteral("Do you want to uninstall the selected <font color='#1f1f1f'><b>2 </b></font> programs?"));
  EXPECT_EQ(dlg.OkButton()->text(), QStringLiteral("Uninstall"));
  EXPECT_TRUE(dlg.OkButton()->isEnabled());
  QTreeWidget* tree = dlg.ProgramTree();
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  EXPECT_TRUE(tree->isColumnHidden(0));
  EXPECT_EQ(tree->topLevelItem(1)->data(1, Qt::UserRole).toInt(), 1);
  EXPECT_TRUE(dlg.CompletionMark(0)->isHidden());
  EXPECT_TRUE(dlg.ReasonLine(1)->isHidden());
  // Cancel before OK: closed, nothing sent.
  dlg.CancelButton()->click();
  EXPECT_FALSE(dlg.isVisible());
  Pump(50);
  EXPECT_TRUE(bus.Empty());
}

// Programs that are nowhere installed (an empty package root and empty
// Flatpak installations): each run fails at once, and the title bar's close
// button then tells the program list to reload, as Cancel does.
TEST(UninstallWizard, TitleBarCloseAfterARunTellsTheListToReload) {
  testutil::TempDir tmp("wizardclose");
  QDir().mkpath(QString::fromStdString(tmp.file("root/var/lib/dpkg")));
  testutil::WriteFile(tmp.file("root/var/lib/dpkg/status"), "");
  setenv("VANTOREL_DPKG_ROOT", tmp.file("root").c_str(), 1);
  setenv("FLATPAK_SYSTEM_DIR", tmp.file("system").c_str(), 1);
  setenv("FLATPAK_USER_DIR", tmp.file("user").c_str(), 1);
  for (int store : {0, 1}) {
    InstalledApp app = Program(store ? "org.nvt.Gone" : "nvt-gone", "Gone");
    app.isStoreApp = store != 0;
    BusSpy bus({MSG_UNINSTALL_FINISHED, MSG_STANDARD_UNINSTALL_DONE});
    CReadyUninstallDlg dlg;
    dlg.SetPrograms({app}, store);
    dlg.InitUI();
    dlg.show();
    dlg.OkButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return dlg.Stage() == 1; })) << store;
    EXPECT_EQ(bus.Count(MSG_STANDARD_UNINSTALL_DONE), 1);
    ASSERT_EQ(dlg.Results().size(), 1u);
    EXPECT_NE(dlg.Results()[0].second.status, UninstallStatus::Removed);
    EXPECT_TRUE(dlg.CompletionMark(0)->isHidden());
    SendBusMsg(MSG_TITLE_CLOSE);
    EXPECT_FALSE(dlg.isVisible());
    Pump(50);
    EXPECT_EQ(bus.Values(MSG_UNINSTALL_FINISHED), std::vector<int32_t>{store}) << store;
  }
  unsetenv("VANTOREL_DPKG_ROOT");
  unsetenv("FLATPAK_SYSTEM_DIR");
  unsetenv("FLATPAK_USER_DIR");
}

// Three programs of a package root of the test's own; dpkg refuses the
// second, which an installed package depends on.
TEST(UninstallWizard, RemovesOneAfterTheOtherAndMarksOnlyWhatWentAway) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("dpkg-deb");
  testutil::TempDir tmp("wizard");
  const std::string root = UseSandbox(tmp);
  ASSERT_FALSE(root.empty());
  std::map<QString, InstalledApp> listed = ListedPrograms();
  const std::vector<InstalledApp> chosen = {listed["nvt-suite"], listed["nvt-editor"], listed["nvt-long"]};
  ASSERT_EQ(chosen[1].packageId, QStringLiteral("nvt-editor"));

  BusSpy bus({MSG_UNINSTALL_FINISHED, MSG_STANDARD_UNINSTALL_DONE, MSG_EXIT_APP});
  CReadyUninstallDlg dlg;
  dlg.SetPrograms(chosen, 0);
  dlg.InitUI();
  dlg.show();
  dlg.OkButton()->click();

  for (int i = 0; i < 3; ++i) {
    const QString title = QStringLiteral("Standard uninstall %1 (%2/3)").arg(chosen[i].name).arg(i + 1);
    ASSERT_TRUE(WaitUntil([&] { return dlg.IsRemoving() && dlg.TitleLine()->text() == title; }))
        << dlg.TitleLine()->text().toStdString();
    // While dpkg runs nothing ends the wizard.
    EXPECT_FALSE(dlg.OkButton()->isEnabled());
    EXPECT_FALSE(dlg.CancelButton()->isEnabled());
    EXPECT_FALSE(dlg.TitleBar()->CloseButton()->isEnabled());
    if (i == 0) {
      SendBusMsg(MSG_TITLE_CLOSE);
      dlg.reject();
      EXPECT_TRUE(dlg.isVisible());
    }
    ASSERT_TRUE(WaitUntil([&] { return dlg.Results().size() == static_cast<size_t>(i + 1); }));
    if (i < 2) {
      // A second's pause, in which Cancel works again.
      EXPECT_TRUE(dlg.PauseTimer()->isActive());
      EXPECT_EQ(dlg.PauseTimer()->interval(), 1000);
      EXPECT_TRUE(dlg.CancelButton()->isEnabled());
      EXPECT_EQ(dlg.TitleLine()->text(), title);
    } else {
      EXPECT_FALSE(dlg.PauseTimer()->isActive());
    }
  }
  EXPECT_EQ(bus.Count(MSG_STANDARD_UNINSTALL_DONE), 3);
  EXPECT_EQ(dlg.Stage(), 1);
  EXPECT_EQ(dlg.OkButton()->text(), QStringLiteral("Deep Clean"));
  EXPECT_FALSE(dlg.OkButton()->isEnabled());  // until the leftover scan is there
  EXPECT_EQ(dlg.TitleLine()->text(), QStringLiteral("Deep Scan"));

  const UninstallStatus expected[] = {UninstallStatus::Removed, UninstallStatus::Refused, UninstallStatus::Removed};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(dlg.Results()[i].first.packageId, chosen[i].packageId);
    EXPECT_EQ(dlg.Results()[i].second.status, expected[i]) << i;
    EXPECT_EQ(dlg.CompletionMark(i)->isHidden(), i == 1) << i;
    EXPECT_EQ(dlg.ReasonLine(i)->isHidden(), i != 1) << i;
  }
  EXPECT_TRUE(dlg.ReasonLine(1)->toolTip().contains("nvt-viewer depends on nvt-editor"))
      << dlg.ReasonLine(1)->toolTip().toStdString();
  EXPECT_EQ(State(root, "nvt-editor"), "ii ");
  EXPECT_EQ(State(root, "nvt-suite"), "gone");
  EXPECT_EQ(State(root, "nvt-long"), "gone");

  // Cancel after OK: the program list is told to reload.
  dlg.CancelButton()->click();
  EXPECT_FALSE(dlg.isVisible());
  Pump(50);
  EXPECT_EQ(bus.Values(MSG_UNINSTALL_FINISHED), std::vector<int32_t>{0});
  EXPECT_EQ(bus.Count(MSG_EXIT_APP), 0);
  unsetenv("VANTOREL_DPKG_ROOT");
}

// The program's own entry, last: the program is asked to end, the wizard
// closes at once, and dpkg goes on without them.
TEST(UninstallWizard, OwnEntryEndsTheWizard) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("dpkg-deb");
  testutil::TempDir tmp("wizardself");
  const std::string root = UseSandbox(tmp);
  ASSERT_FALSE(root.empty());
  std::map<QString, InstalledApp> listed = ListedPrograms();
  ASSERT_EQ(listed["nvt-self"].selfFlag, 1);

  BusSpy bus({MSG_UNINSTALL_FINISHED, MSG_STANDARD_UNINSTALL_DONE, MSG_EXIT_APP});
  CReadyUninstallDlg dlg;
  dlg.SetPrograms({listed["nvt-viewer"], listed["nvt-self"]}, 0);
  dlg.InitUI();
  dlg.show();
  dlg.OkButton()->click();
  ASSERT_TRUE(WaitUntil([&] { return !dlg.isVisible(); }));
  EXPECT_FALSE(dlg.IsRemoving());
  EXPECT_EQ(bus.Ids(), (std::vector<uint>{MSG_STANDARD_UNINSTALL_DONE, MSG_EXIT_APP}));
  ASSERT_EQ(dlg.Results().size(), 1u);
  EXPECT_EQ(dlg.Results()[0].second.status, UninstallStatus::Removed);
  EXPECT_EQ(State(root, "nvt-viewer"), "gone");
  EXPECT_TRUE(WaitUntil([&] { return State(root, "nvt-self") == "gone"; }, 15000));
  unsetenv("VANTOREL_DPKG_ROOT");
}

}  // namespace
