// Removes one installed program, without any window: the uninstall wizard
// runs it on its worker thread once per program, vtctl on its own thread.
//
// A Debian package goes through dpkg: first a dry run (dpkg --no-act
// --remove), which changes nothing and refuses a package that an installed
// package depends on, then the removal itself. dpkg removes exactly the
// chosen package (never the packages that depend on it, nor what was
// installed with it). Essential, Protected and required packages are
// refused before dpkg runs. A removal that fails leaves the package marked
// for removal, which a later apt run would carry out: its selection is set
// back to install. Under VANTOREL_DPKG_ROOT every dpkg call works on that
// package root, with the maintainer scripts run outside a chroot.
//
// A Flatpak app goes through flatpak uninstall, in the installation the list
// found it in. The program's own package is removed by a detached dpkg that
// outlives the program: once it runs, MSG_EXIT_APP asks the program to end.
//
// Every process is started from an argument list, never through a shell;
// what it prints goes to the run log.
#pragma once

#include <QString>

#include "DpkgDatabase.h"
#include "InstalledApp.h"

enum class UninstallStatus {
  Removed = 0,
  Refused = 1,  // nothing was changed
  Failed = 2,
  Started = 3,  // the program's own removal runs on after the program ends
};

struct UninstallOutcome {
  UninstallStatus status = UninstallStatus::Failed;
  // The remover's exit code; -1 when none ran to its end.
  int exitCode = -1;
  // Why the program was not removed (dpkg's or flatpak's last error line);
  // a note for Started; empty for Removed.
  QString reason;
};

// "removed", "refused", "failed", "started".
const char* UninstallStatusText(UninstallStatus status);

class CUninstallRun {
 public:
  // On the package database of VANTOREL_DPKG_ROOT (else the system's).
  CUninstallRun();
  explicit CUninstallRun(const DpkgDatabase& database);

  // Removes `app` on the calling thread and returns how it went. Refuses
  // everything without root rights.
  UninstallOutcome Run(const InstalledApp& app) const;

 private:
  UninstallOutcome RemovePackage(const InstalledApp& app) const;
  UninstallOutcome RemoveStoreApp(const InstalledApp& app) const;
  // The arguments every dpkg call starts with (the package root's).
  QStringList DpkgOptions() const;
  // Sets a package that a failed removal left marked for removal back to
  // install.
  void KeepSelection(const QString& package) const;

  DpkgDatabase m_dpkg;
};
