#include "CCustomHeader.h"

#include <cstring>

bool CCustomHeader::LoadScript(const std::string& path) {
  CScriptProcess script;
  if (!script.Open(path)) {
    m_failure = script.GetFailure();
    return false;
  }
  return Load(script);
}

bool CCustomHeader::LoadScriptText(const std::string& bytes) {
  CScriptProcess script;
  script.OpenText(bytes);
  return Load(script);
}

bool CCustomHeader::Load(CScriptProcess& script) {
  m_extension.clear();
  m_signatures.clear();
  m_lineFeedsOnly = script.HasLineFeedsOnly();
  m_failure.clear();
  if (!script.CheckScript())
    m_failure = script.GetFailure();
  else if (!script.ReadFileInfo(m_extension))
    m_failure = "it has no FILEINFO line";  // nothing to name a match by
  if (!m_failure.empty()) {
    if (m_lineFeedsOnly) m_failure += " (its lines end in line feeds without carriage returns)";
    m_extension.clear();
    return false;
  }
  size_t cursor = 0;
  CustomSignature signature;
  while (script.ReadNextSignature(cursor, signature)) m_signatures.push_back(signature);
  return true;
}

bool CCustomHeader::Match(const uint8_t* sector) const {
  if (!sector || m_signatures.empty()) return false;
  for (const CustomSignature& s : m_signatures)
    if (memcmp(sector + s.offset, s.bytes, static_cast<size_t>(s.length)) != 0) return false;
  return true;
}
