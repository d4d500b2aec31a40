// The file-selection page driven as a user drives it: choosers, check boxes,
// the header, "Erase Now" with its confirmation, progress and result
// dialogs, drops, and the history afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtTest/QTest>
#include <cerrno>
#include <cstring>
#include <memory>

#include "BusSpy.h"
#include "CBPQtLabel.h"
#include "CEraseProgressDlg.h"
#include "CEraseRstDlg.h"
#include "CHeaderView.h"
#include "CHistoryDataBase.h"
#include "CHistoryLogDlg.h"
#include "CMSGDlg.h"
#include "CSelectFileFolderPage.h"
#include "CTitleBtn.h"
#include "CWindowDlgTitle.h"
#include "EraseUiTestSupport.h"
#include "TestUtil.h"
#include "UiHelpers.h"
#include "VolumeRoots.h"

using eraseui::AnswerOf;
using eraseui::ChooseInFileDialog;
using eraseui::UiEnv;
using testutil::BusSpy;

namespace {

// Clicks a row's check box on its indicator, as a user does.
void ClickBox(QCheckBox* box) {
  ASSERT_NE(box, nullptr);
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
  ASSERT_TRUE(box->isVisible());
  QStyleOptionButton option;
  option.initFrom(box);
  const QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
  QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

bool Exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

class FilePage : public ::testing::Test {
 protected:
  FilePage() : dir("page") {
    holder = CreateSelectFileFolderPage(env.Window());
    auto* layout = new QVBoxLayout(env.Window());
    layout->addWidget(holder);
    page = dynamic_cast<CSelectFileFolderPage*>(holder->layout());
    QApplication::processEvents();
  }
  ~FilePage() override {
    SetDroppedPathsProvider(nullptr);
    delete holder;
  }
  QString Dir() const { return QString::fromStdString(dir.path()); }
  std::string P(const std::string& name) const { return dir.file(name); }
  QTreeWidget* Tree() const { return page->Tree(); }
  QTreeWidgetItem* Row(const QString& name) const {
    for (int i = 0; i < Tree()->topLevelItemCount(); ++i)
      if (Tree()->topLevelItem(i)->text(1) == name) return Tree()->topLevelItem(i);
    return nullptr;
  }
  QCheckBox* BoxOf(const QString& name) const {
    QTreeWidgetItem* row = Row(name);
    return row ? qobject_cast<QCheckBox*>(Tree()->itemWidget(row, 0)) : nullptr;
  }
  void AddFiles(const QString& names) {
    ChooseInFileDialog(Dir(), names);
    QTest::mouseClick(page->Views()->currentIndex() == 0 ? page->WelcomeAddFiles() : page->ListAddFiles(),
                      Qt::LeftButton);
  }
  void AddFolder(const QString& folder, const QString& name) {
    ChooseInFileDialog(folder, name);
    QTest::mouseClick(page->Views()->currentIndex() == 0 ? page->WelcomeAddFolders() : page->ListAddFolders(),
                      Qt::LeftButton);
  }
  // Runs "Erase Now" through confirmation, progress and result; returns the
  // result dialog's title and text.
  std::pair<QString, QString> EraseConfirmed() {
    std::pair<QString, QString> shown;
    bool sawProgress = false;
    AnswerOf<CMSGDlg>([](CMSGDlg* box) { QTest::mouseClick(box->FirstButton(), Qt::LeftButton); });
    AnswerOf<CEraseProgressDlg>([&sawProgress](CEraseProgressDlg*) { sawProgress = true; });
    AnswerOf<CEraseRstDlg>([&shown](CEraseRstDlg* d) {
      shown = {d->TitleLabel()->text(), d->TextLabel()->text()};
      QTest::mouseClick(d->CloseButton(), Qt::LeftButton);
    });
    QTest::mouseClick(page->EraseButton(), Qt::LeftButton);
    EXPECT_TRUE(sawProgress);
    return shown;
  }

  UiEnv env;
  testutil::TempDir dir;
  QWidget* holder = nullptr;
  CSelectFileFolderPage* page = nullptr;
};

TEST_F(FilePage, AddConfirmEraseAndHistory) {
  for (const char* f : {"a.txt", "b.txt", "keep.txt", "D/x.txt", "D/sub/y.txt"}) {
    mkdir(P("D").c_str(), 0755);
    mkdir(P("D/sub").c_str(), 0755);
    testutil::WriteFile(P(f), std::string(3000, 'q'));
  }
  CUIPublic::instance()->SetErasePasses(3);
  BusSpy header({MSG_SET_HEADER_CHECK});

  EXPECT_EQ(page->Views()->currentIndex(), 0);
  AddFiles(QStringLiteral("\"a.txt\" \"b.txt\" \"keep.txt\""));
  EXPECT_EQ(page->Views()->currentIndex(), 1);
  AddFolder(Dir(), QStringLiteral("D"));
  AddFiles(QStringLiteral("\"a.txt\""));  // listed once only
  ASSERT_EQ(Tree()->topLevelItemCount(), 4);
  EXPECT_EQ(Row(QStringLiteral("D"))->data(1, Qt::UserRole + 1).toInt(), 1);
  EXPECT_EQ(Row(QStringLiteral("a.txt"))->text(2), QString::fromStdString(P("a.txt")));
  EXPECT_EQ(header.Values(MSG_SET_HEADER_CHECK).back(), 2);

  ClickBox(BoxOf(QStringLiteral("keep.txt")));
  EXPECT_EQ(header.Values(MSG_SET_HEADER_CHECK).back(), 1);
  EXPECT_EQ(page->CheckedCount(), 3);

  // Escape at the confirmation erases nothing and keeps the list.
  AnswerOf<CMSGDlg>(
      [](CMSGDlg* box) { QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Escape); });
  QTest::mouseClick(page->EraseButton(), Qt::LeftButton);
  EXPECT_TRUE(Exists(P("a.txt")) && Exists(P("D/sub/y.txt")));
  EXPECT_EQ(Tree()->topLevelItemCount(), 4);
  // Return on the untouched confirmation does not confirm either.
  AnswerOf<CMSGDlg>(
      [](CMSGDlg* box) { QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return); });
  QTest::mouseClick(page->EraseButton(), Qt::LeftButton);
  EXPECT_TRUE(Exists(P("a.txt")));
  AddFiles(QStringLiteral("\"b.txt\""));  // still listed once after a cancelled erase
  EXPECT_EQ(Tree()->topLevelItemCount(), 4);

