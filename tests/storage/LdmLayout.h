// Reads the layout.txt that tools/ldmgen writes beside its images, and runs
// the generator.
#pragma once

#include <QJsonDocument>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestUtil.h"

namespace ldmtest {

struct DiskLine {
  std::string name, guid, file;
  uint64_t dataStart = 0, dataSize = 0, metaStart = 0, metaSize = 0;
};
struct PartLine {
  std::string volume, name, disk;
  uint64_t start = 0, size = 0, volOffset = 0, index = 0;
};
struct VolumeLine {
  std::string name, kind, hint;
  int number = 0;
  uint64_t size = 0, chunk = 0;
  std::vector<PartLine> parts;
};
struct Layout {
  std::string dir, groupGuid, groupName, style;
  std::vector<DiskLine> disks;
  std::vector<VolumeLine> volumes;
  std::string DiskPath(size_t i) const { return dir + "/" + disks[i].file; }
  const VolumeLine* Volume(const std::string& kind) const {
    for (const auto& v : volumes)
      if (v.kind == kind) return &v;
    return nullptr;
  }
};

// Runs ldmgen into `dir` and reads its layout; empty group GUID on failure.
inline Layout Generate(const std::string& dir, const std::string& style, int disks) {
  Layout L;
  L.dir = dir;
  auto r = testutil::Run(
      {std::string(VANTOREL_BIN_DIR) + "/ldmgen", "--style", style, "--disks", std::to_string(disks), "--out", dir});
  if (r.exitCode != 0) return L;
  std::ifstream in(dir + "/layout.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string kind;
    s >> kind;
    if (kind == "group") {
      s >> L.groupGuid >> L.groupName >> L.style;
    } else if (kind == "disk") {
      DiskLine d;
      s >> d.name >> d.guid >> d.file >> d.dataStart >> d.dataSize >> d.metaStart >> d.metaSize;
      L.disks.push_back(d);
    } else if (kind == "volume") {
      VolumeLine v;
      s >> v.name >> v.kind >> v.number >> v.size >> v.chunk >> v.hint;
      if (v.hint == "-") v.hint.clear();
      L.volumes.push_back(v);
    } else if (kind == "part" && !L.volumes.empty()) {
      PartLine p;
      s >> p.volume >> p.name >> p.disk >> p.start >> p.size >> p.volOffset >> p.index;
      L.volumes.back().parts.push_back(p);
    }
  }
  return L;
}

// One set of images: partition style and number of disks.
struct ImageSet {
  const char* style;
  int disks;
};
inline std::string ImageSetName(const ::testing::TestParamInfo<ImageSet>& info) {
  return std::string(info.param.style) + std::to_string(info.param.disks);
}

// The generator's fill: each 8-byte little-endian word at volume byte offset
// o holds (number << 48) | o.
inline uint64_t PatternWord(int number, uint64_t byteOffset) {
  return (uint64_t(number) << 48) | byteOffset;
}

// Runs ldmtool over the layout's disks; the JSON it prints, or null.
inline QJsonDocument Ldmtool(const ldmtest::Layout& L, const std::vector<std::string>& args) {
  std::vector<std::string> argv{"ldmtool"};
  for (size_t i = 0; i < L.disks.size(); ++i) {
    argv.push_back("-d");
    argv.push_back(L.DiskPath(i));
  }
  argv.insert(argv.end(), args.begin(), args.end());
  auto r = testutil::Run(argv);
  // ldmtool adds warnings on stderr (no sector size for image files, no
  // device mapper); its JSON comes out in one piece at exit.
  const std::string& out = r.output;
  const size_t from = out.find_first_of("[{"), to = out.find_last_of("]}");
  if (from == std::string::npos || to == std::string::npos || to < from) return QJsonDocument();
  const std::string json = out.substr(from, to - from + 1);
  return QJsonDocument::fromJson(QByteArray::fromStdString(json));
}

}  // namespace ldmtest
