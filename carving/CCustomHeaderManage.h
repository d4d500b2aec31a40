// The carving scripts of one folder, in load order: the first script that
// matches a sector names its type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CCustomHeader.h"

class CCustomHeaderManage {
 public:
  CCustomHeaderManage() = default;
  virtual ~CCustomHeaderManage() = default;

  // Loads every "*.fhs" file of `folder` (the suffix in any case), in byte
  // order of the names. A refused script, and a loaded one that can never
  // match, each get a run-log line naming the file. A missing, unreadable
  // or unlistable folder gives no scripts. True when any script file was
  // found (loaded or not).
  bool LoadScripts(const std::string& folder);
  // Adds one loaded header at the end (scripts read from elsewhere).
  void Add(std::unique_ptr<CCustomHeader> header);
  void Clear() { m_headers.clear(); }

  // The extension of the first header in load order whose signatures all
  // stand in `sector`: true. False when none matches.
  bool Match(const uint8_t* sector, std::string& extension) const;

  size_t GetHeaderCount() const { return m_headers.size(); }
  // The first signature of the header at `cursor`, which then moves on;
  // null for a cursor below 0 or past the end.
  const CustomSignature* GetNextFirstSignature(int& cursor) const;

 private:
  std::vector<std::unique_ptr<CCustomHeader>> m_headers;
};
