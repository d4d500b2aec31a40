// The window as a user meets it: every page and dialog of the program drawn
// at its real size, with the longest texts it shows, and no text cut. A
// label's text fits its width (a wrapping label's its height), a list cell's
// value fits its column unless the cell is elided with the whole value as
// its tooltip, and no column or scroll bar lies beyond the list's or the
// window's edge.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTextDocument>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "CAboutDlg.h"
#include "CEraseRstDlg.h"
#include "CHistoryDataBase.h"
#include "CHistoryLogDlg.h"
#include "CInternetGrabagePage.h"
#include "CMSGDlg.h"
#include "CMainWin.h"
#include "CMethodDlg.h"
#include "CProgressWidget.h"
#include "CSelectFileFolderPage.h"
#include "CUIPublic.h"
#include "CWipePartitionPage.h"
#include "EraseResult.h"
#include "PageFactories.h"
#include "ProgramDirFixture.h"
#include "ProgramFolder.h"
#include "ProgramParts.h"
#include "ProgressBody.h"
#include "TestUtil.h"

namespace {

void WaitFor(const std::function<bool()>& done, int ms = 30000) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

std::string Where(const QWidget* w) {
  std::string path;
  for (const QWidget* p = w; p; p = p->parentWidget()) {
    const std::string name = p->objectName().isEmpty() ? p->metaObject()->className() : p->objectName().toStdString();
    path = path.empty() ? name : name + "/" + path;
    if (p->isWindow()) break;
  }
  return path;
}

// The texts of `window` that do not show whole, one line each.
std::vector<std::string> CutTexts(QWidget* window) {
  std::vector<std::string> cut;
  const QRect windowRect = window->rect();
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(window) || label->text().isEmpty()) continue;
    QString text = label->text();
    if (Qt::mightBeRichText(text)) {
      QTextDocument doc;
      doc.setHtml(text);
      text = doc.toPlainText();
    }
    const int margin = label->margin() * 2 + std::max(label->indent(), 0);
    const QRect room = label->contentsRect();
    if (label->wordWrap()) {
      if (label->heightForWidth(label->width()) > label->height())
        cut.push_back(Where(label) + " wraps into more than its height: " + text.toStdString());
      continue;
    }
    for (const QString& line : text.split(QLatin1Char('\n'))) {
      if (label->fontMetrics().horizontalAdvance(line) > room.width() - margin)
        cut.push_back(Where(label) + " is narrower than its text: " + line.toStdString());
    }
    const QRect inWindow(label->mapTo(window, QPoint(0, 0)), label->size());
    if (!windowRect.contains(inWindow)) cut.push_back(Where(label) + " lies beyond the window: " + text.toStdString());
  }
  for (QTreeWidget* tree : window->findChildren<QTreeWidget*>()) {
    if (!tree->isVisibleTo(window)) continue;
    const QRect inWindow(tree->mapTo(window, QPoint(0, 0)), tree->size());
    if (!windowRect.contains(inWindow)) cut.push_back(Where(tree) + " (and its scroll bar) lies beyond the window");
    QHeaderView* header = tree->header();
    const int viewport = tree->viewport()->width();
    std::vector<QTreeWidgetItem*> rows;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      QTreeWidgetItem* top = tree->topLevelItem(i);
      if (top->isHidden()) continue;
      rows.push_back(top);
      if (top->isExpanded())
        for (int j = 0; j < top->childCount(); ++j)
          if (!top->child(j)->isHidden()) rows.push_back(top->child(j));
    }
    if (rows.empty()) continue;
    for (int c = 0; c < tree->columnCount(); ++c) {
      if (tree->isColumnHidden(c) || header->sectionSize(c) == 0) continue;
      const int left = header->sectionViewportPosition(c);
      const int width = header->sectionSize(c);
      bool shown = false;
      for (QTreeWidgetItem* row : rows) {
        const QString text = row->text(c);
        if (text.isEmpty()) continue;
        shown = true;
        // Room for the text: the cell less its icon, the item's indentation
        // and the text margins of the view.
        const QRect cell = tree->visualItemRect(row);
        int room = width - 8;
        if (c == 0) room -= cell.left() - header->sectionViewportPosition(0);
        if (!row->icon(c).isNull()) room -= tree->iconSize().isValid() ? tree->iconSize().width() + 4 : 20;
        if (QWidget* embedded = tree->itemWidget(row, c)) room -= embedded->width();
        const QFontMetrics metrics(row->data(c, Qt::FontRole).isValid() ? row->font(c) : tree->font());
        if (metrics.horizontalAdvance(text) > room && row->toolTip(c) != text)
          cut.push_back(Where(tree) + " column " + std::to_string(c) + " is narrower than " + text.toStdString() +
                        " and its tooltip does not hold it");
      }
      if (shown && left + width > viewport && c != header->logicalIndexAt(viewport - 1))
        cut.push_back(Where(tree) + " column " + std::to_string(c) + " lies beyond the list's edge");
      if (shown && left < 0) cut.push_back(Where(tree) + " column " + std::to_string(c) + " starts left of the list");
    }
    if (tree->horizontalScrollBar()->isVisible() && tree->horizontalScrollBar()->maximum() > 0)
      cut.push_back(Where(tree) + " needs a horizontal scroll bar to show its columns");
  }
  return cut;
}

