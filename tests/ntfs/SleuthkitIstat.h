// What sleuthkit's fls and istat list: the independent reader behind the
// NTFS image tests.
#pragma once

#include <cctype>
#include <cstdint>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace ntfstest {

struct IstatData {
  bool nonResident = false;
  uint64_t size = 0;
  std::vector<uint64_t> clusters;
};

// The first attribute of an istat listing whose "Type:" line starts with
// `typeLine` (for example "Type: $DATA (128-") and carries `name` ("N/A":
// unnamed).
inline bool ParseIstatAttribute(const std::string& text, const std::string& typeLine, IstatData& data,
                                const std::string& name = "N/A") {
  std::istringstream in(text);
  std::string line;
  bool inData = false;
  bool found = false;
  while (std::getline(in, line)) {
    if (line.rfind("Type: ", 0) == 0) {
      inData = !found && line.rfind(typeLine, 0) == 0 && line.find("Name: " + name + " ") != std::string::npos;
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

// The unnamed $DATA of an istat listing.
inline bool ParseIstat(const std::string& text, IstatData& data) {
  return ParseIstatAttribute(text, "Type: $DATA (128-", data);
}

struct FlsEntry {
  bool directory = false;
  bool deleted = false;
  uint64_t inode = 0;
  std::string path;
};

// `fls -r -p` of the volume (its arguments: the image, maybe with -o or -b).
inline std::vector<FlsEntry> ListFiles(const std::vector<std::string>& volume) {
  std::vector<std::string> argv = {"fls", "-r", "-p"};
  argv.insert(argv.end(), volume.begin(), volume.end());
  std::vector<FlsEntry> out;
  std::istringstream in(testutil::Run(argv).output);
  std::string line;
  const std::regex re("^([-rd])/([rd]) (\\* )?([0-9]+)-[0-9]+-[0-9]+:\\t(.*)$");
  while (std::getline(in, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, re)) continue;
    FlsEntry e;
    e.directory = m[2] == "d";
    e.deleted = m[3].matched;
    e.inode = std::stoull(m[4]);
    e.path = m[5];
    out.push_back(e);
  }
  return out;
}

inline std::string Istat(const std::vector<std::string>& volume, uint64_t inode) {
  std::vector<std::string> argv = {"istat", "-z", "UTC"};
  argv.insert(argv.end(), volume.begin(), volume.end());
  argv.push_back(std::to_string(inode));
  return testutil::Run(argv).output;
}

}  // namespace ntfstest
