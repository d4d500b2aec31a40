#include <gtest/gtest.h>

#include <QAction>
#include <QEventLoop>
#include <QPushButton>
#include <QtTest/QTest>
#include <vector>

#include "BusSpy.h"
#include "CAboutDlg.h"
#include "CBPNotifyCentor.h"
#include "CBPQtHyperLink.h"
#include "CBPQtLabel.h"
#include "CCommonMenu.h"
#include "CMSGDlg.h"
#include "CRefreshDlg.h"
#include "CStartDlg.h"
#include "CTitleBtn.h"
#include "CUpdateRstDlg.h"
#include "CWindowDlgTitle.h"
#include "CheckUpdate.h"
#include "DesktopLinks.h"
#include "MainWindowSeam.h"
#include "ModalHelper.h"
#include "MsgDefine.h"
#include "ProgramDirFixture.h"

namespace {

using testutil::BusSpy;

const char* const kUiConfig =
    "[URL]\nID_LINK_HELP=https://help.example/guide\nID_LINK_SUPPORT=https://help.example/support\n"
    "ID_LINK_PRO=https://www.example/product\nID_LINK_UPGRADE=https://www.example/download\n";

// Captures the links the shell opens instead of starting a browser.
class CapturedLinks {
 public:
  CapturedLinks() {
    SetLinkOpener([this](const QUrl& url) {
      links.push_back(url.toString().toStdString());
      return true;
    });
  }
  ~CapturedLinks() { SetLinkOpener(nullptr); }
  std::vector<std::string> links;
};

void CloseThroughTitleBar(QWidget* w) {
  auto* title = w->findChild<CWindowDlgTitle*>();
  ASSERT_NE(title, nullptr);
  QTest::mouseClick(title->CloseButton(), Qt::LeftButton);
}

TEST(ShellMenu, EntriesOpenLinksSendMessagesAndShowTheAboutBox) {
  ProgramDirFixture env;
  env.Write("uiconfig", kUiConfig);
  env.Write("userconfig", "[URL]\nID_LINK_SUPPORT=https://mine.example/support\n");
  CapturedLinks opened;
  BusSpy bus({MSG_ADD_FILES, MSG_ADD_FOLDERS});
  QWidget main;
  main.setGeometry(50, 50, 1000, 660);
  SetShellMainWindow(&main);

  CCommonMenu menu;
  ASSERT_NE(menu.Action(CCommonMenu::kSupportCenter), nullptr);
  EXPECT_EQ(menu.Action(CCommonMenu::kUserGuide)->text(), "Vantorel User Guide");
  EXPECT_EQ(menu.Action(CCommonMenu::kAbout)->font().pixelSize(), 18);
  menu.Action(CCommonMenu::kSupportCenter)->trigger();
  menu.Action(CCommonMenu::kUserGuide)->trigger();
  EXPECT_EQ(opened.links, (std::vector<std::string>{"https://mine.example/support", "https://help.example/guide"}));

  menu.Action(CCommonMenu::kAddFiles)->trigger();
  menu.Action(CCommonMenu::kAddFolders)->trigger();
  EXPECT_EQ(bus.Ids(), (std::vector<uint>{MSG_ADD_FILES, MSG_ADD_FOLDERS}));

  // "About": a modal about box over the main window, closed by its title
  // bar; the menu's handler returns once it is gone.
  CAboutDlg* seen = nullptr;
  modal::Answer([&](QWidget* w) {
    seen = qobject_cast<CAboutDlg*>(w);
    if (seen) QTest::mouseClick(seen->Link(), Qt::LeftButton);
    CloseThroughTitleBar(w);
  });
  menu.Action(CCommonMenu::kAbout)->trigger();
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->parentWidget(), &main);
  EXPECT_FALSE(seen->isVisible());
  EXPECT_EQ(opened.links.back(), "https://www.example/product");

