#include <QApplication>
#include <cstdio>

#include "AppStyle.h"
#include "CDiskListService.h"
#include "CMainWin.h"
#include "CUIPublic.h"
#include "CrashDump.h"
#include "FillerFolders.h"
#include "HeapPages.h"
#include "ProgramFolder.h"
#include "ProgramParts.h"
#include "RunLog.h"
#include "SingleInstance.h"
#include "StartUp.h"

// The crash handler is in place before main runs.
static const bool g_crashHandlerInstalled = InstallCrashHandler();

int main(int argc, char* argv[]) {
  if (const int answered = AnswerCommandLine(argc, argv); answered >= 0) return answered;
  if (!DisplayConfigured(argc, argv)) {
    fprintf(stderr, "%s\n", kNoDisplayMessage);
    return 1;
  }
  platform::BackHeapWithLargePages();
  platform::PrepareCrashDump();
  // Style sheets and images are found as "./QSS" and "./Resources".
  const bool inResources = platform::EnterResourceFolder();
  RunLogSetFile(platform::ProgramFile("RunLog.log"));
  if (!inResources) LogError("Cannot enter the resource folder %s", platform::ResourceFolder().c_str());
  if (!g_crashHandlerInstalled) LogError("The crash handler could not be installed");
  QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  BeginDisplayStartUp();
  QApplication app(argc, argv);
  EndDisplayStartUp();
  InstallFontSubstitutes();
  app.setStyleSheet(BuildStyleSheet());

  platform::SingleInstance instance(QString::fromLatin1(kInstanceMutexName), QString::fromLatin1(kInstanceServerName));
  if (!instance.TryBecomeFirst()) {
    LogInfo("Another instance is running");
    ShowMessageBox(1, QCoreApplication::translate("main", "Norvanta Vantorel Pro has been running!"),
                   instance.FirstInstanceWindow());
    return 0;
  }
  InstallQuitSignals();
  // What a killed or crashed free-space run left behind (filler folders,
  // on-demand mounts, loop devices) is released before the first listing.
  filler::CleanUpAfterEarlierRuns();
  RegisterProgramParts();

  int result = 0;
  {
    CMainWin window;
    window.setWindowTitle(QStringLiteral("Norvanta Vantorel Pro"));
    window.PlaceOnScreen();
    window.show();
    CUIPublic::instance()->SetMainWindow(&window);
    QObject::connect(&instance, &platform::SingleInstance::raiseRequested, &window, &CMainWin::BringToFront);
    instance.SetWindowGeometryProvider([&window] { return window.frameGeometry(); });
    window.NotifyStarted();
    LogInfo("Norvanta Vantorel Pro started");
    result = app.exec();
    instance.SetWindowGeometryProvider(nullptr);
    CUIPublic::instance()->SetMainWindow(nullptr);
  }
  // The disk listing thread and the plug-in go while the application object
  // still exists; the singletons themselves go after main.
  CDiskListService::ShutdownInstance();
  CUIPublic::instance()->ReleaseTracePlugin();
  LogInfo("Norvanta Vantorel Pro ended (%d)", result);
  return result;
}
