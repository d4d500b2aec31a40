// The main window: navigation and page area, dropped items, device changes
// turned into rescans, the title bar and the shell list file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QDomDocument>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QScreen>
#include <QUrl>
#include <QtTest/QTest>
#include <atomic>
#include <memory>
#include <thread>

#include "BusSpy.h"
#include "CLeftBtn.h"
#include "CLeftContent.h"
#include "CLeftTools.h"
#include "CMSGDlg.h"
#include "CMainWin.h"
#include "CRightContent.h"
#include "CRightContentBase.h"
#include "CRightTab.h"
#include "CTitleBtn.h"
#include "CUIPublic.h"
#include "CWindowTitle.h"
#include "DialogOpeners.h"
#include "DiskListSeam.h"
#include "ModalHelper.h"
#include "MsgDefine.h"
#include "PageFactories.h"
#include "ProgramDirFixture.h"
#include "ProgramFolder.h"
#include "StartUp.h"

namespace {

using testutil::BusSpy;
using testutil::Pump;

// A page as the program's pages are: a layout that is a CRightContentBase.
class FakePage : public QVBoxLayout, public CRightContentBase {
 public:
  explicit FakePage(int id) : CRightContentBase(id) {}
  void Activate(int p1, int p2) override {
    ++activations;
    lastParams = {p1, p2};
  }
  int activations = 0;
  std::pair<int, int> lastParams{-7, -7};
};

// Opens the drag-and-drop handlers to the tests (the application hands a
// drop only to the target of a running drag).
class TestMainWin : public CMainWin {
 public:
  TestMainWin() : CMainWin(nullptr, false) {}
  using CMainWin::dragEnterEvent;
  using CMainWin::dropEvent;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qApp->setQuitOnLastWindowClosed(false);
    for (int id = kFilePage; id <= kInternetPage; ++id) {
      if (id == kInternetPage) continue;  // left without a page: the placeholder shows
      RegisterPageFactory(id, [this, id]() -> QWidget* {
        auto* page = new FakePage(id);
        pages[id] = page;
        auto* host = new QWidget;
        host->setLayout(page);
        return host;
      });
    }
    window = std::make_unique<TestMainWin>();
    CUIPublic::instance()->SetMainWindow(window.get());
    CUIPublic::instance()->SwitchPage(kFilePage);
    window->show();
  }
  void TearDown() override {
    CUIPublic::instance()->SetMainWindow(nullptr);
    window.reset();
    for (int id = kFilePage; id <= kInternetPage; ++id) RegisterPageFactory(id, nullptr);
    SetMethodDialogOpener(nullptr);
    SetHistoryDialogOpener(nullptr);
    DiskListSeam::instance()->SetRunningProbe(nullptr);
    CUIPublic::instance()->SwitchPage(kFilePage);
    unsetenv("VANTOREL_TEST_ANSWER_MS");
  }
  CLeftTools* Nav() const { return window->Navigation()->Tools(); }
  int ShownPage() const { return window->PageArea()->Tab()->CurrentPageId(); }
  std::vector<bool> Selection() const {
    return {Nav()->FileButton()->IsSelected(), Nav()->PartitionButton()->IsSelected(),
            Nav()->FreeSpaceButton()->IsSelected(), Nav()->InternetButton()->IsSelected(),
            Nav()->UninstallerButton()->IsSelected()};
  }

  ProgramDirFixture env;
  FakePage* pages[4] = {nullptr, nullptr, nullptr, nullptr};
  std::unique_ptr<TestMainWin> window;
};

TEST_F(MainWindowTest, NavigationShowsEveryPageButtonBesideThePageArea) {
  CLeftContent* nav = window->Navigation();
  ASSERT_TRUE(nav->isVisible());
  // The column and the page area sit side by side inside the window.
  EXPECT_LE(nav->geometry().right(), window->PageArea()->geometry().left());
  EXPECT_LE(window->PageArea()->geometry().right(), window->width());
  for (CLeftBtn* b : {Nav()->FileButton(), Nav()->PartitionButton(), Nav()->FreeSpaceButton(),
                      Nav()->AlgorithmButton(), Nav()->HistoryButton(), Nav()->InternetButton()}) {
    EXPECT_TRUE(b->isVisible()) << b->text().toStdString();
    EXPECT_TRUE(nav->isAncestorOf(b));
  }
  EXPECT_FALSE(Nav()->UninstallerButton()->isVisible());
  // An index without a registered page shows the placeholder.
  EXPECT_EQ(window->PageArea()->Tab()->PageHost(kInternetPage)->objectName(), QStringLiteral("PlaceholderPage3"));
}

