// One installed program as the uninstaller lists it. The uninstaller fills
// the fields; the UI service only keeps copies.
#pragma once

#include <QString>
#include <QtGlobal>

struct InstalledApp {
  QString name;
  QString publisher;
  QString version;
  QString installLocation;
  QString uninstallCommand;
  QString iconPath;
  QString installDate;
  qint64 size = 0;
  bool isStoreApp = false;
};

using InstalledProgramRecord = InstalledApp;

class CAppEnum;
