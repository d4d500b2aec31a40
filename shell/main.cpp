#include <QApplication>

#include "AppStyle.h"
#include "CBPQtMainWindow.h"
#include "MainWindowSeam.h"
#include "MsgDefine.h"
#include "ProgramFolder.h"
#include "RunLog.h"
#include "UiConfig.h"

int main(int argc, char* argv[]) {
  platform::EnterProgramFolder();
  RunLogSetFile(platform::ProgramFile("RunLog.log"));
  QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  QApplication app(argc, argv);
  InstallFontSubstitutes();
  app.setStyleSheet(BuildStyleSheet());

  CBPQtMainWindow window;
  window.setWindowTitle(QStringLiteral("Norvanta Vantorel Pro"));
  window.resize(GetMainWinSize());
  SetShellMainWindow(&window);
  window.show();
  SendBusMsg(MSG_APP_STARTED);
  LogInfo("Norvanta Vantorel Pro started");
  return app.exec();
}
