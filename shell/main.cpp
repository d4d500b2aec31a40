#include <QApplication>

#include "AppStyle.h"
#include "CBPQtMainWindow.h"
#include "MsgDefine.h"
#include "ProgramFolder.h"
#include "RunLog.h"

int main(int argc, char* argv[]) {
  platform::EnterProgramFolder();
  RunLogSetFile(platform::ProgramFile("RunLog.log"));
  QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  QApplication app(argc, argv);
  InstallFontSubstitutes();
  app.setStyleSheet(BuildStyleSheet());

  CBPQtMainWindow window;
  window.setWindowTitle(QStringLiteral("Norvanta Vantorel Pro"));
  window.resize(1000, 660);
  window.show();
  SendBusMsg(MSG_APP_STARTED);
  LogInfo("Norvanta Vantorel Pro started");
  return app.exec();
}