// On a screen with room the window has its own size; on a smaller one it
// takes the screen's available area. Its title-bar buttons stay on screen.
TEST_F(MainWindowTest, WindowFitsWhollyOnTheScreen) {
  EXPECT_EQ(window->PreferredSize(), QSize(1250, 660));
  const QRect platformScreen = QGuiApplication::primaryScreen()->availableGeometry();
  for (const QRect& screen : {QRect(0, 0, 1920, 1080), QRect(0, 0, 1024, 768), platformScreen}) {
    window->PlaceOnScreen(screen);
    QApplication::processEvents();
    const std::string name = std::to_string(screen.width()) + "x" + std::to_string(screen.height());
    EXPECT_TRUE(screen.contains(window->frameGeometry())) << name;
    EXPECT_EQ(window->size(), window->PreferredSize().boundedTo(screen.size())) << name;
    CWindowTitle* title = window->TitleBar();
    for (QWidget* button : title->findChildren<CTitleBtn*>()) {
      if (!button->isVisible()) continue;
      const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
      EXPECT_TRUE(screen.contains(onScreen)) << name;
    }
    EXPECT_LE(window->PageArea()->geometry().right(), window->width()) << name;
  }
  // Without a given area: the screen the window is on.
  window->PlaceOnScreen();
  EXPECT_TRUE(platformScreen.contains(window->frameGeometry()));
}

// Boxes and dialogs open centred over the window they belong to: a box
// without a parent (a page's message, the export's success) over the main
// window, a dialog of a page over that page's window; a box of a later
// start over the window the first instance reported.
TEST_F(MainWindowTest, DialogsOpenCentredOverTheirWindow) {
  // Away from the screen's centre, so that the two cannot be mistaken.
  window->move(40, 30);
  QApplication::processEvents();
  const QPoint mainCentre = window->frameGeometry().center();
  QWidget* page = window->PageArea();
  const QRect elsewhere(300, 250, 480, 320);
  struct Case {
    const char* what;
    std::function<void()> open;
    QPoint centre;
  } cases[] = {
      {"parentless box",
       [] {
         CMSGDlg box(420, 190);
         box.InitUI(0, "Export Successful!", 1, 0);
         box.exec();
       },
       mainCentre},
      {"box of a page",
       [page] {
         CMSGDlg box(424, 244, page);
         box.InitUI(1, "Please select the files or folders to erase first.", 1, 0);
         box.exec();
       },
       mainCentre},
      {"box over another process's window", [elsewhere] { ShowMessageBox(1, "has been running!", elsewhere); },
       elsewhere.center()},
  };
  for (const Case& c : cases) {
    QRect shown;
    modal::Answer([&shown](QWidget* box) {
      shown = box->frameGeometry();
      static_cast<QDialog*>(box)->accept();
    });
    c.open();
    ASSERT_TRUE(shown.isValid()) << c.what;
    EXPECT_LE((shown.center() - c.centre).manhattanLength(), 2) << c.what << ": " << shown.x() << "," << shown.y();
  }
}

TEST_F(MainWindowTest, NavigationButtonsSwitchPagesAndMarkTheirButton) {
  BusSpy bus({MSG_TITLE_REFRESH, MSG_SWITCH_PAGE});
  struct Case {
    CLeftBtn* button;
    int page;
    std::vector<bool> selection;
  } cases[] = {
      {Nav()->PartitionButton(), kPartitionPage, {false, true, false, false, false}},
      {Nav()->FreeSpaceButton(), kFreeSpacePage, {false, false, true, false, false}},
      {Nav()->InternetButton(), kInternetPage, {false, false, false, true, false}},
      {Nav()->FileButton(), kFilePage, {true, false, false, false, false}},
  };
  for (const Case& c : cases) {
    bus.Clear();
    QTest::mouseClick(c.button, Qt::LeftButton);
    EXPECT_EQ(CUIPublic::instance()->GetCurrentPage(), c.page);
    EXPECT_EQ(ShownPage(), c.page);
    EXPECT_EQ(Selection(), c.selection) << "page " << c.page;
    EXPECT_EQ(Nav()->CurrentPage(), c.page);
    EXPECT_EQ(bus.Ids(), (std::vector<uint>{MSG_TITLE_REFRESH, MSG_SWITCH_PAGE}));
    if (c.page != kInternetPage) {
      EXPECT_EQ(pages[c.page]->lastParams, std::make_pair(0, 0));
    }
  }
  // The method and history entries never stay selected.
  EXPECT_FALSE(Nav()->AlgorithmButton()->IsSelected());
  EXPECT_FALSE(Nav()->HistoryButton()->IsSelected());
}