// Shows `window`, lets it lay out, and returns what is cut.
std::vector<std::string> Shown(QWidget* window) {
  window->show();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  return CutTexts(window);
}

std::string Lines(const std::vector<std::string>& cut) {
  std::string out;
  for (const std::string& line : cut) out += "  " + line + "\n";
  return out;
}

void MakeFile(const QString& path, int size) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(size, 'x'));
}

class WindowLayout : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qApp->setQuitOnLastWindowClosed(false);
    RegisterProgramParts();
  }
  void SetUp() override {
    // The program's own settings, images, style sheets and plug-in.
    for (const char* name : {"uiconfig", "Config.dat"})
      QFile::copy(QStringLiteral(VANTOREL_BIN_DIR "/") + QLatin1String(name),
                  QString::fromStdString(env.Program() + "/" + name));
    m_cwd = QDir::currentPath();
    QDir::setCurrent(QStringLiteral(VANTOREL_BIN_DIR));
    platform::SetResourceFolder(VANTOREL_BIN_DIR);
    CUIPublic::instance()->ReleaseTracePlugin();
    CUIPublic::instance()->LoadTracePlugin();
  }
  void TearDown() override {
    QDir::setCurrent(m_cwd);
    platform::SetResourceFolder(std::string());
    unsetenv("VANTOREL_DISKS");
    unsetenv("VANTOREL_TRACES_HOME");
  }

  // A disk image with a FAT and an ext2 partition with long labels; false
  // without the tools.
  bool MakeDisk(std::string* image) {
    for (const char* tool : {"sfdisk", "mkfs.fat", "mke2fs"})
      if (testutil::Run({"sh", "-c", std::string("command -v ") + tool}).exitCode != 0) return false;
    *image = dir.file("disk.img");
    const std::string fat = dir.file("p1.img"), ext = dir.file("p2.img");
    return testutil::Run({"truncate", "-s", "40M", *image}).exitCode == 0 &&
           testutil::Shell(
               "printf 'label: dos\\nstart=2048, size=16384, type=c\\nstart=18432, size=61440, type=83\\n'"
               " | sfdisk -q '" +
               *image + "'")
                   .exitCode == 0 &&
           testutil::Run({"mkfs.fat", "-F", "16", "-s", "1", "-n", "USB BACKUP", "-C", fat, "8192"}).exitCode == 0 &&
           testutil::Run({"truncate", "-s", "30M", ext}).exitCode == 0 &&
           testutil::Run({"mke2fs", "-q", "-F", "-t", "ext2", "-L", "Projects 2024", ext}).exitCode == 0 &&
           testutil::Run({"dd", "if=" + fat, "of=" + *image, "bs=512", "seek=2048", "conv=notrunc", "status=none"})
                   .exitCode == 0 &&
           testutil::Run({"dd", "if=" + ext, "of=" + *image, "bs=512", "seek=18432", "conv=notrunc", "status=none"})
                   .exitCode == 0;
  }

  ProgramDirFixture env;
  testutil::TempDir dir{"layout"};
  QString m_cwd;
};

