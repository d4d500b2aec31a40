// The unnamed $DATA of one record as sleuthkit's istat lists it: the
// independent reader behind the NTFS image tests.
#pragma once

#include <cctype>
#include <cstdint>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace ntfstest {

struct IstatData {
  bool nonResident = false;
  uint64_t size = 0;
  std::vector<uint64_t> clusters;
};

// The unnamed $DATA of an istat listing.
inline bool ParseIstat(const std::string& text, IstatData& data) {
  std::istringstream in(text);
  std::string line;
  bool inData = false;
  bool found = false;
  while (std::getline(in, line)) {
    if (line.rfind("Type: ", 0) == 0) {
      inData = line.rfind("Type: $DATA (128-", 0) == 0 && line.find("Name: N/A") != std::string::npos;
      if (!inData) continue;
      found = true;
      data.nonResident = line.find("Non-Resident") != std::string::npos;
      std::smatch m;
      if (std::regex_search(line, m, std::regex("size: ([0-9]+)"))) data.size = std::stoull(m[1]);
      continue;
    }
    if (!inData) continue;
    if (line.empty() || !isdigit(static_cast<unsigned char>(line[0]))) {
      inData = false;
      continue;
    }
    std::istringstream numbers(line);
    uint64_t cluster;
    while (numbers >> cluster) data.clusters.push_back(cluster);
  }
  return found;
}

}  // namespace ntfstest
