// vtctl erase [--passes N] [--history FILE] PATH...: erases files and folders
// with the program's erase run and records the run in the history.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CEraseFilesRun.h"
#include "CHistoryDataBase.h"
#include "EraseMethods.h"
#include "EraseResult.h"
#include "VtCommand.h"

namespace {

class ConsoleObserver : public IRunObserver {
 public:
  void Progress(int value, int count, const std::string& displayName) override {
    m_count = count;
    fprintf(stderr, "[%d/%d] %s\n", value, count, displayName.c_str());
  }
  void Done(int result, bool cancelled) override {
    fprintf(stderr, "done: %d items, result %d%s\n", m_count, result, cancelled ? " (cancelled)" : "");
  }

 private:
  int m_count = 0;
};

int CmdErase(const std::vector<std::string>& args) {
  int passes = 1;
  std::string history = CHistoryDataBase::DefaultPath();
  std::vector<EraseItem> files, folders;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--passes" && i + 1 < args.size()) {
      passes = atoi(args[++i].c_str());
      if (ErasePassesOf(passes) != passes) {
        fprintf(stderr, "vtctl erase: --passes takes 1, 3, 7 or 35\n");
        return 2;
      }
    } else if (a == "--history" && i + 1 < args.size()) {
      history = args[++i];
    } else if (a == "--") {
      for (++i; i < args.size(); ++i) files.push_back({args[i], 0, 0, 0});
    } else if (!a.empty() && a[0] == '-') {
      fprintf(stderr, "vtctl erase: unknown option %s\n", a.c_str());
      return 2;
    } else {
      files.push_back({a, 0, 0, 0});
    }
  }
  if (files.empty()) {
    fprintf(stderr, "usage: vtctl erase [--passes N] [--history FILE] PATH...\n");
    return 2;
  }
  // A path naming a folder (not a link to one) goes into the folder list.
  std::vector<EraseItem> chosenFiles;
  for (EraseItem& item : files) {
    struct stat st;
    if (lstat(item.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      item.isFolder = 1;
      folders.push_back(item);
    } else {
      chosenFiles.push_back(item);
    }
  }
  ConsoleObserver observer;
  CEraseFilesRun run;
  run.SetItems(chosenFiles, folders);
  run.SetPasses(passes);
  run.SetHistoryPath(history);
  run.SetPauses(0, 0);
  run.SetObserver(&observer);
  run.Run();
  for (const EraseItem& item : run.DoneItems())
    printf("%s\t%d\t%s\n", item.result == ERASE_ITEM_ERASED ? "Erased" : "Failed", item.result, item.path.c_str());
  printf("%s %s\n", EraseResultTitle(run.Result()), run.Result() ? EraseResultText(ERASE_MODE_FILES, run.Result()) : "");
  return run.Result() == ERASE_COMPLETED ? 0 : 1;
}

VtRegistrar reg("erase", "erase [--passes N] [--history FILE] PATH...: erase files and folders, record the run",
                CmdErase);

}  // namespace
