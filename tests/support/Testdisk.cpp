#include "Testdisk.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "TestUtil.h"

namespace testutil {

namespace {

bool IsNumber(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

std::vector<uint64_t> TestdiskFoundStarts(const std::string& image) {
  std::vector<uint64_t> starts;
  TempDir dir("testdisk");
  const std::string absolute = image.empty() || image[0] == '/' ? image : SourceDir() + "/" + image;
  const CommandResult r = Shell("cd '" + dir.path() + "' && testdisk /log /cmd '" + absolute +
                                "' partition_i386,analyze,search >/dev/null 2>&1");
  if (r.exitCode < 0) return starts;
  std::istringstream log(ReadFile(dir.file("testdisk.log")));
  uint64_t heads = 255, sectorsPerTrack = 63;
  std::string line;
  while (std::getline(log, line)) {
    // "Disk IMAGE - 37 MB / 36 MiB - CHS 5 255 63": the geometry the CHS
    // values of the listed partitions use.
    const size_t chs = line.rfind(" - CHS ");
    if (line.rfind("Disk ", 0) == 0 && chs != std::string::npos) {
      std::istringstream g(line.substr(chs + 7));
      uint64_t cylinders = 0;
      if (g >> cylinders >> heads >> sectorsPerTrack) continue;
    }
    // A found partition: " 1 * HPFS - NTFS   0 32 33   2 42 40   32768 [Label]",
    // the start's C H S the first three of the last seven numbers.
    std::istringstream in(line);
    std::vector<std::string> tokens;
    std::string t;
    while (in >> t) tokens.push_back(t);
    if (tokens.size() < 10 || !IsNumber(tokens[0]) || tokens[1].size() != 1 ||
        std::string("*PLED").find(tokens[1][0]) == std::string::npos)
      continue;
    size_t end = tokens.size();
    if (tokens[end - 1].back() == ']') {
      while (end > 0 && tokens[end - 1].front() != '[') --end;
      --end;
    }
    if (end < 9) continue;
    bool numbers = true;
    for (size_t i = end - 7; i < end; ++i) numbers = numbers && IsNumber(tokens[i]);
    if (!numbers) continue;
    const uint64_t c = std::stoull(tokens[end - 7]), h = std::stoull(tokens[end - 6]), s = std::stoull(tokens[end - 5]);
    if (s == 0) continue;
    starts.push_back((c * heads + h) * sectorsPerTrack + s - 1);
  }
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  return starts;
}

}  // namespace testutil