TEST_F(WindowLayout, EveryPageShowsItsTextsWholeAtTheWindowsSize) {
  std::string image;
  if (!MakeDisk(&image)) GTEST_SKIP() << "sfdisk, mkfs.fat or mke2fs missing";
  setenv("VANTOREL_DISKS", image.c_str(), 1);
  const QString home = QString::fromStdString(dir.file("home"));
  MakeFile(home + "/.cache/mozilla/firefox/ab12.default/cache2/entries/0A1B", 308200);
  MakeFile(home + "/.mozilla/firefox/ab12.default/cookies.sqlite", 98304);
  MakeFile(home + "/.cache/chromium/Default/Cache/Cache_Data/data_0", 3200000);
  setenv("VANTOREL_TRACES_HOME", home.toLocal8Bit().constData(), 1);
  CUIPublic::instance()->ReleaseTracePlugin();
  CUIPublic::instance()->LoadTracePlugin();

  CMainWin window(nullptr, false);
  CUIPublic::instance()->SetMainWindow(&window);
  EXPECT_EQ(window.size(), QSize(1250, 660));

  CUIPublic::instance()->SwitchPage(kFilePage);
  EXPECT_EQ(Shown(&window), std::vector<std::string>()) << "welcome\n" << Lines(CutTexts(&window));

  auto* files = dynamic_cast<CSelectFileFolderPage*>(window.Page(kFilePage));
  ASSERT_NE(files, nullptr);
  const QString folder = QString::fromStdString(dir.file("files"));
  const QString deep = folder + "/Customer contracts/signed and scanned/framework agreement (final version).pdf";
  MakeFile(folder + "/report.docx", 184320);
  MakeFile(deep, 1300000);
  // The widest size text: four digits before the point (a sparse file).
  ASSERT_EQ(testutil::Run({"truncate", "-s", "1023M", (folder + "/big.bin").toStdString()}).exitCode, 0);
  files->Views()->setCurrentIndex(1);
  files->AddItem(folder + "/report.docx", 0, 1);
  files->AddItem(deep, 0, 1);
  files->AddItem(folder + "/big.bin", 0, 1);
  files->AddItem(folder + "/Customer contracts", 1, 1);
  files->NotifyCheckState();
  EXPECT_EQ(Shown(&window), std::vector<std::string>()) << "file list\n" << Lines(CutTexts(&window));

  for (int id : {kPartitionPage, kFreeSpacePage}) {
    CUIPublic::instance()->SwitchPage(id);
    auto* page = dynamic_cast<CWipePartitionPage*>(window.Page(id));
    ASSERT_NE(page, nullptr);
    QApplication::processEvents();
    WaitFor([page] { return !page->IsScanning(); });
    ASSERT_NE(page->RadioOf(1), nullptr) << "the disk image is listed";
    EXPECT_EQ(Shown(&window), std::vector<std::string>()) << "disk page " << id << "\n" << Lines(CutTexts(&window));
  }

  CUIPublic::instance()->SwitchPage(kInternetPage);
  auto* traces = dynamic_cast<CInternetGrabagePage*>(window.Page(kInternetPage));
  ASSERT_NE(traces, nullptr);
  ASSERT_NE(traces->Plugin(), nullptr);
  EXPECT_EQ(Shown(&window), std::vector<std::string>()) << "traces\n" << Lines(CutTexts(&window));
  traces->OnWipe();
  WaitFor([traces] { return !traces->IsRunning(); });
  EXPECT_EQ(Shown(&window), std::vector<std::string>()) << "traces analysed\n" << Lines(CutTexts(&window));

  // Fitted into a 1024x768 screen, every page still shows whole.
  window.PlaceOnScreen(QRect(0, 0, 1024, 768));
  EXPECT_EQ(window.size(), QSize(1024, 660));
  for (int id : {kFilePage, kPartitionPage, kFreeSpacePage, kInternetPage}) {
    CUIPublic::instance()->SwitchPage(id);
    EXPECT_EQ(Shown(&window), std::vector<std::string>()) << "1024x768, page " << id << "\n"
                                                          << Lines(CutTexts(&window));
  }

  window.hide();
  CUIPublic::instance()->SwitchPage(kFilePage);
  CUIPublic::instance()->SetMainWindow(nullptr);
}

