#include "Testdisk.h"

#include <sstream>

#include "TestUtil.h"

namespace testutil {

std::vector<uint64_t> TestdiskFoundStarts(const std::string& image) {
  TempDir dir("testdisk");
  Shell("cd '" + dir.path() + "' && testdisk /log /cmd '" + image +
        "' partition_i386,analyze,search >/dev/null 2>&1 </dev/null");
  std::istringstream lines(ReadFile(dir.file("testdisk.log")));
  std::string line;
  uint64_t heads = 0, perTrack = 0;
  bool listing = false;
  std::vector<uint64_t> starts;
  while (std::getline(lines, line)) {
    const size_t chs = line.find(" - CHS ");
    if (chs != std::string::npos && heads == 0) {
      std::istringstream g(line.substr(chs + 7));
      uint64_t cylinders = 0;
      g >> cylinders >> heads >> perTrack;
    }
    if (line == "interface_write()") {
      listing = starts.empty();
      continue;
    }
    if (!listing) continue;
    if (line.find_first_not_of(' ') == std::string::npos) {
      listing = false;
      continue;
    }
    // " 1 * Linux   C H S   C H S   SIZE": the start is the first triple.
    std::vector<uint64_t> numbers;
    std::istringstream words(line);
    std::string w;
    while (words >> w)
      if (w.find_first_not_of("0123456789") == std::string::npos) numbers.push_back(std::stoull(w));
    if (numbers.size() < 7 || perTrack == 0) continue;
    const size_t at = numbers.size() - 7;
    starts.push_back((numbers[at] * heads + numbers[at + 1]) * perTrack + numbers[at + 2] - 1);
  }
  return starts;
}

}  // namespace testutil
