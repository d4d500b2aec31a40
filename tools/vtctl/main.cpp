#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "CFATQuickSearch.h"
#include "CNTFSQuickSearch.h"
#include "EngineError.h"
#include "FillerFolders.h"
#include "HeapPages.h"
#include "ProgramFolder.h"
#include "RunLog.h"
#include "VolumeAnalysers.h"
#include "VtCommand.h"

std::map<std::string, VtCommandInfo>& VtCommands() {
  static std::map<std::string, VtCommandInfo> commands;
  return commands;
}

static int Usage() {
  fprintf(stderr, "usage: vtctl [--log-stderr] COMMAND [ARGS...]\n");
  for (const auto& [name, info] : VtCommands()) fprintf(stderr, "  %s\n", info.usage.c_str());
  return 2;
}

int main(int argc, char* argv[]) {
  platform::BackHeapWithLargePages();
  QCoreApplication app(argc, argv);
  // Standard output carries only the command's result. The run log goes to
  // the program folder's RunLog.log, as the program's does, or to standard
  // error with --log-stderr; the engines' failure lines go with it.
  int first = 1;
  const bool logToStderr = argc > 1 && std::strcmp(argv[1], "--log-stderr") == 0;
  if (logToStderr) ++first;
  if (!logToStderr && !RunLogSetFile(platform::ProgramFile("RunLog.log")))
    fprintf(stderr, "vtctl: cannot write %s; the run log goes to standard error\n",
            platform::ProgramFile("RunLog.log").c_str());
  SetReturnErrorSink([](const char* line) { LogError("%s", line); });
  // Every command that reads disks names their file systems as the program
  // does, and the deleted-record scrub (scrub, wipe-free-space) runs the
  // engines' quick searches, as in the program.
  RegisterVolumeAnalysers();
  RegisterNTFSQuickSearch();
  RegisterFATQuickSearch();

  // Filler, on-demand mounts and loop devices that a killed or crashed run
  // (of vtctl or of the program) left behind go first.
  filler::CleanUpAfterEarlierRuns();

  if (argc <= first) return Usage();
  auto it = VtCommands().find(argv[first]);
  if (it == VtCommands().end()) {
    fprintf(stderr, "vtctl: unknown command '%s'\n", argv[first]);
    return Usage();
  }
  std::vector<std::string> args(argv + first + 1, argv + argc);
  return it->second.handler(args);
}
