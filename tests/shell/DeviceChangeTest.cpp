// Attaching and detaching a loop device makes the main window ask the disk
// page on show to rescan.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

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

TEST(MainWindowDevices, LoopAttachAndDetachRescanThePageOnShow) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("losetup");
  ProgramDirFixture env;
  testutil::TempDir dir("loop");
  setenv("VANTOREL_DISKS", dir.file("none.img").c_str(), 1);
  const std::string image = dir.file("disk.img");
  ASSERT_EQ(testutil::Run({"truncate", "-s", "4M", image}).exitCode, 0);
  qApp->setQuitOnLastWindowClosed(false);

  struct Case {
    int page;
    uint expected;
  } cases[] = {{kFilePage, MSG_PARTITION_RESCAN_AND_NOTIFY}, {kFreeSpacePage, MSG_FREESPACE_RESCAN_AND_NOTIFY}};
  for (const Case& c : cases) {
    CMainWin window;
    CUIPublic::instance()->SwitchPage(c.page);
    BusSpy bus({c.expected});
    {
      testutil::LoopDevice loop(image, 512, 0);
      ASSERT_TRUE(loop.ok()) << loop.error();
      EXPECT_TRUE(bus.WaitFor(c.expected, 1, 20000)) << "no rescan after attaching " << loop.Path();
      const int afterAttach = bus.Count(c.expected);
      ASSERT_TRUE(loop.Detach(Pump)) << loop.error();
      EXPECT_TRUE(bus.WaitFor(c.expected, afterAttach + 1, 20000)) << "no rescan after detaching";
    }
  }
  CUIPublic::instance()->SwitchPage(kFilePage);
  unsetenv("VANTOREL_DISKS");
}

}  // namespace
