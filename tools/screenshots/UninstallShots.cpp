// The uninstall wizard, for `make screenshots`: its confirmation, then its
// deep-scan offer after a run over a package root of its own that holds
// none of the programs (nothing of this machine is removed or asked).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

#include "CReadyUninstallDlg.h"

void UninstallScreens(void (*save)(QWidget*, const QString&)) {
  QTemporaryDir root;
  QDir().mkpath(root.path() + QStringLiteral("/var/lib/dpkg"));
  QFile status(root.path() + QStringLiteral("/var/lib/dpkg/status"));
  if (!status.open(QIODevice::WriteOnly)) return;
  status.close();
  setenv("VANTOREL_DPKG_ROOT", root.path().toLocal8Bit().constData(), 1);

  std::vector<InstalledApp> programs;
  const char* const rows[][3] = {{"nvt-editor", "NVT Editor", "Nvt Labs"},
                                 {"nvt-viewer", "NVT Viewer", "Nvt Labs"},
                                 {"nvt-suite", "NVT Suite", "Jürgen Äbel"}};
  for (const auto& row : rows) {
    InstalledApp app;
    app.packageId = QString::fromUtf8(row[0]);
    app.name = QString::fromUtf8(row[1]);
    app.publisher = QString::fromUtf8(row[2]);
    programs.push_back(app);
  }
  CReadyUninstallDlg wizard;
  wizard.SetPrograms(programs, 0);
  wizard.InitUI();
  save(&wizard, QStringLiteral("uninstall_wizard"));
  wizard.show();
  wizard.OnOKClicked();
  QElapsedTimer timer;
  timer.start();
  while (wizard.Stage() != 1 && timer.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  save(&wizard, QStringLiteral("uninstall_wizard_deep_scan"));
  unsetenv("VANTOREL_DPKG_ROOT");
}
