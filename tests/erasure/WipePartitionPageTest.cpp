// The partition and free-space pages on a disk image made here (FAT, ext2
// and an empty partition): the list the disk list service gives, the
// refusals, the confirmation, a wipe through a stand-in run, the result
// dialog, the history row and the rescan exchange between the two pages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "BusSpy.h"
#include "CBPQtLabel.h"
#include "CDiskListService.h"
#include "CEraseRstDlg.h"
#include "CHistoryDataBase.h"
#include "CMSGDlg.h"
#include "CRightContent.h"
#include "CRightTab.h"
#include "CRoundBtn.h"
#include "CWipePartitionPage.h"
#include "DriveLetters.h"
#include "EraseResult.h"
#include "EraseUiTestSupport.h"
#include "LoopDevice.h"
#include "PageFactories.h"
#include "RunLog.h"
#include "TestUtil.h"
#include "UiHelpers.h"
#include "VolumeAnalysers.h"
#include "VolumeFixtures.h"
#include "VolumeMount.h"
#include "WipePageChecks.h"

using eraseui::AnswerOf;
using eraseui::UiEnv;
using testutil::BusSpy;

namespace {

TEST(WipePartitionPageText, LabelsFileSystemNamesAndFreeSpaceRules) {
  EXPECT_EQ(CWipePartitionPage::GetVolumeLabel(""), QStringLiteral("Local Disk"));
  EXPECT_EQ(CWipePartitionPage::GetVolumeLabel("BACKUP"), QStringLiteral("BACKUP"));
  EXPECT_EQ(CWipePartitionPage::GetVolumeLabel("abcdefghijklmnopqrstuvwxyz0123"),
            QStringLiteral("abcdefghijklmnopqrstuv.."));
  const char* names[] = {"FAT12", "FAT16", "FAT32", "NTFS", "EXT2", "EXT3", "RAW", "EXFAT", "Unknow", "Unknow"};
  for (int t = 0; t <= 9; ++t) EXPECT_EQ(CWipePartitionPage::FileSystemName(t), QString::fromLatin1(names[t])) << t;
  EXPECT_EQ(CWipePartitionPage::FileSystemName(-1), QStringLiteral("Unknow"));

  EXPECT_TRUE(wipecheck::FreeSpaceWipeSupports(EFileSystemType::FAT32));
  EXPECT_TRUE(wipecheck::FreeSpaceWipeSupports(EFileSystemType::NTFS));
  EXPECT_FALSE(wipecheck::FreeSpaceWipeSupports(EFileSystemType::RAW));
  EXPECT_FALSE(wipecheck::FreeSpaceWipeSupports(EFileSystemType::HFSPlus));
  EXPECT_FALSE(wipecheck::FreeSpaceWipeSupports(EFileSystemType::Unknown));
}

// A 24 MiB disk image: p1 FAT "VTPAGEFAT" (8 MiB), p2 ext2 "vtpage-ext" (8 MiB),
// p3 HFS+ "vtpage-hfs" (4 MiB; listed, but its free space cannot be wiped).
class WipePage : public ::testing::Test {
 protected:
  static constexpr uint64_t kP1 = 2048, kP2 = 2048 + 16384, kP3 = 2048 + 32768;

