#include "FatConfig.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "ProgramFolder.h"

int ReadReviseSetting() {
  std::ifstream in(platform::ProgramFile("Config.dat"));
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inSection = line == "[register]";
      continue;
    }
    const size_t eq = line.find('=');
    if (inSection && eq != std::string::npos && line.compare(0, eq, "bRevise") == 0)
      return std::atoi(line.c_str() + eq + 1);
  }
  return 1;
}
