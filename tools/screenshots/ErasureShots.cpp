// The erase dialogs and the file-selection page, for `make screenshots`.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "CEraseRstDlg.h"
#include "CHistoryDataBase.h"
#include "CHistoryLogDlg.h"
#include "CMethodDlg.h"
#include "CSelectFileFolderPage.h"
#include "CUIPublic.h"
#include "EraseResult.h"

void EraseScreens(void (*save)(QWidget*, const QString&)) {
  QTemporaryDir scratchDir;
  const QString scratch = scratchDir.path();
  struct Result {
    const char* name;
    int mode, code;
  } results[] = {
      {"erase_result_completed", ERASE_MODE_FILES, ERASE_COMPLETED},
      {"erase_result_cancelled", ERASE_MODE_FILES, ERASE_FILES_CANCELLED},
      {"erase_result_items_failed", ERASE_MODE_FILES, ERASE_FILES_ITEMS_FAILED},
      {"erase_result_partition_in_use", ERASE_MODE_PARTITION, ERASE_PARTITION_ACCESS_DENIED},
  };
  for (const Result& r : results) {
    CEraseRstDlg dlg(460, 250, r.mode, r.code);
    dlg.InitUI();
    save(&dlg, QString::fromLatin1(r.name));
  }

  {
    CUIPublic::instance()->SetErasePasses(7);
    CMethodDlg dlg;
    dlg.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dlg.InitUI();
    save(&dlg, QStringLiteral("erase_method"));
    CUIPublic::instance()->SetErasePasses(1);
  }

  {
    const std::string db = (scratch + QStringLiteral("/DataBase.db")).toStdString();
    QFile::remove(QString::fromStdString(db));
    CHistoryDataBase history(db);
    history.InsertBatch({{"/home/ana/Documents/report-2023.docx", 0, 0, 0},
                         {"/home/ana/Documents/taxes", 0, 1, 0},
                         {"/home/ana/Documents/locked.pdf", 0, 0, 5}},
                        3, "2024-03-02 18-30-05");
    history.InsertBatch({{"/home/ana/Pictures/holiday.jpg", 0, 0, 0}}, 35, "2024-03-01 09-00-00");
    CHistoryLogDlg dlg;
    dlg.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dlg.SetDataBasePath(db);
    dlg.InitUI();
    QElapsedTimer waited;
    waited.start();
    while (!dlg.IsLoaded() && waited.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    save(&dlg, QStringLiteral("erase_history"));
    CHistoryLogDlg empty;
    empty.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    empty.SetDataBasePath((scratch + QStringLiteral("/none.db")).toStdString());
    empty.InitUI();
    waited.restart();
    while (!empty.IsLoaded() && waited.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    save(&empty, QStringLiteral("erase_history_empty"));
  }

  {
    QWidget* holder = CreateSelectFileFolderPage();
    holder->setFixedSize(600, 480);
    holder->setObjectName(QStringLiteral("pageHolder"));
    holder->setAttribute(Qt::WA_StyledBackground);
    holder->setStyleSheet(QStringLiteral("QWidget#pageHolder{background:#F5F7FA;}"));
    auto* page = dynamic_cast<CSelectFileFolderPage*>(holder->layout());
    save(holder, QStringLiteral("file_page_welcome"));
    const QString files = scratch + QStringLiteral("/files");
    QDir().mkpath(files + QStringLiteral("/Old projects"));
    const struct {
      const char* name;
      int size;
    } samples[] = {{"report-2023.docx", 184320}, {"passwords.txt", 2048}, {"scan.pdf", 1300000}};
    for (const auto& s : samples) {
      QFile f(files + QLatin1Char('/') + QLatin1String(s.name));
      if (f.open(QIODevice::WriteOnly)) f.write(QByteArray(s.size, 'x'));
    }
    page->Views()->setCurrentIndex(1);
    page->AddItem(files + QStringLiteral("/report-2023.docx"), 0, 1);
    page->AddItem(files + QStringLiteral("/passwords.txt"), 0, 0);
    page->AddItem(files + QStringLiteral("/scan.pdf"), 0, 1);
    page->AddItem(files + QStringLiteral("/Old projects"), 1, 1);
    page->NotifyCheckState();
    save(holder, QStringLiteral("file_page_list"));
    delete holder;
  }
}
