// vtctl history [--db FILE] [--html TIME OUT]: prints the erasure history,
// newest run first, or exports one run as the history dialog does.
#include <cstdio>
#include <string>
#include <vector>

#include "CHistoryDataBase.h"
#include "EraseMethods.h"
#include "HistoryHtml.h"
#include "VtCommand.h"

namespace {

int CmdHistory(const std::vector<std::string>& args) {
  std::string db = CHistoryDataBase::DefaultPath();
  std::string htmlTime, htmlOut;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--db" && i + 1 < args.size()) {
      db = args[++i];
    } else if (args[i] == "--html" && i + 2 < args.size()) {
      htmlTime = args[++i];
      htmlOut = args[++i];
    } else {
      fprintf(stderr, "usage: vtctl history [--db FILE] [--html TIME OUT]\n");
      return 2;
    }
  }
  const auto runs = CHistoryDataBase(db).ReadAll();
  if (!htmlOut.empty()) {
    auto it = runs.find(htmlTime);
    if (it == runs.end()) {
      fprintf(stderr, "vtctl history: no run at %s\n", htmlTime.c_str());
      return 1;
    }
    return ExportHistoryHtml(htmlOut, it->first, HistoryRowsOf(it->second)) ? 0 : 1;
  }
  if (runs.empty()) printf("No Erasure Logs\n");
  for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
    printf("%s\n", run->first.c_str());
    for (const EraseItem& item : run->second)
      printf("  %s\t%d\t%s\t%s\n", item.result == 0 ? "Erased" : "Failed", item.result,
             ErasureMethodName(item.algorithm), item.path.c_str());
  }
  return 0;
}

VtRegistrar reg("history", "history [--db FILE] [--html TIME OUT]: print the erasure history or export one run",
                CmdHistory);

}  // namespace
