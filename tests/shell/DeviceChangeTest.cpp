// Block devices coming and going make the main window read its disk table
// again; only a change of that table makes the disk page on show rescan.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "BusSpy.h"
#include "CMainWin.h"
#include "CUIPublic.h"
#include "LoopDevice.h"
#include "MsgDefine.h"
#include "PageFactories.h"
#include "ProgramDirFixture.h"

namespace {

using testutil::BusSpy;
using testutil::Pump;

// Waits up to 20 s for a table check that found `changed`.
bool WaitForCheck(const std::vector<bool>& checks, bool changed) {
  QElapsedTimer waited;
  waited.start();
  for (size_t seen = 0; waited.elapsed() < 20000; Pump(50)) {
    for (; seen < checks.size(); ++seen)
      if (checks[seen] == changed) return true;
  }
  return false;
}

TEST(MainWindowDevices, OnlyAChangeOfTheDiskTableRescansThePageOnShow) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("losetup");
  ProgramDirFixture env;
  testutil::TempDir dir("loop");
  const std::string table = dir.file("table.img"), foreign = dir.file("foreign.img");
  for (const std::string& image : {table, foreign})
    ASSERT_EQ(testutil::Run({"truncate", "-s", "4M", image}).exitCode, 0);
  setenv("VANTOREL_DISKS", table.c_str(), 1);
  qApp->setQuitOnLastWindowClosed(false);

  struct Case {
    int page;
    uint expected;
  } cases[] = {{kFilePage, MSG_PARTITION_RESCAN_AND_NOTIFY}, {kFreeSpacePage, MSG_FREESPACE_RESCAN_AND_NOTIFY}};
  for (const Case& c : cases) {
    CMainWin window;
    CUIPublic::instance()->SwitchPage(c.page);
    BusSpy bus({MSG_PARTITION_RESCAN_AND_NOTIFY, MSG_FREESPACE_RESCAN_AND_NOTIFY});
    std::vector<bool> checks;
    QObject::connect(&window, &CMainWin::diskTableChecked, [&checks](bool changed) { checks.push_back(changed); });
    testutil::LoopDevice loop(foreign, 512, 0);
    ASSERT_TRUE(loop.ok()) << loop.error();
    // A loop device outside VANTOREL_DISKS: the table is read, found as it
    // was, and nothing is listed again.
    ASSERT_TRUE(WaitForCheck(checks, false)) << "no table check after attaching " << loop.Path();
    Pump(300);
    EXPECT_TRUE(bus.Empty()) << "a foreign device rebuilt the lists";

    // The disk of the table is now another file under the same name: the
    // next block event finds the change and the page on show rescans once.
    const std::string swapped = table + ".new";
    ASSERT_EQ(testutil::Run({"truncate", "-s", "4M", swapped}).exitCode, 0);
    ASSERT_EQ(rename(swapped.c_str(), table.c_str()), 0);
    ASSERT_TRUE(loop.Detach(Pump)) << loop.error();
    ASSERT_TRUE(WaitForCheck(checks, true)) << "the changed table was not seen";
    EXPECT_EQ(bus.Ids(), std::vector<uint>{c.expected});
  }
  CUIPublic::instance()->SwitchPage(kFilePage);
  unsetenv("VANTOREL_DISKS");
}

}  // namespace
