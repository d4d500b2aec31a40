// Carving scripts: any text through the script reader's check, line and
// parameter readers, the header's load and match, and the script analyser
// over a sector taken from the same input. The input's first two bytes give
// the script's length; the rest after the script is the sector (zero-padded
// to the 4096 bytes every analyser is handed).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CCustomHeader.h"
#include "CCustomHeaderManage.h"
#include "CRawFileInfo.h"
#include "CScriptProcess.h"
#include "CustomFileAnalyser.h"
#include "RawFileTypeTable.h"

namespace {

void Check(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t scriptBytes = std::min<size_t>(size - 2, static_cast<size_t>(data[0] | data[1] << 8) % 1100);
  const std::string text(reinterpret_cast<const char*>(data + 2), scriptBytes);
  std::vector<uint8_t> sector(4096, 0);
  const size_t rest = size - 2 - scriptBytes;
  memcpy(sector.data(), data + 2 + scriptBytes, std::min(rest, sector.size()));

  CScriptProcess script;
  script.OpenText(text);
  const bool checked = script.CheckScript();
  std::string line;
  for (size_t n = 0; script.GetLine(n, line); ++n) {
    CScriptProcess::GetKeyword(line);
    for (const char* key : {"EXTNAME", "OFFSET", "TYPE", "VALUE"}) CScriptProcess::GetKeyValue(line, key);
    CScriptProcess::CheckLine(line);
  }
  std::string extension;
  if (script.ReadFileInfo(extension)) Check(!extension.empty() && extension.size() <= 16);
  size_t cursor = 0;
  CustomSignature signature;
  while (script.ReadNextSignature(cursor, signature)) {
    Check(signature.offset >= 0 && signature.offset <= CScriptProcess::kMaxOffset);
    Check(signature.length >= 0 && signature.length <= CScriptProcess::kMaxSignatureBytes);
  }

  auto header = std::make_unique<CCustomHeader>();
  const bool loaded = header->LoadScriptText(text);
  Check(!loaded || checked);
  const bool matched = header->Match(sector.data());
  Check(!matched || header->GetSignatureCount() > 0);
  if (!loaded) return 0;

  // The rows run out after 1000 extensions; start afresh now and then.
  static unsigned runs = 0;
  if (++runs % 512 == 0) CAnalyserFileTypeTable::Instance().ForgetScriptRows();
  auto scripts = std::make_shared<CCustomHeaderManage>();
  scripts->Add(std::move(header));
  CustomFileAnalyser analyser(scripts);
  CRawFileInfo info;
  if (analyser.MatchHeader(sector.data(), &info)) {
    Check(matched);
    Check(info.GetFileType() >= kFirstScriptFileType && info.GetFileType() <= kLastScriptFileType);
  }
  return 0;
}
