// The free-space progress dialog over its run: the bus messages it follows,
// its size texts, and a run that cannot start.
#include <gtest/gtest.h>

#include <QLabel>

#include "CEraseFreeSpaceProgressDlg.h"
#include "DriveLetters.h"
#include "EraseResult.h"
#include "EraseUiTestSupport.h"
#include "TestUtil.h"

using eraseui::UiEnv;

namespace {

TEST(FreeSpaceProgressDialog, SizeUnits) {
  struct Case {
    uint64_t bytes;
    const char* unit;
    double value;
  } cases[] = {{1073741824ull, "GB", 1.0}, {3221225472ull, "GB", 3.0}, {1048577ull, "MB", 1048577.0 / 1048576},
               {1048576ull, "KB", 1024.0}, {512ull, "KB", 0.5}};
  for (const Case& c : cases) {
    double value = 0;
    QString unit;
    CEraseFreeSpaceProgressDlg::CalcSizeUnit(c.bytes, &value, &unit);
    EXPECT_EQ(unit.toStdString(), c.unit) << c.bytes;
    EXPECT_DOUBLE_EQ(value, c.value) << c.bytes;
  }
}

// A volume that does not resolve ends the run at once: "Open volume
// failed.", one done message with value 100, and the dialog closes.
TEST(FreeSpaceProgressDialog, VolumeThatIsNotThereEndsTheRun) {
  UiEnv env;
  testutil::TempDir dir("nodisks");
  setenv("VANTOREL_DISKS", dir.file("absent.img").c_str(), 1);
  platform::ForgetDriveLettersForTest();
  eraseui::BusSpy spy({MSG_WIPE_FREESPACE_DONE});
  {
    CEraseFreeSpaceProgressDlg dlg(env.Window());
    EXPECT_EQ(dlg.size(), QSize(460, 240));
    dlg.SetPartition('Q', -1, 0);
    dlg.SetFileSystem(EFileSystemType::NTFS);
    dlg.StartWipe();
    EXPECT_EQ(dlg.StatusLabel()->text(), QStringLiteral("Ready to erase, please wait..."));
    dlg.exec();
    EXPECT_TRUE(dlg.IsDone());
    EXPECT_EQ(dlg.GetResult(), ERASE_FREESPACE_OPEN_FAILED);
  }
  EXPECT_EQ(spy.Values(MSG_WIPE_FREESPACE_DONE), (std::vector<int32_t>{100}));
  unsetenv("VANTOREL_DISKS");
}

}  // namespace