  const auto shown = EraseConfirmed();
  EXPECT_EQ(shown.first, QStringLiteral("Completed!"));
  for (const char* gone : {"a.txt", "b.txt", "D/x.txt", "D/sub/y.txt", "D/sub", "D"})
    EXPECT_FALSE(Exists(P(gone))) << gone;
  EXPECT_TRUE(Exists(P("keep.txt")));
  ASSERT_EQ(Tree()->topLevelItemCount(), 1);
  EXPECT_EQ(Tree()->topLevelItem(0)->text(1), QStringLiteral("keep.txt"));
  EXPECT_FALSE(BoxOf(QStringLiteral("keep.txt"))->isChecked());
  EXPECT_EQ(page->CheckedCount(), 0);
  EXPECT_EQ(header.Values(MSG_SET_HEADER_CHECK).back(), 0);
  EXPECT_EQ(page->Views()->currentIndex(), 1);

  // Nothing checked: a notice, nothing erased.
  AnswerOf<CMSGDlg>([](CMSGDlg* box) {
    EXPECT_EQ(box->TextLabel()->text(),
              QStringLiteral("Please select the file(s) or folder(s) that you want to erase."));
    QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
  });
  QTest::mouseClick(page->EraseButton(), Qt::LeftButton);
  EXPECT_TRUE(Exists(P("keep.txt")));

  // The history dialog shows the run, every item with its method.
  bool seen = false;
  AnswerOf<CHistoryLogDlg>([&seen](CHistoryLogDlg* d) {
    QTRY_VERIFY_WITH_TIMEOUT(d->IsLoaded(), 5000);
    ASSERT_EQ(d->Tree()->topLevelItemCount(), 1);
    QTreeWidgetItem* run = d->Tree()->topLevelItem(0);
    EXPECT_EQ(run->childCount(), 7);  // title row + a, b, D, D/x.txt, D/sub, D/sub/y.txt
    for (int i = 1; i < run->childCount(); ++i) {
      EXPECT_EQ(run->child(i)->text(1), QStringLiteral("U.S Army AR380-19"));
      EXPECT_EQ(run->child(i)->text(2), QStringLiteral("Erased"));
    }
    seen = true;
    QTest::mouseClick(d->TitleBar()->CloseButton(), Qt::LeftButton);
  });
  OpenHistoryDialog();
  EXPECT_TRUE(seen);
}

