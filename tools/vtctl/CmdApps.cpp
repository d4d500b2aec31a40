// vtctl apps [--store] [--children]: prints the lists the program page gets,
// one row a line, tab-separated: list ("app", "child" or "store"), name,
// package or app id, version, publisher, size in bytes, install location,
// self flag.
#include <cstdio>
#include <string>
#include <vector>

#include "CAppEnum.h"
#include "VtCommand.h"

namespace {

void PrintRows(const char* list, const std::vector<InstalledApp>& apps) {
  for (const InstalledApp& a : apps)
    printf("%s\t%s\t%s\t%s\t%s\t%lld\t%s\t%d\n", list, a.name.toUtf8().constData(), a.packageId.toUtf8().constData(),
           a.version.toUtf8().constData(), a.publisher.toUtf8().constData(), static_cast<long long>(a.size),
           a.installLocation.toUtf8().constData(), a.selfFlag);
}

int CmdApps(const std::vector<std::string>& args) {
  bool store = false, children = false;
  for (const std::string& arg : args) {
    if (arg == "--store") {
      store = true;
    } else if (arg == "--children") {
      children = true;
    } else {
      fprintf(stderr, "usage: vtctl apps [--store] [--children]\n");
      return 2;
    }
  }
  CAppEnum apps;
  if (store) {
    apps.EnumWinApps();
    PrintRows("store", apps.GetStoreApps());
    return 0;
  }
  apps.Enum();
  PrintRows("app", apps.GetApps());
  if (children) PrintRows("child", apps.GetChildEntries());
  return 0;
}

VtRegistrar reg("apps",
                "apps [--store] [--children]: print the installed programs (with their further entries), or the "
                "store apps",
                CmdApps);

}  // namespace
