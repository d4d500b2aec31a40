// The installed programs, the store apps and what removed programs left in
// the system's records.
//
// Programs are the installed Debian packages that own a visible desktop
// entry of /usr/share/applications or /usr/local/share/applications. One row
// per package; its further entries go to the child list. Packages marked
// Essential, Protected or of Priority required are never listed. A
// same-named entry in the desktop user's ~/.local/share/applications gives
// a row its name and icon. Store apps are the Flatpak apps of the system and
// the user installation.
//
// Runs on a worker thread: it makes no widget and no image.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "DpkgDatabase.h"
#include "InstalledApp.h"
#include "LeftoverItem.h"

class CAppEnum {
 public:
  CAppEnum();
  explicit CAppEnum(const DpkgDatabase& database);

  // Replaces the main and the child list.
  void Enum();
  std::vector<InstalledApp> GetApps() const { return m_apps; }
  std::vector<InstalledApp> GetChildEntries() const { return m_children; }

  // Replaces the store-app list.
  void EnumWinApps();
  std::vector<InstalledApp> GetStoreApps() const { return m_storeApps; }

  // What `app` left in the package database (its package in state
  // config-files: the package, then each configuration file still on disk)
  // and in the desktop user's associations. Only the program's own package,
  // by its exact name, is looked at; an installed package gives nothing.
  std::vector<LeftoverItem> FindRegistryLeftovers(const InstalledApp& app);
  // Adds one item per association of the desktop user's mimeapps.list files
  // that names one of `desktopIds` exactly.
  void EnumMuiCache(const QStringList& desktopIds);
  // The store app's data folder ~/.var/app/<id> of the desktop user, when it
  // is a real folder.
  std::vector<StoreLeftover> EnumMrtCache(const QString& appId);

  int GetOption() const { return m_option; }
  void SetOption(int option) { m_option = option; }
  // An entry whose name contains this text is the program's own (besides
  // the package that owns the running executable).
  void SetOwnTitle(const QString& title) { m_ownTitle = title; }

  // The folders desktop entries are read from, below the package root.
  static QStringList ApplicationFolders();

 private:
  DpkgDatabase m_dpkg;
  QString m_ownTitle;
  int m_option = 0;
  std::vector<InstalledApp> m_apps;
  std::vector<InstalledApp> m_children;
  std::vector<InstalledApp> m_storeApps;
  std::vector<LeftoverItem> m_leftovers;
  std::vector<StoreLeftover> m_storeLeftovers;
};
