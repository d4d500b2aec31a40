#include <mutex>

#include "IMountDriverWriter.h"

namespace {
std::mutex g_mutex;
MountDriverOpener g_opener;
}  // namespace

std::unique_ptr<IMountDriverWriter> OpenMountDriver(int diskNumber, uint32_t* error) {
  MountDriverOpener opener;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    opener = g_opener;
  }
  if (opener) return opener(diskNumber, error);
  // No writer is installed: nothing may be written.
  if (error) *error = 2;
  return nullptr;
}

MountDriverOpener SetMountDriverOpener(MountDriverOpener opener) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MountDriverOpener old = std::move(g_opener);
  g_opener = std::move(opener);
  return old;
}
