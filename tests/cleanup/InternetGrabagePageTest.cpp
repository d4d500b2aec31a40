// The internet-traces page on the offscreen platform: with the real plug-in
// against a fake home, without a usable plug-in, and with a scripted one for
// the terminate question.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CBPQtLabel.h"
#include "CInternetGrabagePage.h"
#include "CMSGDlg.h"
#include "CRoundBtn.h"
#include "CUIPublic.h"
#include "ModalHelper.h"
#include "ProgramFolder.h"
#include "TestUtil.h"
#include "UiHelpers.h"

namespace fs = std::filesystem;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

void MakeFile(const std::string& path, size_t size) {
  fs::create_directories(fs::path(path).parent_path());
  testutil::WriteFile(path, std::string(size, 'x'));
}

uint64_t DuBytes(const std::string& path) {
  auto r = testutil::Run({"du", "-bs", path});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return std::stoull(r.output);
}

// The page's widget and the page itself, made by the page area's factory.
struct PageHolder {
  PageHolder() : widget(CreateInternetGrabagePage()), page(qobject_cast<CInternetGrabagePage*>(widget->layout())) {}
  std::unique_ptr<QWidget> widget;
  CInternetGrabagePage* page;
};

// Reloads the UI service's plug-in from `resourceDir`.
void ReloadPlugin(const std::string& resourceDir) {
  platform::SetResourceFolder(resourceDir);
  CUIPublic::instance()->ReleaseTracePlugin();
  CUIPublic::instance()->LoadTracePlugin();
}

QStringList Column(QTreeWidget* tree, int column) {
  QStringList out;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) out << tree->topLevelItem(i)->text(column);
  return out;
}

QTreeWidgetItem* RowNamed(QTreeWidget* tree, const QString& name) {
  for (int i = 0; i < tree->topLevelItemCount(); ++i)
    if (tree->topLevelItem(i)->text(1) == name) return tree->topLevelItem(i);
  ADD_FAILURE() << "no row " << name.toStdString();
  return nullptr;
}

// Kept first: the library, once loaded by a test of the same process, stays loaded.
TEST(InternetTracesPage, SaysWhenThePluginIsMissingOrCannotStart) {
  testutil::TempDir dir("tracespage");
  const std::string empty = dir.file("empty");
  const std::string noSettings = dir.file("nosettings");
  fs::create_directories(empty);
  fs::create_directories(noSettings);
  fs::create_symlink(std::string(VANTOREL_BIN_DIR) + "/libTraceSweep.so", noSettings + "/libTraceSweep.so");

  struct Case {
    std::string resourceDir;
    QString says;
  } cases[] = {
      {empty, QStringLiteral("is not installed")},
      {noSettings, QStringLiteral("could not be started")},  // Init fails without Config.xml
  };
  for (const Case& c : cases) {
    ReloadPlugin(c.resourceDir);
    ASSERT_EQ(CUIPublic::instance()->GetTraceGatherer(), nullptr) << c.resourceDir;
    PageHolder h;
    EXPECT_TRUE(h.page->ResultLabel()->text().contains(c.says)) << h.page->ResultLabel()->text().toStdString();
    EXPECT_FALSE(h.page->ActionButton()->isEnabled());
    EXPECT_EQ(h.page->CategoryTree()->topLevelItemCount(), 0);
    h.page->OnWipe();  // nothing to call through
    EXPECT_EQ(h.page->ActionButton()->Text(), QStringLiteral("Scan"));
  }
  platform::SetResourceFolder(std::string());
}

// A fake home with a Firefox and a Chromium profile whose caches hold files of known sizes.
class TracesPageHome : public ::testing::Test {
 protected:
  void SetUp() override {
    home = dir.file("home");
    ffCache = home + "/.cache/mozilla/firefox/ab12.default/cache2";
    ffCookies = home + "/.mozilla/firefox/ab12.default/cookies.sqlite";
    crCache = home + "/.cache/chromium/Default/Cache";
    crSession = home + "/.config/chromium/Default/Current Session";
    MakeFile(ffCache + "/entries/0A1B", 1000);
    MakeFile(ffCache + "/entries/77FF", 23456);
    MakeFile(ffCache + "/index", 300);
    MakeFile(ffCookies, 777);
    MakeFile(crCache + "/Cache_Data/data_0", 8192);
    MakeFile(crCache + "/Cache_Data/index", 24);
    MakeFile(crSession, 500);
    setenv("VANTOREL_TRACES_HOME", home.c_str(), 1);
    ReloadPlugin(VANTOREL_BIN_DIR);
    ASSERT_NE(CUIPublic::instance()->GetTraceGatherer(), nullptr);
  }
  void TearDown() override {
    unsetenv("VANTOREL_TRACES_HOME");
    platform::SetResourceFolder(std::string());
  }