  void SetUp() override {
    RegisterVolumeAnalysers();  // as the program does at start
    for (const char* tool : {"sfdisk", "mkfs.fat", "mke2fs"})
      if (!testutil::HaveTool(tool)) GTEST_SKIP() << "missing " << tool;
    dir.reset(new testutil::TempDir("wipepage"));
    disk = dir->file("disk.img");
    ASSERT_EQ(testutil::Run({"truncate", "-s", "24M", disk}).exitCode, 0);
    testutil::WriteFile(disk + ".sfdisk",
                        "label: dos\nstart=2048, size=16384, type=c\nstart=18432, size=16384, type=83\n"
                        "start=34816, size=8192, type=83\n");
    ASSERT_EQ(testutil::Shell("sfdisk -q '" + disk + "' < '" + disk + ".sfdisk'").exitCode, 0);
    const std::string fat = dir->file("p1.img"), ext = dir->file("p2.img"), hfs = dir->file("p3.img");
    ASSERT_EQ(
        testutil::Run({std::string(VANTOREL_BIN_DIR) + "/hfsgen", "-o", hfs, "--name", "vtpage-hfs", "--size", "4M"})
            .exitCode,
        0);
    ASSERT_EQ(testutil::Run({"mkfs.fat", "-F", "16", "-s", "1", "-n", "VTPAGEFAT", "-C", fat, "8192"}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"truncate", "-s", "8M", ext}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", "-L", "vtpage-ext", ext}).exitCode, 0);
    ASSERT_EQ(testutil::Run({"dd", "if=" + fat, "of=" + disk, "bs=512", "seek=" + std::to_string(kP1), "conv=notrunc",
                             "status=none"})
                  .exitCode,
              0);
    ASSERT_EQ(testutil::Run({"dd", "if=" + ext, "of=" + disk, "bs=512", "seek=" + std::to_string(kP2), "conv=notrunc",
                             "status=none"})
                  .exitCode,
              0);
    ASSERT_EQ(testutil::Run({"dd", "if=" + hfs, "of=" + disk, "bs=512", "seek=" + std::to_string(kP3), "conv=notrunc",
                             "status=none"})
                  .exitCode,
              0);
    setenv("VANTOREL_DISKS", disk.c_str(), 1);
    env.reset(new UiEnv);
    partition = MakePage(0);
    freeSpace = MakePage(1);
  }
  void TearDown() override {
    SetWipeRunner(ERASE_MODE_PARTITION, nullptr);
    SetWipeRunner(ERASE_MODE_FREESPACE, nullptr);
    for (QWidget* h : holders) delete h;
    holders.clear();
    env.reset();
    if (CDiskListService* s = CDiskListService::Instance()) s->WaitForPasses();
    unsetenv("VANTOREL_DISKS");
  }

  CWipePartitionPage* MakePage(int mode) {
    QWidget* holder = CreateWipePartitionPage(mode, env->Window());
    holders.push_back(holder);
    return dynamic_cast<CWipePartitionPage*>(holder->layout());
  }

  // Lets the pages' timers run until neither scans.
  static void WaitForLists(std::initializer_list<CWipePartitionPage*> pages) {
    QElapsedTimer waited;
    waited.start();
    auto busy = [&] {
      for (auto* p : pages)
        if (p->IsScanning()) return true;
      return false;
    };
    while (busy() && waited.elapsed() < 60000) QApplication::processEvents(QEventLoop::AllEvents, 50);
    for (auto* p : pages) ASSERT_FALSE(p->IsScanning());
  }

  static int RowOf(CWipePartitionPage* page, const QString& namePrefix) {
    for (int i = 0; i < page->Tree()->topLevelItemCount(); ++i)
      if (page->Tree()->topLevelItem(i)->text(1).startsWith(namePrefix)) return i;
    return -1;
  }

  // Lists both pages and puts runs in place that only count (in `runs`).
  void ListBothCountingRuns() {
    SendBusMsg(MSG_PARTITION_RESCAN);
    SendBusMsg(MSG_FREESPACE_RESCAN);
    WaitForLists({partition, freeSpace});
    for (int mode : {ERASE_MODE_PARTITION, ERASE_MODE_FREESPACE})
      SetWipeRunner(mode, [this](const VolumeWipeTarget&, QWidget*) { return ++runs, 0; });
  }

  // Checks the row as a user does and presses "Wipe Now".
  static void WipeRow(CWipePartitionPage* page, int row) {
    ASSERT_GE(row, 0);
    QRadioButton* radio = page->RadioOf(row);
    ASSERT_NE(radio, nullptr);
    radio->click();
    page->WipeButton()->click();
  }

  std::vector<EraseItem> HistoryRows() const {
    std::vector<EraseItem> rows;
    for (const auto& [time, items] : CHistoryDataBase(CHistoryDataBase::DefaultPath()).ReadAll())
      rows.insert(rows.end(), items.begin(), items.end());
    return rows;
  }

  std::unique_ptr<testutil::TempDir> dir;
  std::string disk;
  std::unique_ptr<UiEnv> env;
  std::vector<QWidget*> holders;
  CWipePartitionPage* partition = nullptr;
  CWipePartitionPage* freeSpace = nullptr;
  int runs = 0;
};

// The text of the box "Wipe Now" on `page` shows (answered with OK).
QString WipeNowAnswer(CWipePartitionPage* page) {
  QString shown;
  AnswerOf<CMSGDlg>([&](CMSGDlg* box) {
    shown = box->TextLabel()->text();
    QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
  });
  page->WipeButton()->click();
  return shown;
}

TEST_F(WipePage, FirstShowScansAndListsTheLetteredVolumesWithTheirSizes) {
  // Before any rescan message: busy text, no rows, "Wipe Now" says why it
  // does nothing.
  EXPECT_TRUE(partition->BusyLabel()->isVisibleTo(partition->parentWidget()));
  EXPECT_EQ(partition->Tree()->topLevelItemCount(), 0);
  int runs = 0;
  SetWipeRunner(ERASE_MODE_PARTITION, [&](const VolumeWipeTarget&, QWidget*) { return ++runs, 0; });
  EXPECT_TRUE(WipeNowAnswer(partition).contains(QStringLiteral("Please select"))) << "nothing listed, nothing chosen";
  const std::string runLog = dir->file("RunLog.log");
  ASSERT_TRUE(RunLogSetFile(runLog));

  // The page area sends the plain rescan when the page is shown first.
  BusSpy spy({MSG_FREESPACE_RESCAN});
  SendBusMsg(MSG_PARTITION_RESCAN);
  EXPECT_TRUE(partition->IsScanning());
  EXPECT_TRUE(WipeNowAnswer(partition).contains(QStringLiteral("being scanned")));
  WaitForLists({partition});
  EXPECT_EQ(runs, 0);
  EXPECT_FALSE(partition->BusyLabel()->isVisibleTo(partition->parentWidget()));
  EXPECT_TRUE(spy.Empty()) << "a plain rescan is not passed on";

  const VolumeRecordList volumes = CDiskListService::Instance()->GetVolumeList();
  int lettered = 0;
  for (const VolumeRecord& v : volumes) lettered += v.driveLetter ? 1 : 0;
  ASSERT_EQ(partition->Tree()->topLevelItemCount(), lettered);
  const int fatRow = RowOf(partition, QStringLiteral("VTPAGEFAT ("));
  const int extRow = RowOf(partition, QStringLiteral("vtpage-ext ("));
  const int hfsRow = RowOf(partition, QStringLiteral("vtpage-hfs ("));
  ASSERT_GE(fatRow, 0);
  ASSERT_GE(extRow, 0);
  ASSERT_GE(hfsRow, 0);
  EXPECT_EQ(partition->Tree()->topLevelItem(hfsRow)->text(2), QStringLiteral("Unknow"));
  QTreeWidgetItem* fat = partition->Tree()->topLevelItem(fatRow);
  EXPECT_EQ(fat->text(2), QStringLiteral("FAT16"));
  EXPECT_EQ(partition->Tree()->topLevelItem(extRow)->text(2), QStringLiteral("EXT2"));
  EXPECT_EQ(fat->text(3), FormatSizeText(8u << 20));
  EXPECT_EQ(fat->text(4), QString()) << "an unmounted volume's free space is unknown";
  EXPECT_EQ(fat->data(1, CWipePartitionPage::kKindRole).toInt(), int(CWipePartitionPage::kOtherVolume));
  // The letter in the name leads to the first partition of the image.
  const QString name = fat->text(1);
  const char letter = name.at(name.size() - 3).toLatin1();
  platform::LetteredVolume lv;
  ASSERT_TRUE(platform::GetLetteredVolume(letter, &lv));
  EXPECT_EQ(lv.startSector, kP1);
  EXPECT_TRUE(fat->toolTip(1).contains(QStringLiteral("disk.img"))) << fat->toolTip(1).toStdString();
  // No volume is chosen for the user.
  for (int i = 0; i < partition->Tree()->topLevelItemCount(); ++i) EXPECT_FALSE(partition->RadioOf(i)->isChecked());
  EXPECT_FALSE(partition->HasChoice());

  // A second pass over the same disks: one line for it, one for the page;
  // the disk table is not written out again.
  SendBusMsg(MSG_PARTITION_RESCAN);
  WaitForLists({partition});
  RunLogSetFile("");
  const std::string log = testutil::ReadFile(runLog);
  auto count = [&log](const std::string& what) {
    size_t n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("begin collect basic volume"), 1u) << log;
  EXPECT_GE(count("as at the last pass"), 1u) << log;
  EXPECT_EQ(count("Partition page: volume list rebuilt"), 2u) << log;
}

// fusefat reports no blocks to statvfs: the Total Size of its volume is the
// size its boot sector gives.
TEST_F(WipePage, FuseFatVolumeShowsItsFileSystemSize) {
  if (!testutil::HaveTool("fusefat")) GTEST_SKIP() << "missing fusefat";
  testutil::LoopDevice loop(disk);
  ASSERT_TRUE(loop.ok()) << loop.error();
  ASSERT_TRUE(loop.WaitForPartition(3)) << loop.error();
  setenv("VANTOREL_DISKS", loop.Path().c_str(), 1);
  const std::string mnt = dir->file("fuse");
  volfix::TestMount mounted(mnt, {"fusefat", "-o", "ro", loop.Part(1), mnt});
  ASSERT_TRUE(mounted.ok()) << mounted.output();
  SendBusMsg(MSG_PARTITION_RESCAN);
  WaitForLists({partition});
  const int fatRow = RowOf(partition, QStringLiteral("VTPAGEFAT ("));
  ASSERT_GE(fatRow, 0);
  EXPECT_EQ(partition->Tree()->topLevelItem(fatRow)->text(3), FormatSizeText(8u << 20));
}

// The user's choice follows its volume (disk and start sector) through
// rebuilds of the list; once the volume is gone no row is checked.
TEST_F(WipePage, RebuildsKeepTheChoiceByIdentityAndNeverChooseAnother) {
  int runs = 0;
  SetWipeRunner(ERASE_MODE_PARTITION, [&](const VolumeWipeTarget&, QWidget*) { return ++runs, 0; });
  SendBusMsg(MSG_PARTITION_RESCAN);
  WaitForLists({partition});
  const int extBefore = RowOf(partition, QStringLiteral("vtpage-ext ("));
  ASSERT_GT(extBefore, 0);
  partition->RadioOf(extBefore)->click();
  ASSERT_TRUE(partition->HasChoice());
  auto checkedRows = [&] {
    std::vector<int> rows;
    for (int i = 0; i < partition->Tree()->topLevelItemCount(); ++i)
      if (partition->RadioOf(i)->isChecked()) rows.push_back(i);
    return rows;
  };

  struct Case {
    const char* deleted;  // the partition taken off the disk before the rebuild
    bool kept;
  } cases[] = {{"1", true}, {"2", false}};
  for (const Case& c : cases) {
    ASSERT_EQ(testutil::Run({"sfdisk", "-q", "--delete", disk, c.deleted}).exitCode, 0);
    SendBusMsg(MSG_PARTITION_RESCAN);
    WaitForLists({partition});
    const int ext = RowOf(partition, QStringLiteral("vtpage-ext ("));
    if (c.kept) {
      // Partition 1 went: the rows after it moved up, the choice with them.
      ASSERT_GE(ext, 0);
      EXPECT_LT(ext, extBefore);
      EXPECT_EQ(RowOf(partition, QStringLiteral("VTPAGEFAT (")), -1);
      EXPECT_EQ(checkedRows(), std::vector<int>{ext});
    } else {
      EXPECT_EQ(ext, -1);
      EXPECT_GT(partition->Tree()->topLevelItemCount(), 0);
      EXPECT_TRUE(checkedRows().empty()) << "another volume took the lost choice";
      EXPECT_FALSE(partition->HasChoice());
    }
  }
  // With nothing chosen "Wipe Now" says so and starts nothing.
  EXPECT_TRUE(WipeNowAnswer(partition).contains(QStringLiteral("Please select")));
  EXPECT_EQ(runs, 0);
}

// Without root neither page wipes, and both say what is missing.
TEST_F(WipePage, WithoutAdministratorRightsBothPagesSaySo) {
  VT_REQUIRE_ROOT();
  ListBothCountingRuns();
  for (CWipePartitionPage* page : {partition, freeSpace}) {
    page->RadioOf(RowOf(page, QStringLiteral("VTPAGEFAT (")))->click();
    ASSERT_EQ(seteuid(65534), 0);
    const QString shown = WipeNowAnswer(page);
    ASSERT_EQ(seteuid(0), 0);
    EXPECT_TRUE(shown.contains(QStringLiteral("administrator (root) rights"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("sudo vantorel"))) << shown.toStdString();
    EXPECT_FALSE(shown.contains(QStringLiteral("read-only"))) << shown.toStdString();
  }
  EXPECT_EQ(runs, 0);
}

TEST_F(WipePage, PartitionWipeConfirmsNamingTheVolumeThenRunsAndShowsTheResult) {
  SendBusMsg(MSG_PARTITION_RESCAN);
  WaitForLists({partition});
  const int fatRow = RowOf(partition, QStringLiteral("VTPAGEFAT ("));
  ASSERT_GE(fatRow, 0);
  const QString name = partition->Tree()->topLevelItem(fatRow)->text(1);
  const char letter = name.at(name.size() - 3).toLatin1();

  std::vector<VolumeWipeTarget> targets;
  SetWipeRunner(ERASE_MODE_PARTITION, [&](const VolumeWipeTarget& t, QWidget*) {
    targets.push_back(t);
    EXPECT_EQ(CWipePartitionPage::ActiveRuns(), 1);
    return int(ERASE_COMPLETED);
  });

  // Escape at the confirmation: nothing runs, no history, list unchanged.
  QString shown;
  AnswerOf<CMSGDlg>([&](CMSGDlg* box) {
    shown = box->TextLabel()->text();
    EXPECT_TRUE(box->SecondButton()->isDefault()) << "the safe button is the default";
    QTest::keyClick(box, Qt::Key_Escape);
  });
  WipeRow(partition, fatRow);
  EXPECT_TRUE(shown.contains(QStringLiteral("will be permanently erased"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(name)) << shown.toStdString();
  shown.remove(QChar(0x200B));
  EXPECT_TRUE(shown.contains(QString::fromStdString(disk))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("not mounted"))) << shown.toStdString();
  // A box closed from outside (hidden) is no confirmation either.
  AnswerOf<CMSGDlg>([&](CMSGDlg* box) { box->hide(); });
  WipeRow(partition, fatRow);
  EXPECT_TRUE(targets.empty());
  EXPECT_TRUE(HistoryRows().empty());
  EXPECT_TRUE(partition->RadioOf(fatRow)->isChecked());
  EXPECT_FALSE(partition->IsScanning());

  // "Continue": the run gets the row's extent, the result dialog shows the
  // run's code, and both pages rescan in turn. The history row is the run's
  // own: the page adds none.
  BusSpy spy({MSG_PARTITION_RESCAN_AND_NOTIFY, MSG_FREESPACE_RESCAN});
  int resultCode = -1;
  AnswerOf<CMSGDlg>([&](CMSGDlg* box) {
    QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
    AnswerOf<CEraseRstDlg>([&](CEraseRstDlg* done) {
      resultCode = done->Code();
      EXPECT_EQ(done->Mode(), int(ERASE_MODE_PARTITION));
      QTest::mouseClick(done->CloseButton(), Qt::LeftButton);
    });
  });
  WipeRow(partition, fatRow);
  ASSERT_EQ(targets.size(), 1u);
  const VolumeWipeTarget& t = targets[0];
  EXPECT_EQ(t.driveLetter, letter);
  EXPECT_EQ(t.startSector, kP1);
  EXPECT_EQ(t.sectorCount, 16384u);
  EXPECT_EQ(t.endSector, kP1 + 16384u);
  EXPECT_EQ(t.bytesPerSector, 512);
  EXPECT_EQ(t.sectorsPerChunk, 8192);
  EXPECT_EQ(t.extentCount, 1);
  EXPECT_EQ(t.disk.kind, platform::DiskIdentity::Kind::ImageFile);
  EXPECT_EQ(resultCode, int(ERASE_COMPLETED));
  EXPECT_TRUE(HistoryRows().empty());
  EXPECT_EQ(CWipePartitionPage::ActiveRuns(), 0);
  ASSERT_EQ(spy.messages.size(), 1u);
  EXPECT_EQ(spy.messages[0].id, uint(MSG_PARTITION_RESCAN_AND_NOTIFY));
  EXPECT_TRUE(partition->IsScanning());
  WaitForLists({partition});
  // The partition page passed the news on once; the free-space page then
  // scans without passing it back.
  ASSERT_EQ(spy.messages.size(), 2u);
  EXPECT_EQ(spy.messages[1].id, uint(MSG_FREESPACE_RESCAN));
  WaitForLists({freeSpace});
  EXPECT_EQ(spy.messages.size(), 2u);
  EXPECT_GT(freeSpace->Tree()->topLevelItemCount(), 0);
  // The wiped volume's row is checked again after the fill.
  const int again = RowOf(partition, QStringLiteral("VTPAGEFAT ("));
  ASSERT_GE(again, 0);
  EXPECT_TRUE(partition->RadioOf(again)->isChecked());
}

TEST_F(WipePage, RefusalsStartNothing) {
  ListBothCountingRuns();
  auto expectRefusal = [&](CWipePartitionPage* page, int row, const QString& words) {
    QString shown;
    AnswerOf<CMSGDlg>([&](CMSGDlg* box) {
      shown = box->TextLabel()->text();
      EXPECT_EQ(box->SecondButton(), nullptr) << "a refusal has only OK";
      QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
    });
    WipeRow(page, row);
    EXPECT_TRUE(shown.contains(words)) << shown.toStdString();
  };

  // Free space of a file system the wipe cannot fill.
  expectRefusal(freeSpace, RowOf(freeSpace, QStringLiteral("vtpage-hfs (")), QStringLiteral("is not supported"));

  // A volume of two extents (the service lists none with a letter, so the
  // record is made from a listed one).
  VolumeRecord spanned;
  for (const VolumeRecord& v : CDiskListService::Instance()->GetVolumeList())
    if (v.driveLetter && v.extents[0].startSector == kP1) spanned = v;
  ASSERT_TRUE(spanned.extents[0].disk);
  spanned.extents[1] = spanned.extents[0];
  spanned.extents[1].startSector = kP2;
  ASSERT_EQ(spanned.ExtentCount(), 2);
  for (CWipePartitionPage* page : {partition, freeSpace}) {
    page->AddVolume(spanned);
    expectRefusal(page, page->Tree()->topLevelItemCount() - 1, QStringLiteral("Not support dynamic volume"));
  }

  // The disk has gone since the list was filled.
  setenv("VANTOREL_DISKS", dir->file("gone.img").c_str(), 1);
  expectRefusal(partition, RowOf(partition, QStringLiteral("VTPAGEFAT (")), QStringLiteral("is connected"));
  expectRefusal(freeSpace, RowOf(freeSpace, QStringLiteral("VTPAGEFAT (")), QStringLiteral("is connected"));
  setenv("VANTOREL_DISKS", disk.c_str(), 1);
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(HistoryRows().empty());
}

TEST_F(WipePage, FreeSpaceWipeRunsAndRescansStartedDuringARunWait) {
  SendBusMsg(MSG_FREESPACE_RESCAN);
  WaitForLists({freeSpace});
  const int fatRow = RowOf(freeSpace, QStringLiteral("VTPAGEFAT ("));
  ASSERT_GE(fatRow, 0);
  const QString name = freeSpace->Tree()->topLevelItem(fatRow)->text(1);
  const char letter = name.at(name.size() - 3).toLatin1();
  bool deferredSeen = false;
  SetWipeRunner(ERASE_MODE_FREESPACE, [&](const VolumeWipeTarget& t, QWidget*) {
    EXPECT_EQ(t.fileSystem, EFileSystemType::FAT16);
    EXPECT_EQ(t.driveLetter, letter);
    // A device change while the run goes on: the other page waits.
    SendBusMsg(MSG_PARTITION_RESCAN);
    deferredSeen = partition->IsScanning() && partition->IsScanDeferred();
    return int(ERASE_FREESPACE_CANCELLED);
  });
  QString shown;
  AnswerOf<CMSGDlg>([&](CMSGDlg* box) {
    shown = box->TextLabel()->text();
    QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
    AnswerOf<CEraseRstDlg>([](CEraseRstDlg* done) {
      EXPECT_EQ(done->Mode(), int(ERASE_MODE_FREESPACE));
      EXPECT_EQ(done->Code(), int(ERASE_FREESPACE_CANCELLED));
      QTest::mouseClick(done->CloseButton(), Qt::LeftButton);
    });
  });
  CUIPublic::instance()->SwitchPage(2, 0, 0);
  WipeRow(freeSpace, fatRow);
  EXPECT_TRUE(shown.contains(QStringLiteral("Wipe the free disk space"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(name));
  EXPECT_TRUE(deferredSeen);
  EXPECT_TRUE(HistoryRows().empty()) << "the run writes its history row, not the page";
  // Page 2 was current: the free-space page rescans first, then the
  // partition page; the deferred scan of the partition page runs too.
  EXPECT_TRUE(freeSpace->IsScanning());
  WaitForLists({freeSpace, partition});
  EXPECT_FALSE(partition->IsScanDeferred());
  EXPECT_GT(partition->Tree()->topLevelItemCount(), 0);
  CUIPublic::instance()->SwitchPage(0, 0, 0);
}

}  // namespace

namespace {

// The real partition run from the page: partition 1 of the image is wiped
// and formatted, partition 2 keeps every byte.
TEST_F(WipePage, RealPartitionWipeOfAnImageVolumeKeepsTheNeighbour) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("losetup");
  VT_REQUIRE_TOOL("mkntfs");
  SendBusMsg(MSG_PARTITION_RESCAN);
  WaitForLists({partition});
  const int fatRow = RowOf(partition, QStringLiteral("VTPAGEFAT ("));
  ASSERT_GE(fatRow, 0);
  const std::string before = testutil::ReadFile(disk);
  int resultCode = -1;
  AnswerOf<CMSGDlg>([&](CMSGDlg* box) {
    QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
    AnswerOf<CEraseRstDlg>(
        [&](CEraseRstDlg* done) {
          resultCode = done->Code();
          QTest::mouseClick(done->CloseButton(), Qt::LeftButton);
        },
        100000);
  });
  WipeRow(partition, fatRow);
  EXPECT_EQ(resultCode, int(ERASE_COMPLETED));
  const std::string after = testutil::ReadFile(disk);
  ASSERT_EQ(after.size(), before.size());
  const size_t p1 = kP1 * 512, p1End = (kP1 + 16384) * 512;
  EXPECT_TRUE(after.substr(0, p1) == before.substr(0, p1)) << "the partition table changed";
  EXPECT_TRUE(after.substr(p1End) == before.substr(p1End)) << "bytes after partition 1 changed";
  EXPECT_EQ(after.substr(p1 + 3, 4), "NTFS");
  EXPECT_NE(after.substr(p1, 512), before.substr(p1, 512));
  // One row, written by the run.
  const auto rows = HistoryRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].path, std::string("wipe partition ") + partition->LastTarget().driveLetter + " (" + disk +
                              " at byte " + std::to_string(kP1 * 512) + ", VTPAGEFAT)");
  EXPECT_EQ(rows[0].result, int(ERASE_COMPLETED));
}

}  // namespace

namespace {

TEST_F(WipePage, ReadOnlyVolumeAndVolumeHoldingActiveSwapAreRefused) {
  VT_REQUIRE_ROOT();
  VT_REQUIRE_TOOL("losetup");
  int runs = 0;
  SetWipeRunner(ERASE_MODE_PARTITION, [&](const VolumeWipeTarget&, QWidget*) { return ++runs, 0; });
  SetWipeRunner(ERASE_MODE_FREESPACE, [&](const VolumeWipeTarget&, QWidget*) { return ++runs, 0; });
  auto refusalText = [&](CWipePartitionPage* page, const QString& row) {
    QString shown;
    AnswerOf<CMSGDlg>([&](CMSGDlg* box) {
      shown = box->TextLabel()->text();
      QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
    });
    WipeRow(page, RowOf(page, row));
    return shown;
  };
  {
    // A read-only loop device: its partitions cannot be written.
    testutil::LoopDevice loop(disk, 512, testutil::LoopDevice::kPartitions | testutil::LoopDevice::kReadOnly);
    ASSERT_TRUE(loop.ok()) << loop.error();
    ASSERT_TRUE(loop.WaitForPartition(3)) << loop.error();
    setenv("VANTOREL_DISKS", loop.Path().c_str(), 1);
    SendBusMsg(MSG_PARTITION_RESCAN);
    SendBusMsg(MSG_FREESPACE_RESCAN);
    WaitForLists({partition, freeSpace});
    for (CWipePartitionPage* page : {partition, freeSpace})
      EXPECT_TRUE(refusalText(page, QStringLiteral("VTPAGEFAT (")).contains(QStringLiteral("read-only")));
  }
  {
    // A writable device whose FAT volume its user mounted read-only: refused,
    // and left mounted as it was.
    testutil::LoopDevice loop(disk);
    ASSERT_TRUE(loop.ok()) << loop.error();
    ASSERT_TRUE(loop.WaitForPartition(3)) << loop.error();
    setenv("VANTOREL_DISKS", loop.Path().c_str(), 1);
    const std::string mnt = dir->file("ro");
    std::vector<std::string> mount = {"mount", "-t", "vfat", "-o", "ro", loop.Part(1), mnt};
    if (!platform::KernelHasFileSystem("vfat")) mount = {"fusefat", "-o", "ro", loop.Part(1), mnt};
    if (testutil::HaveTool(mount[0])) {
      volfix::TestMount readOnly(mnt, mount);
      ASSERT_TRUE(readOnly.ok()) << readOnly.output();
      SendBusMsg(MSG_PARTITION_RESCAN);
      SendBusMsg(MSG_FREESPACE_RESCAN);
      WaitForLists({partition, freeSpace});
      for (CWipePartitionPage* page : {partition, freeSpace})
        EXPECT_TRUE(refusalText(page, QStringLiteral("VTPAGEFAT (")).contains(QStringLiteral("read-only")));
      EXPECT_TRUE(volfix::IsMountedAt(mnt));
    }
  }
  if (testutil::HaveTool("mkswap") && testutil::HaveTool("swapon")) {
    // A swap file in the mounted ext2 volume makes it one the system needs.
    testutil::LoopDevice loop(disk);
    ASSERT_TRUE(loop.ok()) << loop.error();
    ASSERT_TRUE(loop.WaitForPartition(3)) << loop.error();
    setenv("VANTOREL_DISKS", loop.Path().c_str(), 1);
    const std::string mnt = dir->file("mnt");
    mkdir(mnt.c_str(), 0755);
    ASSERT_EQ(testutil::Run({"mount", "-t", "ext2", loop.Part(2), mnt}).exitCode, 0);
    const std::string swapFile = mnt + "/swapfile";
    // Undone also when an assertion ends the test early.
    std::shared_ptr<void> undo(nullptr, [&](void*) {
      testutil::Run({"swapoff", swapFile});
      for (int i = 0; i < 50 && testutil::Run({"umount", mnt}).exitCode != 0; ++i) QThread::msleep(100);
      setenv("VANTOREL_DISKS", disk.c_str(), 1);
    });
    testutil::Run({"dd", "if=/dev/zero", "of=" + swapFile, "bs=1M", "count=2", "status=none"});
    chmod(swapFile.c_str(), 0600);
    testutil::Run({"mkswap", swapFile});
    auto on = testutil::Run({"swapon", swapFile});
    if (on.exitCode == 0) {
      SendBusMsg(MSG_PARTITION_RESCAN);
      WaitForLists({partition});
      const int extRow = RowOf(partition, QStringLiteral("vtpage-ext ("));
      ASSERT_GE(extRow, 0);
      EXPECT_EQ(partition->Tree()->topLevelItem(extRow)->data(1, CWipePartitionPage::kKindRole).toInt(),
                int(CWipePartitionPage::kSystemVolume));
      // In this system's own words: the volume holds what the running system needs.
      const QString refusal = refusalText(partition, QStringLiteral("vtpage-ext ("));
      EXPECT_TRUE(refusal.contains(QStringLiteral("running system")) && refusal.contains(QStringLiteral("/boot")))
          << refusal.toStdString();
      EXPECT_FALSE(refusal.contains(QStringLiteral("Windows"))) << refusal.toStdString();
    } else {
      ADD_FAILURE() << "swapon is not allowed here: " << on.output;
    }
  }
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(HistoryRows().empty());
}

}  // namespace

namespace {

// The page area builds the two pages from their factories; each scans when
// it is shown the first time, not before and not again on a later showing.
TEST_F(WipePage, PageAreaShowsTheDiskPagesAndEachScansOnFirstShow) {
  RegisterPageFactory(kPartitionPage, [] { return CreateWipePartitionPage(0); });
  RegisterPageFactory(kFreeSpacePage, [] { return CreateWipePartitionPage(1); });
  std::unique_ptr<CRightContent> area(new CRightContent);
  RegisterPageFactory(kPartitionPage, nullptr);
  RegisterPageFactory(kFreeSpacePage, nullptr);
  auto pageOf = [&](int index) {
    QWidget* host = area->Tab()->PageHost(index);
    return host ? dynamic_cast<CWipePartitionPage*>(host->layout()) : nullptr;
  };
  CWipePartitionPage* hdd = pageOf(kPartitionPage);
  CWipePartitionPage* free = pageOf(kFreeSpacePage);
  ASSERT_NE(hdd, nullptr);
  ASSERT_NE(free, nullptr);
  EXPECT_EQ(hdd->Mode(), 0);
  EXPECT_EQ(free->Mode(), 1);
  EXPECT_FALSE(hdd->IsScanning());
  area->ShowPage(kPartitionPage, 0, 0);
  EXPECT_TRUE(hdd->IsScanning());
  EXPECT_FALSE(free->IsScanning());
  WaitForLists({hdd});
  EXPECT_GT(hdd->Tree()->topLevelItemCount(), 0);
  area->ShowPage(kFreeSpacePage, 0, 0);
  EXPECT_TRUE(free->IsScanning());
  WaitForLists({free});
  area->ShowPage(kPartitionPage, 0, 0);
  EXPECT_FALSE(hdd->IsScanning()) << "a second showing does not scan again";
}

}  // namespace