TEST_F(MainWindowTest, PagesWithoutAPageAndOddIndicesKeepThePageOnShow) {
  CUIPublic::instance()->SwitchPage(kFreeSpacePage);
  // The uninstaller has no page: its button is marked, the page stays.
  Nav()->OnShowUninstallerPage();
  EXPECT_EQ(ShownPage(), kFreeSpacePage);
  EXPECT_EQ(window->PageArea()->PreviousPage(), kFreeSpacePage);
  EXPECT_EQ(Selection(), (std::vector<bool>{false, false, false, false, true}));
  // Out-of-range pages change nothing on show; 7 re-applies the texts.
  CUIPublic::instance()->SwitchPage(7);
  EXPECT_EQ(ShownPage(), kFreeSpacePage);
  EXPECT_EQ(Nav()->CurrentPage(), 7);
  EXPECT_EQ(Selection(), (std::vector<bool>{true, false, false, false, false}));
  CUIPublic::instance()->SwitchPage(-1);
  EXPECT_EQ(ShownPage(), kFreeSpacePage);
  // No key switches pages.
  QTest::keyClick(window->PageArea()->Tab(), Qt::Key_Tab, Qt::ControlModifier);
  QTest::keyClick(window->PageArea()->Tab(), Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(ShownPage(), kFreeSpacePage);
}

TEST_F(MainWindowTest, ADiskPageScansOnItsFirstShowingOnly) {
  BusSpy bus({MSG_PARTITION_RESCAN, MSG_FREESPACE_RESCAN});
  CUIPublic::instance()->SwitchPage(kPartitionPage);
  CUIPublic::instance()->SwitchPage(kFilePage);
  CUIPublic::instance()->SwitchPage(kPartitionPage);
  CUIPublic::instance()->SwitchPage(kFreeSpacePage);
  CUIPublic::instance()->SwitchPage(kFreeSpacePage);
  EXPECT_EQ(bus.Ids(), (std::vector<uint>{MSG_PARTITION_RESCAN, MSG_FREESPACE_RESCAN}));
}

TEST_F(MainWindowTest, MethodAndHistoryButtonsOpenTheirDialogs) {
  // Without an opener a message box says so.
  for (CLeftBtn* b : {Nav()->AlgorithmButton(), Nav()->HistoryButton()}) {
    QString shown;
    modal::Answer([&shown](QWidget* w) {
      for (QLabel* l : w->findChildren<QLabel*>())
        if (!l->text().isEmpty()) shown += l->text();
      qobject_cast<QDialog*>(w)->done(0);
    });
    QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_TRUE(shown.contains(QStringLiteral("not available"))) << shown.toStdString();
  }
  int method = 0, history = 0;
  SetMethodDialogOpener([&method] { ++method; });
  SetHistoryDialogOpener([&history] { ++history; });
  QTest::mouseClick(Nav()->AlgorithmButton(), Qt::LeftButton);
  QTest::mouseClick(Nav()->HistoryButton(), Qt::LeftButton);
  CWindowTitle* title = window->TitleBar();
  QTest::mouseClick(title->MethodButton(), Qt::LeftButton);
  QTest::mouseClick(title->HistoryButton(), Qt::LeftButton);
  EXPECT_EQ(method, 2);
  EXPECT_EQ(history, 2);
}

TEST_F(MainWindowTest, DroppedRootsAreRefusedAndLinksAreNotFolders) {
  setenv("VANTOREL_TEST_ANSWER_MS", "0", 1);
  testutil::TempDir dir("drop");
  const std::string file = dir.file("a.txt"), folder = dir.file("sub"), link = dir.file("link");
  testutil::WriteFile(file, "x");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(symlink(folder.c_str(), link.c_str()), 0);
  BusSpy bus({MSG_FILES_DROPPED});

  // A drop through the window's own drop handling.
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file)), QUrl::fromLocalFile(QString::fromStdString(folder)),
                QUrl::fromLocalFile(QString::fromStdString(link)), QUrl::fromLocalFile(QStringLiteral("/")),
                QUrl::fromLocalFile(QStringLiteral("/proc")), QUrl::fromLocalFile(QString::fromStdString(dir.file("gone")))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  window->dragEnterEvent(&enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  window->dropEvent(&drop);
  EXPECT_EQ(window->GetDroppedFiles(), QStringList({QString::fromStdString(file), QString::fromStdString(link)}));
  EXPECT_EQ(window->GetDroppedFolders(), QStringList({QString::fromStdString(folder)}));
  EXPECT_EQ(bus.Count(MSG_FILES_DROPPED), 1);

  // Only roots: both lists empty, still one message; a later drop replaces the lists.
  window->TakeDroppedPaths({QStringLiteral("/")});
  EXPECT_TRUE(window->GetDroppedFiles().isEmpty());
  EXPECT_TRUE(window->GetDroppedFolders().isEmpty());
  EXPECT_EQ(bus.Count(MSG_FILES_DROPPED), 2);
  window->TakeDroppedPaths({});
  EXPECT_EQ(bus.Count(MSG_FILES_DROPPED), 2);
}

class DeviceChangeTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    DiskListSeam::instance()->SetRunningProbe([this] { return listing.load(); });
  }
  std::atomic<bool> listing{false};
};

TEST_F(DeviceChangeTest, ChangesDuringAListingLeadToOneRescanWhenItEnds) {
  BusSpy bus({MSG_PARTITION_RESCAN_AND_NOTIFY, MSG_FREESPACE_RESCAN_AND_NOTIFY});
  // No listing runs: at once, by the page on show.
  window->OnDeviceChange(1);
  EXPECT_EQ(bus.Ids(), (std::vector<uint>{MSG_PARTITION_RESCAN_AND_NOTIFY}));
  CUIPublic::instance()->SwitchPage(kFreeSpacePage);
  window->OnDeviceChange(0);
  EXPECT_EQ(bus.Ids().back(), static_cast<uint>(MSG_FREESPACE_RESCAN_AND_NOTIFY));
  CUIPublic::instance()->SwitchPage(kFilePage);

  // While a listing runs, two changes wait and become one rescan, sent
  // when the service reports the end from its own thread.
  bus.Clear();
  listing = true;
  window->OnDeviceChange(1);
  window->OnDeviceChange(0);
  Pump(100);
  EXPECT_TRUE(bus.Empty());
  EXPECT_TRUE(window->IsRescanPending());
  listing = false;
  std::thread([] { DiskListSeam::instance()->NotifyListingEnded(); }).join();
  ASSERT_TRUE(bus.WaitFor(MSG_PARTITION_RESCAN_AND_NOTIFY, 1, 10000));
  Pump(700);
  EXPECT_EQ(bus.Ids(), (std::vector<uint>{MSG_PARTITION_RESCAN_AND_NOTIFY}));
  EXPECT_FALSE(window->IsRescanPending());

  // An end report that names a listing which already runs again keeps the
  // rescan waiting; a missed report is made up for by asking again.
  bus.Clear();
  listing = true;
  window->OnDeviceChange(1);
  DiskListSeam::instance()->NotifyListingEnded();
  Pump(100);
  EXPECT_TRUE(bus.Empty());
  listing = false;
  ASSERT_TRUE(bus.WaitFor(MSG_PARTITION_RESCAN_AND_NOTIFY, 1, 10000));
  Pump(700);
  EXPECT_EQ(bus.messages.size(), 1u);
}

TEST_F(MainWindowTest, TitleBarCloseAndExitMessageCloseTheWindow) {
  CWindowTitle* title = window->TitleBar();
  EXPECT_EQ(title->CaptionLabel()->text(), QStringLiteral("Norvanta Vantorel Pro"));
  title->CaptionLabel()->setText(QStringLiteral("x"));
  CUIPublic::instance()->SwitchPage(kFilePage);
  EXPECT_EQ(title->CaptionLabel()->text(), QStringLiteral("Norvanta Vantorel Pro"));
  const Qt::WindowStates state = window->windowState();
  QTest::mouseDClick(title, Qt::LeftButton);
  EXPECT_EQ(window->windowState(), state);

  BusSpy bus({MSG_APP_CLOSING});
  QTest::mouseClick(title->CloseButton(), Qt::LeftButton);
  EXPECT_EQ(bus.Count(MSG_APP_CLOSING), 1);
  EXPECT_FALSE(window->isVisible());

  window->show();
  SendBusMsg(MSG_EXIT_APP);
  EXPECT_TRUE(window->isVisible());
  for (int i = 0; i < 300 && window->isVisible(); ++i) Pump(10);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, ShellListFileNamesTheProgram) {
  QFile file(QString::fromStdString(platform::ProgramFile("norvantashell.xml")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.startsWith("<?xml version = '1.0' encoding='UTF-8'?>")) << bytes.toStdString();
  QDomDocument doc;
  ASSERT_TRUE(doc.setContent(bytes));
  const QDomElement path = doc.documentElement().firstChildElement(QStringLiteral("Path"));
  EXPECT_EQ(doc.documentElement().tagName(), QStringLiteral("root"));
  EXPECT_EQ(path.attribute(QStringLiteral("name")), QString::fromStdString(platform::ProgramFile("vantorel")));
}

}  // namespace