TEST_F(WindowLayout, EveryDialogShowsItsTextsWhole) {
  {
    CAboutDlg about;
    about.InitUI();
    EXPECT_EQ(Shown(&about), std::vector<std::string>()) << "about";
  }
  {
    CMethodDlg method;
    method.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    method.InitUI();
    EXPECT_EQ(Shown(&method), std::vector<std::string>()) << "method";
  }
  {
    const std::string db = dir.file("DataBase.db");
    CHistoryDataBase history(db);
    history.InsertBatch({{"/home/ana/Documents/report.docx", 0, 0, 0},
                         {"/home/ana/Documents/Projects/2024/Customer contracts/signed and scanned/framework "
                          "agreement with all of its appendices (final version).pdf",
                          0, 0, 0},
                         {"/home/ana/Documents/locked.pdf", 0, 0, 5}},
                        35, "2024-03-02 18-30-05");
    for (int i = 0; i < 12; ++i) {
      const std::string time = "2024-02-" + std::to_string(10 + i) + " 09-00-00";
      history.InsertBatch({{"/home/ana/old" + std::to_string(i), 0, 0, 0}}, 3, time.c_str());
    }
    CHistoryLogDlg dlg;
    dlg.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dlg.SetDataBasePath(db);
    dlg.InitUI();
    WaitFor([&dlg] { return dlg.IsLoaded(); }, 5000);
    dlg.Tree()->expandAll();
    EXPECT_EQ(Shown(&dlg), std::vector<std::string>()) << "history\n" << Lines(CutTexts(&dlg));
  }
  const struct {
    int mode, code;
  } results[] = {
      {ERASE_MODE_FILES, ERASE_COMPLETED},          {ERASE_MODE_FILES, ERASE_FILES_CANCELLED},
      {ERASE_MODE_FILES, ERASE_FILES_ITEMS_FAILED}, {ERASE_MODE_PARTITION, ERASE_PARTITION_ACCESS_DENIED},
      {ERASE_MODE_PARTITION, ERASE_COMPLETED},
  };
  for (const auto& r : results) {
    CEraseRstDlg dlg(460, 250, r.mode, r.code);
    dlg.InitUI();
    EXPECT_EQ(Shown(&dlg), std::vector<std::string>()) << "result " << r.mode << "/" << r.code;
  }
  // The progress dialogs' body with the longest lines the runs write: the
  // last pass of the longest method at 100 %.
  {
    CMSGDlg dlg(460, 250);
    ProgressBody body = BuildProgressBody(QStringLiteral("Wiping free space of partition E: 1023.99 GB/1023.99 GB"),
                                          QStringLiteral("Data erasure algorithm: Peter Gutmann's algorithm"));
    dlg.ContentLayout()->addLayout(body.layout);
    EXPECT_EQ(Shown(&dlg), std::vector<std::string>()) << "progress start\n" << Lines(CutTexts(&dlg));
    body.progress->SetText(QStringLiteral("Wiped 100% in 35 of 35 passes (Peter Gutmann's algorithm)"), QString(), 3);
    EXPECT_EQ(Shown(&dlg), std::vector<std::string>()) << "progress end\n" << Lines(CutTexts(&dlg));
  }
}

}  // namespace
