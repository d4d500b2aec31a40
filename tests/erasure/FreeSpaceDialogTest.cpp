// The free-space progress dialog over its run: the bus messages it follows,
// its size texts, and a run that cannot start.
#include <gtest/gtest.h>

#include <QLabel>

#include "BusSpy.h"
#include "CEraseFreeSpaceProgressDlg.h"
#include "CProgressWidget.h"
#include "DriveLetters.h"
#include "EraseResult.h"
#include "EraseUiTestSupport.h"
#include "TestUtil.h"
#include "UiHelpers.h"

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
  testutil::BusSpy spy({MSG_WIPE_FREESPACE_DONE});
  {
    CEraseFreeSpaceProgressDlg dlg(env.Window());
    EXPECT_EQ(dlg.size(), QSize(460, 240));
    dlg.SetPartition('Q', -1, 0);
    dlg.SetFileSystem(EFileSystemType::NTFS);
    CUIPublic::instance()->SetErasePasses(3);
    dlg.StartWipe();
    EXPECT_EQ(dlg.StatusLabel()->text(), QStringLiteral("Ready to erase, please wait..."));
    // Progress as the run reports it (here on the GUI thread, before the
    // run's end has been delivered): 40 MiB of 1.5 GiB in the third pass.
    dlg.Observer().Progress(2, 40ull << 20, 1536ull << 20);
    EXPECT_EQ(dlg.StatusLabel()->text(),
              QStringLiteral("Wiping free space of partition Q: %1/1.50GB").arg(FormatSizeText(40ull << 20)));
    EXPECT_EQ(dlg.Progress()->LeftCaption()->text(),
              QStringLiteral("Wiped 2% in 3 of 3 passes (%1)").arg(GetAlgorithmName(3)));
    EXPECT_EQ(dlg.Progress()->GetProgressBar()->value(), 2);
    dlg.exec();
    EXPECT_TRUE(dlg.IsDone());
    EXPECT_EQ(dlg.GetResult(), ERASE_FREESPACE_OPEN_FAILED);
  }
  EXPECT_EQ(spy.Values(MSG_WIPE_FREESPACE_DONE), (std::vector<int32_t>{100}));
  unsetenv("VANTOREL_DISKS");
}

}  // namespace