  EXPECT_EQ(menu.Popup(7, 1, 2, {}), nullptr);
  EXPECT_EQ(menu.GetPopupList(), (CCommonMenu::PairList{{1, 2}}));
  SetShellMainWindow(nullptr);
}

TEST(ShellMenu, MissingHelpLinkOpensNothing) {
  ProgramDirFixture env;
  env.Write("uiconfig", "[URL]\nID_LINK_SUPPORT=\n");
  CapturedLinks opened;
  EXPECT_FALSE(OpenHelpLink());
  EXPECT_FALSE(OpenConfiguredLink("ID_LINK_SUPPORT"));
  EXPECT_TRUE(opened.links.empty());
}

TEST(ShellMenu, LinkNoBrowserOpenedIsShownInAMessageBox) {
  ProgramDirFixture env;
  env.Write("uiconfig", kUiConfig);
  SetLinkOpener([](const QUrl&) { return false; });
  QString shown;
  modal::Answer([&](QWidget* w) {
    if (auto* box = qobject_cast<CMSGDlg*>(w)) {
      shown = box->TextLabel()->text();
      QTest::mouseClick(box->FirstButton(), Qt::LeftButton);
    }
  });
  EXPECT_FALSE(OpenHelpLink());
  SetLinkOpener(nullptr);
  EXPECT_TRUE(shown.contains(QStringLiteral("No web browser"))) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QStringLiteral("https://help.example/guide"))) << shown.toStdString();
}

TEST(ShellDialogs, AboutBoxClosedByItsTitleBarEndsTheOpenersLoop) {
  ProgramDirFixture env;
  CAboutDlg about;
  about.InitUI();
  EXPECT_EQ(about.size(), QSize(400, 340));
  EXPECT_TRUE(about.IsTitleLineVisible());
  EXPECT_EQ(about.TitleBar()->CaptionLabel()->text(), "Norvanta Vantorel Pro");
  modal::Answer([](QWidget* w) { CloseThroughTitleBar(w); });
  about.exec();  // returns: the close ends the modal loop
  EXPECT_FALSE(about.isVisible());
  EXPECT_FALSE(about.testAttribute(Qt::WA_WState_Created));
  const auto labels = about.findChildren<QLabel*>();
  EXPECT_TRUE(
      std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "Norvanta Vantorel Pro"; }));
  EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "Version: 16.8"; }));

  // A hidden about box also hears a later close of another dialog.
  about.show();
  QApplication::processEvents();
  CMSGDlg box(424, 244);
  box.InitUI(1, "text", 1, 0);
  modal::Answer([](QWidget* w) { CloseThroughTitleBar(w); });
  EXPECT_EQ(box.exec(), 1);
  EXPECT_FALSE(about.isVisible());
}

TEST(ShellDialogs, SplashAndBusyBox) {
  QWidget parent;
  parent.setGeometry(100, 100, 400, 300);
  CRefreshDlg busy(&parent);
  EXPECT_EQ(busy.pos(), QPoint(300, 208));
  CRefreshDlg alone;
  const QPoint before = alone.pos();
  alone.PlaceOnParent(nullptr);
  EXPECT_EQ(alone.pos(), before);
  busy.InitUI();
  ASSERT_NE(busy.AnimationLabel()->movie(), nullptr);

  CStartDlg splash;
  splash.InitUI();
  EXPECT_EQ(splash.size(), QSize(600, 370));
  splash.show();
  busy.show();
  QApplication::processEvents();
  SendBusMsg(MSG_TITLE_CLOSE);
  EXPECT_FALSE(splash.isVisible());
  EXPECT_FALSE(busy.isVisible());
}

class FakeChecker : public IUpdateChecker {
 public:
  FakeChecker(int fetch, int current) : m_fetch(fetch), m_current(current) {}
  int FetchUpdateInfo(const char* url, int flags) override {
    seenUrl = url;
    EXPECT_EQ(flags, 0);
    return m_fetch;
  }
  int IsCurrentVersion(uint32_t major, uint32_t minor) override {
    EXPECT_EQ(major, 16u);
    EXPECT_EQ(minor, 8u);
    return m_current;
  }
  std::string seenUrl;

