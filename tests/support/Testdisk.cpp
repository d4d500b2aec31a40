#include "Testdisk.h"

#include <algorithm>
#include <sstream>

#include "TestUtil.h"

namespace testutil {

namespace {

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::vector<uint64_t> TestdiskStartsFromLog(const std::string& log) {
  // The geometry the CHS values count in: "... - CHS C H S".
  uint64_t heads = 0, sectors = 0;
  size_t at = log.find(" - CHS ");
  if (at != std::string::npos) {
    std::istringstream g(log.substr(at + 7));
    uint64_t c = 0;
    g >> c >> heads >> sectors;
  }
  if (heads == 0 || sectors == 0) return {};
  // Every list the search wrote: " N X TYPE  C H S  C H S  SIZE [LABEL]".
  // The deeper pass may end with no list at all ("No partition found or
  // selected for recovery") after the quick pass listed what it found.
  std::vector<uint64_t> starts;
  for (at = log.find("interface_write()"); at != std::string::npos; at = log.find("interface_write()", at + 1)) {
    std::istringstream in(log.substr(at));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line) && !line.empty()) {
      const size_t label = line.find(" [");
      std::istringstream words(line.substr(0, label));
      std::vector<std::string> w;
      for (std::string word; words >> word;) w.push_back(word);
      if (w.size() < 9 || !AllDigits(w[0])) continue;
      const size_t n = w.size();
      bool numbers = true;
      for (size_t i = n - 7; i < n; ++i) numbers = numbers && AllDigits(w[i]);
      if (!numbers) continue;
      const uint64_t c = std::stoull(w[n - 7]), h = std::stoull(w[n - 6]), s = std::stoull(w[n - 5]);
      if (s == 0) continue;
      starts.push_back((c * heads + h) * sectors + s - 1);
    }
  }
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  return starts;
}

std::vector<uint64_t> TestdiskFoundStarts(const std::string& image) {
  TempDir dir("testdisk");
  const CommandResult r = Shell("cd '" + dir.path() + "' && testdisk /log /cmd '" + image +
                                "' partition_i386,analyze,search >/dev/null 2>&1");
  if (r.exitCode != 0) return {};
  return TestdiskStartsFromLog(ReadFile(dir.path() + "/testdisk.log"));
}

}  // namespace testutil
