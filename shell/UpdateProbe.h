// The update-information library "verprobe.dll" (absent on Linux: every
// query answers -1, as for a failed load).
#pragma once

#include <QString>

// Calls the library's UpdateHasUpdate with the arguments unchanged; -1 when
// the library or the operation is missing. The library stays loaded.
int QueryUpdateAvailable(const QString& url, int a, int b, void* p1, void* p2, void* p3, void* p4, int bufferSize);