  testutil::TempDir dir{"tracespage"};
  std::string home, ffCache, ffCookies, crCache, crSession;
};

TEST_F(TracesPageHome, ScanCleanAndReanalyse) {
  PageHolder h;
  CInternetGrabagePage* page = h.page;
  h.widget->show();

  // The trees show what the plug-in will measure and clean, before any run.
  ASSERT_EQ(Column(page->CategoryTree(), 1), (QStringList{"Mozilla Firefox", "Chromium"}));
  ASSERT_EQ(page->TabWidget()->count(), 2);
  QTreeWidget* firefox = page->ItemTree(0);
  QTreeWidget* chromium = page->ItemTree(1);
  EXPECT_TRUE(Column(firefox, 1).contains("Internet cache"));
  EXPECT_TRUE(Column(firefox, 1).contains("Cookies"));
  EXPECT_TRUE(CInternetGrabagePage::RowCheckBox(RowNamed(firefox, "Internet cache"))->isChecked());
  EXPECT_FALSE(CInternetGrabagePage::RowCheckBox(RowNamed(firefox, "Cookies"))->isChecked());
  QCheckBox* firefoxBox = CInternetGrabagePage::RowCheckBox(page->CategoryTree()->topLevelItem(0));
  QCheckBox* chromiumBox = CInternetGrabagePage::RowCheckBox(page->CategoryTree()->topLevelItem(1));
  EXPECT_EQ(firefoxBox->checkState(), Qt::PartiallyChecked);

  // Clicking a category row shows its tab.
  page->TreeitemClicked(page->CategoryTree()->topLevelItem(1), 1);
  EXPECT_EQ(page->TabWidget()->currentIndex(), 1);

  // The Chromium box: partly -> all rows ticked; again -> none (and the plug-in is told).
  chromiumBox->click();
  EXPECT_EQ(chromiumBox->checkState(), Qt::Checked);
  for (int i = 0; i < chromium->topLevelItemCount(); ++i)
    EXPECT_TRUE(CInternetGrabagePage::RowCheckBox(chromium->topLevelItem(i))->isChecked());
  chromiumBox->click();
  EXPECT_EQ(chromiumBox->checkState(), Qt::Unchecked);
  for (int i = 0; i < chromium->topLevelItemCount(); ++i)
    EXPECT_FALSE(CInternetGrabagePage::RowCheckBox(chromium->topLevelItem(i))->isChecked());
  // One Chromium row ticked again by its own box makes the category partly ticked,
  // unticked again leaves it empty.
  QCheckBox* crSessionBox = CInternetGrabagePage::RowCheckBox(RowNamed(chromium, "Session"));
  crSessionBox->click();
  EXPECT_EQ(chromiumBox->checkState(), Qt::PartiallyChecked);
  crSessionBox->click();
  EXPECT_EQ(chromiumBox->checkState(), Qt::Unchecked);

  // Scan: every entry is measured, ticked or not.
  const uint64_t ffCacheBytes = DuBytes(ffCache);
  const uint64_t crCacheBytes = DuBytes(crCache);
  EXPECT_EQ(page->ActionButton()->Text(), "Scan");
  page->ActionButton()->click();
  EXPECT_EQ(page->ResultLabel()->text(),
            "Analysis completed. Found " + FormatSizeText(ffCacheBytes + 777 + crCacheBytes + 500));
  EXPECT_EQ(page->ActionButton()->Text(), "Clean Up");
  EXPECT_TRUE(page->ActionButton()->isEnabled());
  EXPECT_EQ(page->ProgressBar()->value(), 0);
  firefox = page->ItemTree(0);
  chromium = page->ItemTree(1);
  EXPECT_EQ(RowNamed(firefox, "Internet cache")->text(2), FormatSizeText(ffCacheBytes));
  EXPECT_EQ(RowNamed(firefox, "Browsing history")->text(2), "Not found");
  EXPECT_EQ(RowNamed(chromium, "Internet cache")->text(2), FormatSizeText(crCacheBytes));
  // The refreshed trees keep the user's ticks.
  EXPECT_FALSE(CInternetGrabagePage::RowCheckBox(RowNamed(chromium, "Internet cache"))->isChecked());

  // Clean Up: only the ticked Firefox cache goes; its three files are counted.
  page->ActionButton()->click();
  EXPECT_EQ(page->ResultLabel()->text(), "Cleaning completed. 3 files have been cleaned successfully.");
  EXPECT_EQ(page->ActionButton()->Text(), "Re-Analyze");
  EXPECT_FALSE(fs::exists(ffCache));
  EXPECT_TRUE(fs::exists(ffCookies));
  EXPECT_TRUE(fs::exists(crCache + "/Cache_Data/data_0"));
  EXPECT_TRUE(fs::exists(crSession));
  EXPECT_EQ(RowNamed(page->ItemTree(0), "Internet cache")->text(2), "");

  // Re-Analyze: what is left.
  page->ActionButton()->click();
  EXPECT_EQ(page->ResultLabel()->text(), "Analysis completed. Found " + FormatSizeText(777 + crCacheBytes + 500));
  EXPECT_EQ(RowNamed(page->ItemTree(0), "Internet cache")->text(2), "Not found");
  EXPECT_EQ(page->ActionButton()->Text(), "Clean Up");
}

