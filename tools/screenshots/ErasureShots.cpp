// The erase dialogs and the file-selection page, for `make screenshots`.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QProcess>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include "CEraseRstDlg.h"
#include "CHistoryDataBase.h"
#include "CHistoryLogDlg.h"
#include "CMethodDlg.h"
#include "CSelectFileFolderPage.h"
#include "CWipePartitionPage.h"
#include "CUIPublic.h"
#include "CMSGDlg.h"
#include "EraseResult.h"
#include "MsgDefine.h"

namespace {

bool RunTool(const QString& program, const QStringList& args, const QString& input = QString()) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForStarted(5000)) return false;
  if (!input.isEmpty()) p.write(input.toUtf8());
  p.closeWriteChannel();
  return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

// A 24 MiB disk image with a FAT and an ext2 partition; false when the
// tools are missing.
bool MakeDiskImage(const QString& dir, QString* image) {
  *image = dir + QStringLiteral("/disk.img");
  const QString fat = dir + QStringLiteral("/p1.img"), ext = dir + QStringLiteral("/p2.img");
  return RunTool(QStringLiteral("truncate"), {QStringLiteral("-s"), QStringLiteral("24M"), *image}) &&
         RunTool(QStringLiteral("sfdisk"), {QStringLiteral("-q"), *image},
                 QStringLiteral("label: dos\nstart=2048, size=16384, type=c\nstart=18432, size=30720, type=83\n")) &&
         RunTool(QStringLiteral("mkfs.fat"), {QStringLiteral("-F"), QStringLiteral("16"), QStringLiteral("-s"),
                                              QStringLiteral("1"), QStringLiteral("-n"), QStringLiteral("USB BACKUP"),
                                              QStringLiteral("-C"), fat, QStringLiteral("8192")}) &&
         RunTool(QStringLiteral("truncate"), {QStringLiteral("-s"), QStringLiteral("15M"), ext}) &&
         RunTool(QStringLiteral("mke2fs"), {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-t"),
                                            QStringLiteral("ext2"), QStringLiteral("-L"), QStringLiteral("Projects"), ext}) &&
         RunTool(QStringLiteral("dd"), {QStringLiteral("if=") + fat, QStringLiteral("of=") + *image,
                                        QStringLiteral("bs=512"), QStringLiteral("seek=2048"),
                                        QStringLiteral("conv=notrunc"), QStringLiteral("status=none")}) &&
         RunTool(QStringLiteral("dd"), {QStringLiteral("if=") + ext, QStringLiteral("of=") + *image,
                                        QStringLiteral("bs=512"), QStringLiteral("seek=18432"),
                                        QStringLiteral("conv=notrunc"), QStringLiteral("status=none")});
}

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
                         {"/home/ana/Documents/locked.pdf", 0, 0, 5},
                         {"/home/ana/Documents/Projects/2024/Customer contracts/signed and scanned/"
                          "framework agreement with appendices (final version).pdf",
                          0, 0, 0}},
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
}
