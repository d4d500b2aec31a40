// The main window on each of its pages, at the window's own size, with the
// pages the program shows: the file page before and after files are added,
// both disk pages listing a disk image, the traces page before and after an
// analysis.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRadioButton>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "CInternetGrabagePage.h"
#include "CMSGDlg.h"
#include "CMainWin.h"
#include "CSelectFileFolderPage.h"
#include "CUIPublic.h"
#include "CWipePartitionPage.h"
#include "MsgDefine.h"
#include "PageFactories.h"

// ErasureShots.cpp
bool MakeDiskImage(const QString& dir, QString* image);

namespace {

void WaitFor(const std::function<bool()>& done, int ms = 30000) {
  QElapsedTimer waited;
  waited.start();
  while (!done() && waited.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void MakeFile(const QString& path, int size) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(QByteArray(size, 'x'));
}

// A made-up home with a Firefox and a Chromium profile for the traces page.
void MakeTracesHome(const QString& home) {
  MakeFile(home + QStringLiteral("/.cache/mozilla/firefox/ab12.default/cache2/entries/0A1B"), 1500000);
  MakeFile(home + QStringLiteral("/.cache/mozilla/firefox/ab12.default/cache2/entries/77FF"), 23456);
  MakeFile(home + QStringLiteral("/.mozilla/firefox/ab12.default/cookies.sqlite"), 98304);
  MakeFile(home + QStringLiteral("/.cache/chromium/Default/Cache/Cache_Data/data_0"), 3200000);
  MakeFile(home + QStringLiteral("/.config/chromium/Default/Current Session"), 4096);
  MakeFile(home + QStringLiteral("/.cache/thumbnails/normal/abc.png"), 64000);
}

}  // namespace

int PageScreens(void (*save)(QWidget*, const QString&), const QString& out) {
  int failures = 0;
  QTemporaryDir scratchDir;
  const QString scratch = scratchDir.path();
  QString image;
  if (!MakeDiskImage(scratch, &image)) {
    fprintf(stderr, "screenshots: cannot make the disk image for the disk pages\n");
    ++failures;
  }
  qputenv("VANTOREL_DISKS", image.toLocal8Bit());
  MakeTracesHome(scratch + QStringLiteral("/home"));
  qputenv("VANTOREL_TRACES_HOME", (scratch + QStringLiteral("/home")).toLocal8Bit());

  qApp->setQuitOnLastWindowClosed(false);
  {
    // The window at the size it has on a screen with room for it.
    CMainWin window(nullptr, false);
    CUIPublic::instance()->SetMainWindow(&window);
    window.show();

    CUIPublic::instance()->SwitchPage(kFilePage);
    save(&window, QStringLiteral("main_window_file_page"));
    if (auto* files = dynamic_cast<CSelectFileFolderPage*>(window.Page(kFilePage))) {
      const QString folder = scratch + QStringLiteral("/files");
      MakeFile(folder + QStringLiteral("/report-2023.docx"), 184320);
      MakeFile(folder + QStringLiteral("/passwords.txt"), 2048);
      MakeFile(folder + QStringLiteral("/scan.pdf"), 1300000);
      MakeFile(folder + QStringLiteral("/Old projects/plan.odt"), 5400000);
      files->Views()->setCurrentIndex(1);
      files->AddItem(folder + QStringLiteral("/report-2023.docx"), 0, 1);
      files->AddItem(folder + QStringLiteral("/passwords.txt"), 0, 0);
      files->AddItem(folder + QStringLiteral("/scan.pdf"), 0, 1);
      files->AddItem(folder + QStringLiteral("/Old projects"), 1, 1);
      files->NotifyCheckState();
      save(&window, QStringLiteral("main_window_file_list"));
    } else {
      fprintf(stderr, "screenshots: the file page is missing\n");
      ++failures;
    }

    const struct {
      int id;
      const char* name;
    } diskPages[] = {{kPartitionPage, "main_window_partition"}, {kFreeSpacePage, "main_window_free_space"}};
    for (const auto& p : diskPages) {
      CUIPublic::instance()->SwitchPage(p.id);
      auto* page = dynamic_cast<CWipePartitionPage*>(window.Page(p.id));
      if (!page) {
        fprintf(stderr, "screenshots: the disk page %d is missing\n", p.id);
        ++failures;
        continue;
      }
      QApplication::processEvents();
      WaitFor([page] { return !page->IsScanning(); });
      save(&window, QString::fromLatin1(p.name));
    }
    // The partition page's confirmation, over the window; grabbed in place
    // (hiding the box answers it as Cancel).
    CUIPublic::instance()->SwitchPage(kPartitionPage);
    window.show();
    if (auto* partition = dynamic_cast<CWipePartitionPage*>(window.Page(kPartitionPage))) {
      if (QRadioButton* first = partition->RadioOf(0)) first->click();
      QTimer::singleShot(200, [save] {
        if (auto* box = qobject_cast<CMSGDlg*>(QApplication::activeModalWidget()))
          save(box, QStringLiteral("partition_confirm"));
      });
      partition->EraseClicked();
    }

    CUIPublic::instance()->SwitchPage(kInternetPage);
    window.show();
    save(&window, QStringLiteral("main_window_traces"));
    auto* traces = dynamic_cast<CInternetGrabagePage*>(window.Page(kInternetPage));
    if (traces && traces->Plugin()) {
      traces->OnWipe();
      WaitFor([traces] { return !traces->IsRunning(); });
      save(&window, QStringLiteral("main_window_traces_scanned"));
      QTimer::singleShot(100, [out, &failures] {
        if (QWidget* box = QApplication::activeModalWidget()) {
          const QString path = out + QStringLiteral("/traces_terminate_question.png");
          if (box->grab().save(path)) {
            printf("%s\n", qPrintable(path));
          } else {
            fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(path));
            ++failures;
          }
          if (auto* dlg = qobject_cast<CMSGDlg*>(box)) dlg->CancelClicked();
        }
      });
      const uint32_t ids[] = {4242, 0};
      traces->OnTerminateProcess("Mozilla Firefox", ids, 1);
    } else {
      fprintf(stderr, "screenshots: the traces plug-in did not load\n");
      ++failures;
    }
    window.hide();
    CUIPublic::instance()->SwitchPage(kFilePage);
    CUIPublic::instance()->SetMainWindow(nullptr);
  }
  qunsetenv("VANTOREL_TRACES_HOME");
  qunsetenv("VANTOREL_DISKS");
  return failures;
}