// A plug-in that runs a script of sink calls in place of Scan and Clean.
class ScriptedPlugin : public ITraceSweep {
 public:
  uint32_t GetVersion() const override { return TraceSweepVersion; }
  ITraceSweepItem* GetFirstItem() override { return nullptr; }
  ITraceSweepItem* GetNextItem(ITraceSweepItem*) override { return nullptr; }
  int64_t Init(std::string, std::string) override { return 0; }
  int64_t Uninit() override { return 0; }
  std::string GetTargetHome() override { return "/nonexistent"; }
  int64_t Scan(ITraceSweepSink* sink) override { return script(sink), 0; }
  int64_t Clean(ITraceSweepSink* sink) override { return script(sink), 0; }
  std::function<void(ITraceSweepSink*)> script;
};

TEST(InternetTracesPage, TerminateQuestionNamesTheProgramAndReturnsTheAnswer) {
  struct Case {
    bool cleaning;
    bool yes;
    int ids;
    bool answer;
    QString button;
  } cases[] = {
      {false, true, 2, true, "Clean Up"},  {false, false, 2, false, "Scan"},
      {true, true, 70, true, "Re-Analyze"}, {true, false, 2, false, "Re-Analyze"},
      {true, true, 0, false, "Re-Analyze"},  // nothing listed: nothing agreed to
  };
  for (const Case& c : cases) {
    ScriptedPlugin plugin;
    auto holder = std::make_unique<QWidget>();
    auto& page = *new CInternetGrabagePage(3, &plugin);
    holder->setLayout(&page);
    if (c.cleaning) {
      plugin.script = [](ITraceSweepSink*) {};
      page.OnWipe();
      ASSERT_EQ(page.ActionButton()->Text(), "Clean Up");
    }
    QString asked;
    bool enabledDuringRun = true;
    bool answer = !c.answer;
    plugin.script = [&](ITraceSweepSink* sink) {
      enabledDuringRun = page.ActionButton()->isEnabled();
      modal::Answer([&](QWidget* w) {
        auto* box = qobject_cast<CMSGDlg*>(w);
        ASSERT_NE(box, nullptr);
        asked = box->TextLabel()->text();
        QTest::mouseClick(c.yes ? box->FirstButton() : box->SecondButton(), Qt::LeftButton);
      });
      std::vector<uint32_t> ids;
      for (int i = 0; i < c.ids; ++i) ids.push_back(4000 + i);
      ids.push_back(0);
      answer = sink->OnTerminateProcess("Mozilla Firefox", ids.data(), c.ids);
    };
    page.OnWipe();
    EXPECT_FALSE(enabledDuringRun);
    EXPECT_TRUE(page.ActionButton()->isEnabled());
    EXPECT_TRUE(asked.contains("Mozilla Firefox")) << asked.toStdString();
    EXPECT_TRUE(asked.contains("Are you sure you want to close internet browsers?"));
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(page.ActionButton()->Text(), c.button);
    if (!c.cleaning && !c.yes) {
      EXPECT_EQ(page.ResultLabel()->text(), "");  // a refused analysis says nothing
    }
  }
}

TEST(InternetTracesPage, ReportsFromAnotherThreadNeitherHangNorAsk) {
  ScriptedPlugin plugin;
  auto holder = std::make_unique<QWidget>();
  auto& page = *new CInternetGrabagePage(3, &plugin);
  holder->setLayout(&page);
  bool answer = true;
  plugin.script = [&](ITraceSweepSink* sink) {
    std::thread worker([&] {
      const uint32_t ids[] = {4000, 0};
      sink->OnProgress(50, 0);
      sink->OnGarbageFound("/x", 100, nullptr);
      answer = sink->OnTerminateProcess("Mozilla Firefox", ids, 1);
    });
    worker.join();
  };
  page.OnWipe();
  QCoreApplication::processEvents();
  EXPECT_FALSE(answer);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(page.ActionButton()->Text(), "Scan");
}

}  // namespace
