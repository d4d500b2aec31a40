#include "CCustomHeaderManage.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "RunLog.h"

namespace {

bool HasScriptSuffix(const char* name) {
  const size_t n = strlen(name);
  return n >= 4 && strcasecmp(name + n - 4, ".fhs") == 0;
}

// The script names of `folder`, sorted by their bytes (the listing has no
// order of its own, and the order decides which script matches first).
std::vector<std::string> ListScripts(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    if (errno != ENOENT && errno != ENOTDIR)
      LogError("Carving scripts: the folder %s cannot be listed (%s); no scripts are used", folder.c_str(),
               strerror(errno));
    return names;
  }
  while (const dirent* entry = readdir(dir))
    if (HasScriptSuffix(entry->d_name)) names.emplace_back(entry->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool CCustomHeaderManage::LoadScripts(const std::string& folder) {
  Clear();
  const std::vector<std::string> names = ListScripts(folder);
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (const std::string& name : names) {
    const std::string path = prefix + name;
    auto header = std::make_unique<CCustomHeader>();
    if (!header->LoadScript(path)) {
      LogError("Carving script %s refused: %s", path.c_str(), header->GetFailure().c_str());
      continue;
    }
    if (header->GetSignatureCount() == 0)
      LogInfo("Carving script %s never matches: it has no FILESIGN line%s", path.c_str(),
              header->HasLineFeedsOnly() ? " (its lines end in line feeds without carriage returns)" : "");
    m_headers.push_back(std::move(header));
  }
  return !names.empty();
}

void CCustomHeaderManage::Add(std::unique_ptr<CCustomHeader> header) {
  if (header) m_headers.push_back(std::move(header));
}

bool CCustomHeaderManage::Match(const uint8_t* sector, std::string& extension) const {
  for (const auto& header : m_headers) {
    if (header->Match(sector)) {
      extension = header->GetExtension();
      return true;
    }
  }
  return false;
}

const CustomSignature* CCustomHeaderManage::GetNextFirstSignature(int& cursor) const {
  if (cursor < 0 || static_cast<size_t>(cursor) >= m_headers.size()) return nullptr;
  return m_headers[static_cast<size_t>(cursor++)]->GetFirstSignature();
}
