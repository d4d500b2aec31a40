#include "SanitizeFileName.h"

std::string SanitizeFileName(const std::string& text) {
  std::string out = text;
  while (!out.empty() && out.back() == ' ') out.pop_back();
  static const char kNotInNames[] = {'\\', '/', ':', '?', '"', '<', '>', '|', '*', '\r', '\n'};
  for (char& c : out)
    for (char bad : kNotInNames)
      if (c == bad) c = '_';
  return out;
}
