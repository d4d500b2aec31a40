// Loading libraries by their Windows-style names: "X.dll" is looked up as
// "libX.so" in the resource folder (beside the executable) first, then
// through the normal dlopen search. Operations are C-linkage symbols.
#pragma once

#include <string>

namespace platform {

class NamedLibrary {
 public:
  NamedLibrary() = default;
  ~NamedLibrary();
  NamedLibrary(const NamedLibrary&) = delete;
  NamedLibrary& operator=(const NamedLibrary&) = delete;

  // Returns false (and keeps the reason in Error()) when it cannot be loaded.
  bool Load(const std::string& dllName);
  void Unload();
  bool IsLoaded() const { return m_handle != nullptr; }
  // The address of an exported operation, or null.
  void* Operation(const char* name) const;
  template <typename Fn>
  Fn OperationAs(const char* name) const {
    return reinterpret_cast<Fn>(Operation(name));
  }
  const std::string& Error() const { return m_error; }
  const std::string& Path() const { return m_path; }

  // "X.dll" -> "libX.so"; a name without ".dll" gets "lib" and ".so" only when missing.
  static std::string SharedObjectName(const std::string& dllName);

 private:
  void* m_handle = nullptr;
  std::string m_error;
  std::string m_path;
};

}  // namespace platform
