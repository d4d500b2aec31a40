// The analyser of the user-defined carving scripts: a sector that a script
// matches starts a file of the script's type, whose id is the row of the
// analysers' file-type table (1000-1999) claimed for the script's extension
// (the first extension matched in the process gets 1000, the next new one
// 1001, and so on; extensions equal but for case share a row). It
// recognises files only and never works out a size.
//
// It is a member of the registry's full list, so the users of that list
// (the FAT engine's cluster checks) consult it; the RAW search does not.
#pragma once

#include <memory>
#include <string>

#include "CCustomHeaderManage.h"
#include "IRawFileAnalyser.h"

class CustomFileAnalyser : public IRawFileAnalyser {
 public:
  // Loads the scripts of GetScriptFolder().
  CustomFileAnalyser();
  // Shares scripts loaded once (the registry loads them once for all its
  // instances).
  explicit CustomFileAnalyser(std::shared_ptr<const CCustomHeaderManage> scripts);

  // Nonzero when a script matches and its extension has a row: the record
  // gets that row's id. When all 1000 rows hold other extensions the match
  // is refused.
  int MatchHeader(const uint8_t* sector, CRawFileInfo* info) override;
  // Finds no size: 0, nothing set.
  int FindFileSize(CRawFileInfo* info, IStorageDevice* device) override;

  // "CustomFileScript" in the program folder.
  static std::string GetScriptFolder();

 private:
  std::shared_ptr<const CCustomHeaderManage> m_scripts;
};
