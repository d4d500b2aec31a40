// One installed program as the uninstaller lists it. The uninstaller fills
// the fields; the UI service only keeps copies.
//
// A program is an installed Debian package that owns a visible desktop
// entry; a store app is a Flatpak app of the system or the user
// installation. Texts are UTF-8 and never longer, in bytes, than the caps
// below (cut at a character boundary by CutToFieldSizes). The record holds
// no image: icons and logos stay paths or theme names, loaded by the page.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "Utf16.h"

enum class AppInstallation { System = 0, User = 1 };

struct InstalledApp {
  // Byte caps of the texts (the terminating zero of a fixed field left out).
  static constexpr int kPathBytes = 259;
  static constexpr int kNameBytes = 99;
  static constexpr int kPublisherBytes = 49;
  static constexpr int kVersionBytes = 29;
  static constexpr int kColourBytes = 9;

  QString iconPath;          // icon theme name or path
  QString iconGroup;         // the program's desktop ids, ";"-separated
  QString name;              // display name
  QString uninstallCommand;  // shown only; the runner builds its own arguments
  QString installLocation;   // a package's own folder; a store app's id
  QString publisher;
  QString version;
  QString logoPath;          // store apps: their largest exported icon
  QString backgroundColour;  // store apps: "#0077d7"
  QString installDate;
  qint64 size = 0;   // bytes
  int selfFlag = 0;  // 1 for this program's own entry
  bool isStoreApp = false;

  QString packageId;  // Debian package name or Flatpak app id
  AppInstallation installation = AppInstallation::System;
  QStringList desktopIds;  // "x.desktop"; a store app's are empty
};

using InstalledProgramRecord = InstalledApp;

// `text` as UTF-8 of at most `maxBytes` bytes, never splitting a character.
inline QString CutUtf8Text(const QString& text, int maxBytes) {
  const QByteArray utf8 = text.toUtf8();
  if (utf8.size() <= maxBytes) return text;
  return QString::fromStdString(CutUtf8(utf8.toStdString(), static_cast<size_t>(maxBytes)));
}

// Cuts every text of `app` to its cap.
inline void CutToFieldSizes(InstalledApp* app) {
  for (QString* path : {&app->iconPath, &app->iconGroup, &app->uninstallCommand, &app->installLocation, &app->logoPath})
    *path = CutUtf8Text(*path, InstalledApp::kPathBytes);
  app->name = CutUtf8Text(app->name, InstalledApp::kNameBytes);
  app->publisher = CutUtf8Text(app->publisher, InstalledApp::kPublisherBytes);
  app->version = CutUtf8Text(app->version, InstalledApp::kVersionBytes);
  app->backgroundColour = CutUtf8Text(app->backgroundColour, InstalledApp::kColourBytes);
}

class CAppEnum;
