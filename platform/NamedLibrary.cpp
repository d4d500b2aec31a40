#include "NamedLibrary.h"

#include <dlfcn.h>
#include <strings.h>

#include "ProgramFolder.h"

namespace platform {

NamedLibrary::~NamedLibrary() { Unload(); }

std::string NamedLibrary::SharedObjectName(const std::string& dllName) {
  std::string base = dllName;
  size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base = base.substr(slash + 1);
  if (base.size() > 4 && strcasecmp(base.c_str() + base.size() - 4, ".dll") == 0) base.resize(base.size() - 4);
  if (base.size() > 3 && base.compare(base.size() - 3, 3, ".so") == 0) base.resize(base.size() - 3);
  if (base.compare(0, 3, "lib") != 0) base = "lib" + base;
  return base + ".so";
}

bool NamedLibrary::Load(const std::string& dllName) {
  Unload();
  m_error.clear();
  const std::string so = SharedObjectName(dllName);
  const std::string local = ResourceFile(so);
  for (const std::string& candidate : {local, so}) {
    dlerror();
    m_handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle) {
      m_path = candidate;
      return true;
    }
    const char* why = dlerror();
    if (m_error.empty() && why) m_error = why;
  }
  if (m_error.empty()) m_error = "cannot load " + so;
  return false;
}

void NamedLibrary::Unload() {
  if (m_handle) dlclose(m_handle);
  m_handle = nullptr;
  m_path.clear();
}

void* NamedLibrary::Operation(const char* name) const {
  if (!m_handle || !name) return nullptr;
  return dlsym(m_handle, name);
}

}  // namespace platform
