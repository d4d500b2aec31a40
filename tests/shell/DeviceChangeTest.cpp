// Attaching and detaching a loop device makes the main window ask the disk
// page on show to rescan.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "BusSpy.h"
#include "CMainWin.h"
#include "CUIPublic.h"
#include "MsgDefine.h"
#include "PageFactories.h"
#include "ProgramDirFixture.h"

namespace {

using testutil::BusSpy;
using testutil::Pump;

class LoopDevice {
 public:
  explicit LoopDevice(const std::string& image) {
    auto r = testutil::Run({"losetup", "-f", "--show", image});
    if (r.exitCode == 0) m_path = r.output.substr(0, r.output.find('\n'));
  }
  ~LoopDevice() { Detach(); }
  bool Detach() {
    if (m_path.empty()) return true;
    bool ok = false;
    for (int i = 0; i < 50 && !(ok = testutil::Run({"losetup", "-d", m_path}).exitCode == 0); ++i) Pump(100);
    if (ok) m_path.clear();
    return ok;
  }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

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
      LoopDevice loop(image);
      ASSERT_FALSE(loop.path().empty());
      EXPECT_TRUE(bus.WaitFor(c.expected, 1, 20000)) << "no rescan after attaching " << loop.path();
      const int afterAttach = bus.Count(c.expected);
      ASSERT_TRUE(loop.Detach());
      EXPECT_TRUE(bus.WaitFor(c.expected, afterAttach + 1, 20000)) << "no rescan after detaching";
    }
  }
  CUIPublic::instance()->SwitchPage(kFilePage);
  unsetenv("VANTOREL_DISKS");
}

}  // namespace