// Items the run could not erase stay in the list (checked, to try again),
// and the result says how many failed and why the first did.
TEST_F(FilePage, FailedItemsStayListedAndTheResultSaysWhy) {
  mkdir(P("E").c_str(), 0755);
  testutil::WriteFile(P("E/ok.txt"), "x");
  ASSERT_EQ(mkfifo(P("E/pipe").c_str(), 0600), 0);
  testutil::WriteFile(P("gone.txt"), "y");
  AddFolder(Dir(), QStringLiteral("E"));
  AddFiles(QStringLiteral("\"gone.txt\""));
  ASSERT_EQ(Tree()->topLevelItemCount(), 2);
  auto shown = EraseConfirmed();
  EXPECT_EQ(shown.first, QStringLiteral("Operation failed!"));
  // The FIFO stays, and with it its folder.
  EXPECT_EQ(shown.second, QStringLiteral("2 item(s) could not be erased and stay in the list. First reason: a device, "
                                         "FIFO or socket is never opened (pipe)."));
  EXPECT_FALSE(Exists(P("E/ok.txt")));
  EXPECT_FALSE(Exists(P("gone.txt")));
  EXPECT_TRUE(Exists(P("E/pipe")));
  ASSERT_EQ(Tree()->topLevelItemCount(), 1);
  EXPECT_NE(Row(QStringLiteral("E")), nullptr);
  EXPECT_TRUE(BoxOf(QStringLiteral("E"))->isChecked());

  // On a read-only mount the reason is the system's own.
  if (!testutil::IsRoot()) return;
  unlink(P("E/pipe").c_str());
  // The folder lies inside the mount (a mount point itself is refused).
  mkdir(P("M").c_str(), 0755);
  mkdir(P("M/R").c_str(), 0755);
  testutil::WriteFile(P("M/R/a.txt"), "a");
  ASSERT_EQ(testutil::Run({"mount", "--bind", P("M"), P("M")}).exitCode, 0);
  std::shared_ptr<void> unmount(nullptr, [&](void*) { testutil::Run({"umount", P("M")}); });
  ASSERT_EQ(testutil::Run({"mount", "-o", "remount,bind,ro", P("M")}).exitCode, 0);
  AddFolder(QString::fromStdString(P("M")), QStringLiteral("R"));
  shown = EraseConfirmed();
  EXPECT_TRUE(shown.second.startsWith(QStringLiteral("2 item(s) could not be erased")))
      << shown.second.toStdString();  // the file, and so its folder
  EXPECT_TRUE(shown.second.contains(QString::fromLocal8Bit(strerror(EROFS)) + QStringLiteral(" (a.txt)")))
      << shown.second.toStdString();
  EXPECT_TRUE(Exists(P("M/R/a.txt")));
  EXPECT_NE(Row(QStringLiteral("R")), nullptr);
}

// The choosers open in the user's home, never in the program's folder,
// and then where the user went last.
TEST_F(FilePage, FileChoosersStartAtHomeThenWhereTheUserWentLast) {
  testutil::TempDir home("home");
  const char* oldHome = getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", home.path().c_str(), 1);
  mkdir(P("deeper").c_str(), 0755);
  std::vector<QString> opened;
  for (const QString& go : {QString::fromStdString(P("deeper")), QString()}) {
    AnswerOf<QFileDialog>([&opened, go](QFileDialog* fd) {
      opened.push_back(fd->directory().absolutePath());
      if (!go.isEmpty()) fd->setDirectory(go);
      fd->reject();
    });
    QTest::mouseClick(page->WelcomeAddFiles(), Qt::LeftButton);
  }
  if (oldHome)
    setenv("HOME", savedHome.c_str(), 1);
  else
    unsetenv("HOME");
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], QString::fromStdString(home.path()));
  EXPECT_EQ(opened[1], QString::fromStdString(P("deeper")));
}

