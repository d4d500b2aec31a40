// vtctl uninstall [--store] [--system] NAME|ID...: removes programs with the
// uninstall wizard's run, one after the other, and prints one line each,
// tab-separated: the name as given, "removed", "refused", "failed" or
// "started" (the program's own package, removed after the program ends),
// and the reason. A name is a package (or a Flatpak app id with --store) or
// a program's name as the list shows it. Exits 1 when any was not removed.
//
// It works on the package database of VANTOREL_DPKG_ROOT (on the Flatpak
// installations of FLATPAK_SYSTEM_DIR or FLATPAK_USER_DIR with --store);
// the machine's own only with --system.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CAppEnum.h"
#include "CBPMsgReceiver.h"
#include "CBPNotifyCentor.h"
#include "CUninstallRun.h"
#include "MsgDefine.h"
#include "VtCommand.h"

namespace {

bool IsSet(const char* name) {
  const char* value = getenv(name);
  return value && *value;
}

// Hears the run's request to end the program (after the program's own
// package has been handed to dpkg).
class ExitListener : public CBPMsgReceiver {
 public:
  ExitListener() {
    SetNotifyCentor(CBPNotifyCentor::instance());
    RegisterMsg(MSG_EXIT_APP);
  }
  int ReceiveMsg(__MsgData msg) override {
    if (msg.id == MSG_EXIT_APP) requested = true;
    return 0;
  }
  bool requested = false;
};

// The record of NAME: the listed program or store app of that package, id
// or name; else a bare record of the package (the run says what is wrong
// with it).
InstalledApp Find(const std::vector<InstalledApp>& listed, const QString& name, bool store) {
  for (const InstalledApp& app : listed)
    if (app.packageId == name) return app;
  for (const InstalledApp& app : listed)
    if (app.name == name) return app;
  InstalledApp bare;
  bare.packageId = name;
  bare.name = name;
  bare.isStoreApp = store;
  return bare;
}

int CmdUninstall(const std::vector<std::string>& args) {
  bool store = false, system = false;
  std::vector<QString> names;
  for (const std::string& arg : args) {
    if (arg == "--store") {
      store = true;
    } else if (arg == "--system") {
      system = true;
    } else if (arg.empty() || arg[0] == '-') {
      names.clear();
      break;
    } else {
      names.push_back(QString::fromStdString(arg));
    }
  }
  if (names.empty()) {
    fprintf(stderr, "usage: vtctl uninstall [--store] [--system] NAME|ID...\n");
    return 2;
  }
  const bool sandboxed = store ? IsSet("FLATPAK_SYSTEM_DIR") || IsSet("FLATPAK_USER_DIR") : IsSet("VANTOREL_DPKG_ROOT");
  if (!sandboxed && !system) {
    fprintf(stderr, "vtctl: refusing to remove programs of this machine: set %s or give --system\n",
            store ? "FLATPAK_SYSTEM_DIR or FLATPAK_USER_DIR" : "VANTOREL_DPKG_ROOT");
    return 2;
  }

  CAppEnum list;
  std::vector<InstalledApp> listed;
  if (store) {
    list.EnumWinApps();
    listed = list.GetStoreApps();
  } else {
    list.Enum();
    listed = list.GetApps();
  }
  // As in the wizard, the program's own entry comes last: its removal ends
  // the program.
  std::vector<std::pair<QString, InstalledApp>> work, own;
  for (const QString& name : names) {
    const InstalledApp app = Find(listed, name, store);
    (app.selfFlag ? own : work).emplace_back(name, app);
  }
  work.insert(work.end(), own.begin(), own.end());

  ExitListener exitListener;
  const CUninstallRun run;
  int notRemoved = 0;
  for (const auto& [name, app] : work) {
    const UninstallOutcome outcome = run.Run(app);
    printf("%s\t%s\t%s\n", name.toUtf8().constData(), UninstallStatusText(outcome.status),
           outcome.reason.toUtf8().constData());
    fflush(stdout);
    if (outcome.status != UninstallStatus::Removed && outcome.status != UninstallStatus::Started) ++notRemoved;
    if (exitListener.requested) {
      fprintf(stderr, "vtctl: the program's end was requested\n");
      break;
    }
  }
  return notRemoved ? 1 : 0;
}

VtRegistrar reg("uninstall",
                "uninstall [--store] [--system] NAME|ID...: remove programs (packages of VANTOREL_DPKG_ROOT, or "
                "Flatpak apps with --store; this machine's own only with --system)",
                CmdUninstall);

}  // namespace
