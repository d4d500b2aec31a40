// The result, method, progress and history dialogs, driven through their
// widgets with the offscreen platform.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QtTest/QTest>

#include "BusSpy.h"
#include "CBPQtLabel.h"
#include "CEraseProgressDlg.h"
#include "CEraseRstDlg.h"
#include "CHistoryDataBase.h"
#include "CHistoryLogDlg.h"
#include "CMSGDlg.h"
#include "CMethodDlg.h"
#include "CProgressWidget.h"
#include "CTitleBtn.h"
#include "CWindowDlgTitle.h"
#include "EraseResult.h"
#include "EraseUiTestSupport.h"
#include "TestUtil.h"
#include "UiHelpers.h"

using eraseui::AnswerOf;
using eraseui::UiEnv;

namespace {

bool Exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

TEST(EraseResultDialog, LayoutTextAndSizePerModeAndCode) {
  UiEnv env;
  struct Case {
    int mode, code;
    const char* title;
    const char* text;
    int height;
  } cases[] = {
      {ERASE_MODE_FILES, 0, "Completed!",
       "The selected files/folders have been permanently erased. \nPlease check the Erasure history to view details.",
       250},
      {ERASE_MODE_FILES, 1, "Operation failed!", "The operation was canceled by the user.", 250},
      // Items that stayed are not reported as a completed run.
      {ERASE_MODE_FILES, 3, "Operation failed!", "Maybe some sectors wipe failed.", 250},
      {ERASE_MODE_PARTITION, 0, "Completed!", "You have successfully wiped the selected \npartition/device.", 250},
      {ERASE_MODE_PARTITION, 5, "Operation failed!",
       "The partition is occupied or the partition is read-only. Close other programs or remove the read-only "
       "attribute to try again.",
       270},
      // A cancelled wipe has left the partition without a file system.
      {ERASE_MODE_PARTITION, 4, "Operation failed!",
       "The operation was canceled by the user. The partition was partly overwritten and holds no file system until "
       "it is formatted.",
       270},
      {ERASE_MODE_PARTITION, 6, "Operation failed!", "The operation was canceled by the user.", 250},
      {ERASE_MODE_FREESPACE, 1, "Operation failed!",
       "No free space found. Maybe it is an unformatted or unknown partition. Format the partition and restart the "
       "program to try again.",
       270},
      {ERASE_MODE_FREESPACE, 3, "Operation failed!", "Maybe some sectors wipe failed.", 250},
      // A read-only volume is told as such, not as a volume without free space.
      {ERASE_MODE_FREESPACE, 5, "Operation failed!",
       "The partition is occupied or the partition is read-only. Close other programs or remove the read-only "
       "attribute to try again.",
       270},
      // Free space wiped on a busy volume whose scrub was skipped: neither
      // a failed fill nor full success.
      {ERASE_MODE_FREESPACE, 6, "Partly completed!",
       "The free disk space was wiped, but the traces of deleted files could not be scrubbed because the partition "
       "is in use. Close the programs that use it and try again.",
       270},
      // A file system without a scrub: completed, and says what stays.
      {ERASE_MODE_FREESPACE, 7, "Completed!",
       "You have successfully wiped free disk space of the selected partition/device. The names of deleted files "
       "were not scrubbed: this file system has no scrub of them.",
       250},
  };
  for (const Case& c : cases) {
    CEraseRstDlg dlg(460, 250, c.mode, c.code, env.Window());
    dlg.InitUI();
    EXPECT_EQ(dlg.TitleLabel()->text().toStdString(), c.title) << c.mode << "/" << c.code;
    EXPECT_EQ(dlg.TextLabel()->text().toStdString(), c.text) << c.mode << "/" << c.code;
    EXPECT_EQ(dlg.height(), c.height) << c.mode << "/" << c.code;
  }
}

TEST(EraseResultDialog, CloseAndTitleCloseEndIt) {
  UiEnv env;
  {
    CEraseRstDlg dlg(460, 250, ERASE_MODE_FILES, 0, env.Window());
    dlg.InitUI();
    AnswerOf<CEraseRstDlg>([](CEraseRstDlg* d) { QTest::mouseClick(d->CloseButton(), Qt::LeftButton); });
    EXPECT_EQ(dlg.exec(), 0);
  }
  {
    CEraseRstDlg dlg(460, 250, ERASE_MODE_FILES, 1, env.Window());
    dlg.InitUI();
    AnswerOf<CEraseRstDlg>([](CEraseRstDlg* d) { QTest::mouseClick(d->TitleBar()->CloseButton(), Qt::LeftButton); });
    EXPECT_EQ(dlg.exec(), 1);
  }
}

// Opens the method dialog the way the title bar does and returns what the
// dialog showed checked; `act` runs on the open dialog.
int RunMethodDialog(UiEnv& env, std::function<void(CMethodDlg*)> act) {
  int shown = 0;
  bool ran = false;
  AnswerOf<CMethodDlg>([&](CMethodDlg* d) {
    ran = true;
    for (int p : {1, 3, 7, 35})
      if (d->RadioOf(p)->isChecked()) shown = p;
    act(d);
  });
  OpenMethodDialog(env.Window());  // returns only once the dialog has gone
  EXPECT_TRUE(ran);
  QApplication::processEvents();
  return shown;
}

TEST(EraseMethodDialog, EachMethodIsStoredAndConfirmEndsTheDialog) {
  UiEnv env;
  for (int passes : {1, 3, 7, 35}) {
    CUIPublic::instance()->SetErasePasses(passes == 1 ? 35 : 1);
    RunMethodDialog(env, [passes](CMethodDlg* d) {
      QTest::mouseClick(d->RadioOf(passes), Qt::LeftButton, {}, QPoint(5, 5));
      QTest::mouseClick(d->ConfirmButton(), Qt::LeftButton);
    });
    EXPECT_EQ(CUIPublic::instance()->GetErasePasses(), passes);
    // Opened again, it shows the stored method.
    EXPECT_EQ(RunMethodDialog(env, [](CMethodDlg* d) { QTest::mouseClick(d->ConfirmButton(), Qt::LeftButton); }),
              passes);
    EXPECT_EQ(CUIPublic::instance()->GetErasePasses(), passes);
  }
}

TEST(EraseMethodDialog, TitleCloseKeepsThePassCountAndUnknownCountsStoreOne) {
  UiEnv env;
  CUIPublic::instance()->SetErasePasses(7);
  RunMethodDialog(env, [](CMethodDlg* d) {
    QTest::mouseClick(d->RadioOf(35), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(d->TitleBar()->CloseButton(), Qt::LeftButton);
  });
  EXPECT_EQ(CUIPublic::instance()->GetErasePasses(), 7);

  CUIPublic::instance()->SetErasePasses(5);
  EXPECT_EQ(RunMethodDialog(env, [](CMethodDlg* d) { QTest::mouseClick(d->ConfirmButton(), Qt::LeftButton); }), 0);
  EXPECT_EQ(CUIPublic::instance()->GetErasePasses(), 1);
}

// The progress dialog runs the erase with the pass count the method dialog
// stored: every file gets that many passes, and the history says so.
TEST(EraseProgressDialog, RunHonoursTheChosenMethod) {
  UiEnv env;
  testutil::TempDir dir("progress");
  for (int passes : {1, 3, 7, 35}) {
    const std::string file = dir.file("f" + std::to_string(passes));
    testutil::WriteFile(file, std::string(10000, 'x'));
    CUIPublic::instance()->SetErasePasses(passes);
    testutil::BusSpy spy({MSG_ERASE_FILES_PROGRESS, MSG_ERASE_FILES_DONE});
    int seen = 0;
    {
      CEraseProgressDlg dlg(env.Window());
      dlg.SetCloseDelay(0);
      dlg.Run().Overwriter().SetPassHook([&seen](int, int) { ++seen; });
      dlg.SetItems({{file, 0, 0, 0}}, {});
      dlg.StartErase();
      EXPECT_EQ(dlg.Progress()->LeftCaption()->text(),
                QStringLiteral("Data erasure algorithm: %1").arg(GetAlgorithmName(passes)));
      dlg.exec();
      EXPECT_TRUE(dlg.IsDone());
      EXPECT_EQ(dlg.Result(), ERASE_COMPLETED);
      EXPECT_EQ(dlg.Progress()->GetProgressBar()->maximum(), 2);  // one item: 0..2
      EXPECT_EQ(dlg.Progress()->GetProgressBar()->value(), 2);
      EXPECT_EQ(dlg.StatusLabel()->text(), QStringLiteral("Completely erasing: f%1").arg(passes));
    }
    EXPECT_EQ(seen, passes);
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(spy.Values(MSG_ERASE_FILES_PROGRESS), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(spy.Values(MSG_ERASE_FILES_DONE).size(), 1u);
    const auto runs = CHistoryDataBase(CHistoryDataBase::DefaultPath()).ReadAll();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.rbegin()->second.at(0).algorithm, passes);
    CHistoryDataBase(CHistoryDataBase::DefaultPath()).DeleteAll();
  }
}

TEST(EraseProgressDialog, EscapeAndTitleCloseCancelButWaitForTheRun) {
  UiEnv env;
  testutil::TempDir dir("cancel");
  std::vector<EraseItem> files;
  for (int i = 0; i < 40; ++i) {
    files.push_back({dir.file("c" + std::to_string(i)), 0, 0, 0});
    testutil::WriteFile(files.back().path, "data");
  }
  for (bool escape : {true, false}) {
    CEraseProgressDlg dlg(env.Window());
    dlg.SetCloseDelay(0);
    dlg.Run().SetPauses(50, 0);
    dlg.SetItems(files, {});
    dlg.StartErase();
    AnswerOf<CEraseProgressDlg>([escape](CEraseProgressDlg* d) {
      if (escape)
        QTest::keyClick(d, Qt::Key_Escape);
      else
        QTest::mouseClick(d->TitleBar()->CloseButton(), Qt::LeftButton);
      // Still open: the run has not ended yet.
      EXPECT_TRUE(d->isVisible());
      EXPECT_EQ(d->StatusLabel()->text(), QStringLiteral("Canceling erasure, please wait..."));
      EXPECT_TRUE(d->CancelButton()->isHidden());
    });
    dlg.exec();
    EXPECT_TRUE(dlg.IsDone());
    EXPECT_FALSE(dlg.IsCompleted());
    EXPECT_EQ(dlg.Result(), ERASE_FILES_CANCELLED);
  }
}

// The history dialog over a history of two runs: order, method names, delete,
// export (parsed back) and its ending through the title bar.
TEST(EraseHistoryDialog, ShowsDeletesExportsAndEnds) {
  UiEnv env;
  CHistoryDataBase db(CHistoryDataBase::DefaultPath());
  db.InsertBatch({{"/data/old.txt", 0, 0, 0}}, 7, "2024-03-01 09-00-00");
  db.InsertBatch({{"/data/a&b.txt", 0, 0, 0}, {"/data/kept", 0, 1, 1}}, 35, "2024-03-02 18-30-05");
  testutil::TempDir out("export");
  const QString exportPath = QString::fromStdString(out.file("run.html"));
  bool checked = false;
  AnswerOf<CHistoryLogDlg>([&](CHistoryLogDlg* d) {
    QTRY_VERIFY_WITH_TIMEOUT(d->IsLoaded(), 5000);
    EXPECT_TRUE(d->LoadingLabel()->isHidden());
    QTreeWidget* tree = d->Tree();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("2024-03-02 18-30-05"));
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());
    EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("2024-03-01 09-00-00"));
    QTreeWidgetItem* newest = tree->topLevelItem(0);
    ASSERT_EQ(newest->childCount(), 3);
    EXPECT_EQ(newest->child(0)->text(1), QStringLiteral("Erasure Algorithm"));
    EXPECT_EQ(newest->child(1)->text(1), QStringLiteral("Peter Gutmann's algorithm"));
    EXPECT_EQ(newest->child(1)->text(2), QStringLiteral("Erased"));
    EXPECT_EQ(newest->child(2)->text(2), QStringLiteral("Failed"));
    EXPECT_EQ(tree->topLevelItem(1)->child(1)->text(1), QStringLiteral("DoD 5220.22-M ECE"));

    // Delete the newest; export the older one, still run number 1.
    auto buttonOf = [tree](int run, const char* property) -> QPushButton* {
      for (auto* b : tree->itemWidget(tree->topLevelItem(run), 2)->findChildren<QPushButton*>())
        if (b->property(property).isValid()) return b;
      return nullptr;
    };
    QTest::mouseClick(buttonOf(0, "delbtn"), Qt::LeftButton);
    EXPECT_TRUE(tree->topLevelItem(0)->isHidden());
    EXPECT_EQ(d->RunCount(), 1);
    EXPECT_TRUE(d->EmptyButton()->isEnabled());

    AnswerOf<QFileDialog>([&](QFileDialog* fd) {
      EXPECT_EQ(fd->windowTitle(), QStringLiteral("Export erasure history"));
      fd->setDirectory(QString::fromStdString(out.path()));
      // Typed without the suffix: the page still gets ".html".
      if (auto* edit = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(QStringLiteral("run"));
      QMetaObject::invokeMethod(fd, "accept");
    });
    AnswerOf<CMSGDlg>([&](CMSGDlg* box) {
      EXPECT_EQ(box->TextLabel()->text(), QStringLiteral("Export Successful!\n") + exportPath);
      QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
    });
    QTest::mouseClick(buttonOf(1, "exportbtn"), Qt::LeftButton);
    checked = true;
    QTest::mouseClick(d->TitleBar()->CloseButton(), Qt::LeftButton);
  });
  OpenHistoryDialog(env.Window());  // returns once the title bar closed it
  ASSERT_TRUE(checked);

