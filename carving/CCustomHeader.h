// One loaded carving script: the extension it names and the signatures a
// file's first sector must hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CScriptProcess.h"

class CCustomHeader {
 public:
  CCustomHeader() = default;
  virtual ~CCustomHeader() = default;

  // Reads and checks the script at `path`; false when it is refused (see
  // GetFailure). Loading again replaces what was loaded.
  bool LoadScript(const std::string& path);
  // The same for a script's bytes (as the file would hold them).
  bool LoadScriptText(const std::string& bytes);

  // True when every signature stands in `sector` (which holds at least 512
  // bytes); false for a script without signatures.
  bool Match(const uint8_t* sector) const;

  // The extension (1-16 upper-case characters).
  const std::string& GetExtension() const { return m_extension; }
  // The first signature, or null when there is none.
  const CustomSignature* GetFirstSignature() const { return m_signatures.empty() ? nullptr : &m_signatures.front(); }
  size_t GetSignatureCount() const { return m_signatures.size(); }
  // Why the last load failed; "" after a load that succeeded.
  const std::string& GetFailure() const { return m_failure; }
  // True for a loaded script whose lines end in line feeds only (it was
  // read as a single line).
  bool HasLineFeedsOnly() const { return m_lineFeedsOnly; }

 private:
  bool Load(CScriptProcess& script);

  std::string m_extension;
  std::vector<CustomSignature> m_signatures;
  std::string m_failure;
  bool m_lineFeedsOnly = false;
};
