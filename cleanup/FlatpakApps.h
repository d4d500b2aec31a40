// Flatpak apps of the system and the user installation, read from the
// installations' folders: the deployment that app/<id>/current/active names,
// its AppStream metainfo and its exported icons.
#pragma once

#include <QString>
#include <vector>

#include "InstalledApp.h"

struct FlatpakInstallation {
  QString folder;  // $FLATPAK_SYSTEM_DIR or /var/lib/flatpak; $FLATPAK_USER_DIR or ~/.local/share/flatpak
  AppInstallation kind = AppInstallation::System;
};

// The system installation, then the desktop user's.
std::vector<FlatpakInstallation> FlatpakInstallations();

// The active deployment of app `id` in an installation, the links resolved;
// empty when there is none or a link leads out of the installation.
QString FlatpakDeployment(const FlatpakInstallation& installation, const QString& id);

struct AppStreamInfo {
  QString name;
  QString developer;
  QString version;  // of the first release; empty without releases
};

// The metainfo of a component (or the first of a collection); false when
// the file is no AppStream XML.
bool ReadAppStream(const QString& path, AppStreamInfo* info);

// The largest icon below `iconsFolder` (<theme>/<size>/<category>/<file>;
// a scalable icon beats any fixed size); empty when there is none.
QString LargestIcon(const QString& iconsFolder);

// The apps of one installation, by id, as store-app records.
std::vector<InstalledApp> ReadFlatpakApps(const FlatpakInstallation& installation);