TEST_F(FilePage, VolumeRootsAndLinksFromChooserAndDrop) {
  std::string mountPoint;
  for (const std::string& m : platform::MountPoints())
    if (m != "/" && m.find(' ') == std::string::npos && access(m.c_str(), R_OK) == 0) mountPoint = m;
  mkdir(P("real").c_str(), 0755);
  testutil::WriteFile(P("real/inside.txt"), "keep me");
  ASSERT_EQ(symlink(P("real").c_str(), P("link").c_str()), 0);

  // The folder chooser (here opened by the title bar's add menu) refuses "/".
  AnswerOf<CMSGDlg>([](CMSGDlg* box) {
    EXPECT_EQ(box->TextLabel()->text(), QStringLiteral("Can't select partition root directory."));
    QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
  });
  ChooseInFileDialog(QStringLiteral("/"), QString());
  SendBusMsg(MSG_ADD_FOLDERS);
  EXPECT_EQ(Tree()->topLevelItemCount(), 0);
  EXPECT_EQ(page->Views()->currentIndex(), 1);

  // A drop of "/", a mount point, a link to a folder (handed over as a
  // folder) and a plain folder.
  SetDroppedPathsProvider([&](QStringList* files, QStringList* folders) {
    *files = QStringList{QStringLiteral("/")};
    *folders = QStringList{QString::fromStdString(P("link")), QString::fromStdString(P("real"))};
    if (!mountPoint.empty()) folders->append(QString::fromStdString(mountPoint));
  });
  int notices = 0;
  std::function<void(CMSGDlg*)> ok = [&notices](CMSGDlg* box) {
    ++notices;
    QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
  };
  AnswerOf<CMSGDlg>(ok);
  AnswerOf<CMSGDlg>(ok);
  SendBusMsg(MSG_FILES_DROPPED);
  QTRY_COMPARE_WITH_TIMEOUT(notices, 2, 5000);
  ASSERT_EQ(Tree()->topLevelItemCount(), 2);
  EXPECT_EQ(Row(QStringLiteral("link"))->data(1, Qt::UserRole + 1).toInt(), 0);  // the link, as a file
  EXPECT_EQ(Row(QStringLiteral("real"))->data(1, Qt::UserRole + 1).toInt(), 1);

  // Erasing the checked link removes the link only.
  ClickBox(BoxOf(QStringLiteral("real")));
  const auto shown = EraseConfirmed();
  EXPECT_EQ(shown.first, QStringLiteral("Completed!"));
  EXPECT_FALSE(Exists(P("link")));
  EXPECT_EQ(testutil::ReadFile(P("real/inside.txt")), "keep me");
  ASSERT_EQ(Tree()->topLevelItemCount(), 1);
  EXPECT_EQ(Tree()->topLevelItem(0)->text(1), QStringLiteral("real"));
}

// A folder's size is that of the files the erase would overwrite in it:
// its subfolders' files count, a link's target does not.
TEST_F(FilePage, FolderShowsTheSizeOfItsContent) {
  mkdir(P("F").c_str(), 0755);
  mkdir(P("F/sub").c_str(), 0755);
  testutil::WriteFile(P("F/a.bin"), std::string(2000, 'a'));
  testutil::WriteFile(P("F/sub/b.bin"), std::string(3000, 'b'));
  testutil::WriteFile(P("outside.bin"), std::string(1 << 20, 'o'));
  ASSERT_EQ(symlink(P("outside.bin").c_str(), P("F/link").c_str()), 0);
  AddFolder(Dir(), QStringLiteral("F"));
  QTreeWidgetItem* row = Row(QStringLiteral("F"));
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->data(4, Qt::DisplayRole).toLongLong(), 5000);
  EXPECT_EQ(row->text(3), FormatSizeText(5000));
}

TEST_F(FilePage, HeaderCheckBoxAndSizeSort) {
  testutil::WriteFile(P("big"), std::string(1024 * 1024, 'b'));
  testutil::WriteFile(P("mid"), std::string(900 * 1024, 'm'));
  testutil::WriteFile(P("small"), std::string(10, 's'));
  AddFiles(QStringLiteral("\"mid\" \"small\" \"big\""));
  for (const char* n : {"mid", "small", "big"}) ClickBox(BoxOf(QString::fromLatin1(n)));
  EXPECT_EQ(page->CheckedCount(), 0);

  auto* header = static_cast<CHeaderView*>(Tree()->header());
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, CHeaderView::CheckBoxRect().center());
  EXPECT_EQ(page->CheckedCount(), 3);
  for (const char* n : {"mid", "small", "big"}) EXPECT_TRUE(BoxOf(QString::fromLatin1(n))->isChecked());

  auto order = [this] {
    QStringList names;
    for (int i = 0; i < Tree()->topLevelItemCount(); ++i) names << Tree()->topLevelItem(i)->text(1);
    return names.join(QLatin1Char(','));
  };
  const QPoint size(header->sectionViewportPosition(3) + 10, 10);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, size);
  const QString first = order();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, size);
  const QString second = order();
  EXPECT_TRUE((first == "small,mid,big" && second == "big,mid,small") ||
              (first == "big,mid,small" && second == "small,mid,big"))
      << first.toStdString() << " / " << second.toStdString();
}

}  // namespace
