#include <cstdio>

#include <QCoreApplication>

#include "CFATQuickSearch.h"
#include "CNTFSQuickSearch.h"
#include "VtCommand.h"

std::map<std::string, VtCommandInfo>& VtCommands() {
  static std::map<std::string, VtCommandInfo> commands;
  return commands;
}

static int Usage() {
  fprintf(stderr, "usage: vtctl COMMAND [ARGS...]\n");
  for (const auto& [name, info] : VtCommands()) fprintf(stderr, "  %s\n", info.usage.c_str());
  return 2;
}

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc < 2) return Usage();
  auto it = VtCommands().find(argv[1]);
  if (it == VtCommands().end()) {
    fprintf(stderr, "vtctl: unknown command '%s'\n", argv[1]);
    return Usage();
  }
  // The quick searches of the deleted-record scrub (scrub, wipe-free-space)
  // come from the engine libraries, as in the program.
  RegisterNTFSQuickSearch();
  RegisterFATQuickSearch();
  std::vector<std::string> args(argv + 2, argv + argc);
  return it->second.handler(args);
}
