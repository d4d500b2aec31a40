#include "CustomFileAnalyser.h"

#include "CRawFileInfo.h"
#include "ProgramFolder.h"
#include "RawFileTypeTable.h"

namespace {

std::shared_ptr<const CCustomHeaderManage> LoadFolder(const std::string& folder) {
  auto scripts = std::make_shared<CCustomHeaderManage>();
  scripts->LoadScripts(folder);
  return scripts;
}

}  // namespace

CustomFileAnalyser::CustomFileAnalyser() : CustomFileAnalyser(LoadFolder(GetScriptFolder())) {}

CustomFileAnalyser::CustomFileAnalyser(std::shared_ptr<const CCustomHeaderManage> scripts)
    : m_scripts(scripts ? std::move(scripts) : std::make_shared<const CCustomHeaderManage>()) {}

int CustomFileAnalyser::MatchHeader(const uint8_t* sector, CRawFileInfo* info) {
  std::string extension;
  if (!sector || !m_scripts->Match(sector, extension)) return 0;
  const int id = CAnalyserFileTypeTable::Instance().ClaimScriptRow(extension);
  if (id < 0) return 0;
  if (info) info->SetFileType(id);
  return 1;
}

int CustomFileAnalyser::FindFileSize(CRawFileInfo* info, IStorageDevice* device) {
  (void)info;
  (void)device;
  return 0;
}

std::string CustomFileAnalyser::GetScriptFolder() {
  return platform::ProgramFile("CustomFileScript");
}