  QFile page(exportPath);
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  QDomDocument doc;
  QString error;
  ASSERT_TRUE(doc.setContent(&page, &error)) << error.toStdString();
  const QDomNodeList cells = doc.elementsByTagName(QStringLiteral("td"));
  const QDomNodeList heads = doc.elementsByTagName(QStringLiteral("th"));
  ASSERT_EQ(heads.count(), 1);
  EXPECT_EQ(heads.at(0).toElement().text(), QStringLiteral("2024-03-01 09-00-00"));
  ASSERT_EQ(cells.count(), 6);
  EXPECT_EQ(cells.at(3).toElement().text(), QStringLiteral("/data/old.txt"));
  EXPECT_EQ(cells.at(4).toElement().text(), QStringLiteral("DoD 5220.22-M ECE"));
  EXPECT_EQ(cells.at(5).toElement().text(), QStringLiteral("Erased"));

  const auto runs = CHistoryDataBase(CHistoryDataBase::DefaultPath()).ReadAll();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs.begin()->first, "2024-03-01 09-00-00");
}

TEST(EraseHistoryDialog, EmptyHistoryAndEmptyList) {
  UiEnv env;
  AnswerOf<CHistoryLogDlg>([](CHistoryLogDlg* d) {
    QTRY_VERIFY_WITH_TIMEOUT(d->IsLoaded(), 5000);
    ASSERT_EQ(d->Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(d->Tree()->topLevelItem(0)->text(1), QStringLiteral("No Erasure Logs"));
    EXPECT_FALSE(d->EmptyButton()->isEnabled());
    SendBusMsg(MSG_TITLE_CLOSE);
  });
  OpenHistoryDialog(env.Window());

  CHistoryDataBase(CHistoryDataBase::DefaultPath()).InsertOne("/x", 1, 0, "2024-01-01 00-00-00");
  AnswerOf<CHistoryLogDlg>([](CHistoryLogDlg* d) {
    QTRY_VERIFY_WITH_TIMEOUT(d->IsLoaded(), 5000);
    QTest::mouseClick(d->EmptyButton(), Qt::LeftButton);
    EXPECT_EQ(d->Tree()->topLevelItemCount(), 0);
    EXPECT_FALSE(d->EmptyButton()->isEnabled());
    SendBusMsg(MSG_TITLE_CLOSE);
  });
  OpenHistoryDialog(env.Window());
  EXPECT_TRUE(CHistoryDataBase(CHistoryDataBase::DefaultPath()).ReadAll().empty());
}

}  // namespace

namespace {

// Every "./Resources/..." and "./QSS/..." file the erase UI names is shipped
// beside the program.
TEST(EraseUiResources, EveryFileNamedIsShipped) {
  const QDir sources(QStringLiteral(VANTOREL_SOURCE_DIR "/erasure/ui"));
  const QRegularExpression named(QStringLiteral("\\./(Resources|QSS)/[A-Za-z0-9_./]+\\.(png|qss|ico)"));
  int found = 0;
  for (const QString& name : sources.entryList({QStringLiteral("*.cpp")})) {
    QFile file(sources.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    for (auto it = named.globalMatch(text); it.hasNext();) {
      const QString path = it.next().captured(0).mid(2);
      ++found;
      EXPECT_TRUE(QFile::exists(QStringLiteral(VANTOREL_BIN_DIR "/") + path))
          << name.toStdString() << ": " << path.toStdString();
    }
  }
  EXPECT_GT(found, 10);
}

}  // namespace