 private:
  int m_fetch, m_current;
};

TEST(ShellDialogs, UpdateCheckOutcomes) {
  ProgramDirFixture env;
  env.Write("uiconfig", "[URL]\nID_LINK_UPGRADE_INI=https://www.example/update.ini\n");
  struct Case {
    int fetch, current;
    bool failed, hasUpdate;
    const char* message;
  } cases[] = {
      {-1, 1, true, false, "Failed to check for updates. \nplease check your network connection."},
      {0, 1, false, false, "You are using the latest version."},
      {0, 0, false, true, "A new version of Norvanta Vantorel Pro is \navailable. Would you like to update now?"},
  };
  for (const Case& c : cases) {
    FakeChecker checker(c.fetch, c.current);
    CheckUpdate::SetCheckerSource([&] { return &checker; });
    BusSpy done({MSG_UPDATE_CHECK_DONE});
    CheckUpdate check;
    check.SetSynchronous(true);
    check.InitUI();
    EXPECT_EQ(done.messages.size(), 1u);  // finished before InitUI returned
    EXPECT_EQ(check.IsFailed(), c.failed);
    EXPECT_EQ(check.HasUpdate(), c.hasUpdate);
    EXPECT_EQ(check.GetMessage().toStdString(), c.message);
    EXPECT_EQ(checker.seenUrl, "https://www.example/update.ini");
  }
  // No update library here: no outcome, and the box still closes, also when
  // the check runs on its worker thread.
  CheckUpdate::SetCheckerSource(nullptr);
  CheckUpdate check;
  check.show();
  QEventLoop untilClosed;
  QObject::connect(&check, &QDialog::finished, &untilClosed, &QEventLoop::quit);
  check.InitUI();
  untilClosed.exec();  // the worker's done message arrives through this loop
  EXPECT_FALSE(check.isVisible());
  EXPECT_FALSE(check.IsFailed());
  EXPECT_FALSE(check.HasUpdate());
  EXPECT_TRUE(check.GetMessage().isEmpty());
}

TEST(ShellDialogs, UpdateResultButtons) {
  ProgramDirFixture env;
  env.Write("uiconfig", kUiConfig);
  CapturedLinks opened;
  CUpdateRstDlg result(470, 300);
  result.InitUI("A new version is available.", false, true);
  CStartDlg other;
  other.InitUI();
  other.show();
  result.show();
  QApplication::processEvents();
  QTest::mouseClick(result.UpdateButton(), Qt::LeftButton);
  EXPECT_EQ(opened.links, (std::vector<std::string>{"https://www.example/download"}));
  EXPECT_FALSE(result.isVisible());
  EXPECT_FALSE(other.isVisible());  // both buttons close every listening dialog

  CUpdateRstDlg plain(470, 240);
  plain.InitUI("Failed.", true, false);
  EXPECT_EQ(plain.UpdateButton(), nullptr);
  modal::Answer([](QWidget* w) { CloseThroughTitleBar(w); });
  plain.exec();
  EXPECT_FALSE(plain.isVisible());
}

}  // namespace

namespace {

TEST(ShellDialogs, LateActivationDoesNotReviveAFinishedDialog) {
  CMSGDlg box(424, 244);
  box.InitUI(1, "text", 2, 0);
  box.show();
  QApplication::processEvents();
  box.done(1);
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&box, &activate);
  EXPECT_FALSE(box.isVisible());

  // A dialog that was only hidden comes back when its window is activated.
  CMSGDlg hidden(424, 244);
  hidden.show();
  QApplication::processEvents();
  hidden.hide();
  QApplication::sendEvent(&hidden, &activate);
  EXPECT_TRUE(hidden.isVisible());
  hidden.done(0);
}

}  // namespace
