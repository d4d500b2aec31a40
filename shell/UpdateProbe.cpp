#include "UpdateProbe.h"

#include <memory>

#include "NamedLibrary.h"
#include "RunLog.h"

int QueryUpdateAvailable(const QString& url, int a, int b, void* p1, void* p2, void* p3, void* p4, int bufferSize) {
  using Query = int (*)(const char16_t*, int, int, void*, void*, void*, void*, int);
  auto library = std::make_unique<platform::NamedLibrary>();
  if (!library->Load("verprobe.dll")) {
    LogInfo("verprobe.dll not loaded: %s", library->Error().c_str());
    return -1;
  }
  const Query query = library->OperationAs<Query>("UpdateHasUpdate");
  if (!query) return -1;
  library.release();  // stays loaded for the life of the process
  const std::u16string text = url.toStdU16String();
  return query(text.c_str(), a, b, p1, p2, p3, p4, bufferSize);
}
