#include <cstdio>

#include <QCoreApplication>

#include "VolumeAnalysers.h"
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
  // Every command that reads disks names their file systems as the program does.
  RegisterVolumeAnalysers();
  if (argc < 2) return Usage();
  auto it = VtCommands().find(argv[1]);
  if (it == VtCommands().end()) {
    fprintf(stderr, "vtctl: unknown command '%s'\n", argv[1]);
    return Usage();
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  return it->second.handler(args);
}
