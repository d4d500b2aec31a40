#include <QApplication>

#include "AppStyle.h"
#include "CDiskListService.h"
#include "CFATQuickSearch.h"
#include "CHistoryLogDlg.h"
#include "DiskListSeam.h"
#include "CInternetGrabagePage.h"
#include "CMainWin.h"
#include "CMethodDlg.h"
#include "CNTFSQuickSearch.h"
#include "CSelectFileFolderPage.h"
#include "CWipePartitionPage.h"
#include "DialogOpeners.h"
#include "FillerFolders.h"
#include "PageFactories.h"
#include "CUIPublic.h"
#include "CrashDump.h"
#include "ProgramFolder.h"
#include "RunLog.h"
#include "SingleInstance.h"
#include "StartUp.h"
#include "VolumeAnalysers.h"

// The crash handler is in place before main runs.
static const bool g_crashHandlerInstalled = InstallCrashHandler();

// The pages and the method and history dialogs come from the libraries above
// the shell; they are registered here (RegisterPageFactory,
// SetMethodDialogOpener, SetHistoryDialogOpener) before the window is built,
// the volume analysers before the first disk listing, and the engines' quick
// searches the free-space scrub runs (the NTFS MFT wiper, the FAT directory
// scrub).
static void RegisterPagesAndDialogs() {
  RegisterVolumeAnalysers();
  RegisterNTFSQuickSearch();
  RegisterFATQuickSearch();
  // The main window asks whether a disk listing runs and hears when one ends.
  DiskListSeam::instance()->SetRunningProbe([] { return CDiskListService::IsPassRunning(); });
  CDiskListService::SetPassListener([] { DiskListSeam::instance()->NotifyListingEnded(); });
  RegisterPageFactory(0, [] { return CreateSelectFileFolderPage(); });
  RegisterPageFactory(1, [] { return CreateWipePartitionPage(0); });
  RegisterPageFactory(2, [] { return CreateWipePartitionPage(1); });
  RegisterPageFactory(3, [] { return CreateInternetGrabagePage(); });
  SetMethodDialogOpener([] { OpenMethodDialog(static_cast<QWidget*>(nullptr)); });
  SetHistoryDialogOpener([] { OpenHistoryDialog(static_cast<QWidget*>(nullptr)); });
  // The file page takes what was dropped on the main window.
  SetDroppedPathsProvider([](QStringList* files, QStringList* folders) {
    auto* window = qobject_cast<CMainWin*>(CUIPublic::instance()->GetMainWindow());
    if (!window) return;
    if (files) *files = window->GetDroppedFiles();
    if (folders) *folders = window->GetDroppedFolders();
  });
}

int main(int argc, char* argv[]) {
  platform::PrepareCrashDump();
  platform::EnterProgramFolder();
  RunLogSetFile(platform::ProgramFile("RunLog.log"));
  if (!g_crashHandlerInstalled) LogError("The crash handler could not be installed");
  QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  QApplication app(argc, argv);
  InstallFontSubstitutes();
  app.setStyleSheet(BuildStyleSheet());

  platform::SingleInstance instance(QString::fromLatin1(kInstanceMutexName), QString::fromLatin1(kInstanceServerName));
  if (!instance.TryBecomeFirst()) {
    LogInfo("Another instance is running");
    ShowMessageBox(1, QCoreApplication::translate("main", "Norvanta Vantorel Pro has been running!"));
    return 0;
  }
  InstallQuitSignals();
  // What a killed or crashed free-space run left behind (filler folders,
  // on-demand mounts, loop devices) is released before the first listing.
  filler::CleanUpAfterEarlierRuns();
  RegisterPagesAndDialogs();

  int result = 0;
  {
    CMainWin window;
    window.setWindowTitle(QStringLiteral("Norvanta Vantorel Pro"));
    window.CenterOnScreen();
    window.show();
    CUIPublic::instance()->SetMainWindow(&window);
    QObject::connect(&instance, &platform::SingleInstance::raiseRequested, &window, &CMainWin::BringToFront);
    window.NotifyStarted();
    LogInfo("Norvanta Vantorel Pro started");
    result = app.exec();
    CUIPublic::instance()->SetMainWindow(nullptr);
  }
  // The disk listing thread and the plug-in go while the application object
  // still exists; the singletons themselves go after main.
  CDiskListService::ShutdownInstance();
  CUIPublic::instance()->ReleaseTracePlugin();
  LogInfo("Norvanta Vantorel Pro ended (%d)", result);
  return result;
}
