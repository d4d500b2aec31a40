#include "VolumeAnalyserRegistry.h"

#include <mutex>

namespace {

constexpr size_t kKinds = sizeof kVolumeAnalyserOrder / sizeof kVolumeAnalyserOrder[0];
static_assert(kKinds == size_t(EVolumeAnalyserKind::Ext2) + 1, "every kind has its place in the order");

struct Registry {
  std::mutex lock;
  VolumeAnalyser analysers[kKinds];
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void RegisterVolumeAnalyser(EVolumeAnalyserKind kind, const VolumeAnalyser& analyser) {
  const size_t i = size_t(kind);
  if (i >= kKinds) return;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.analysers[i] = analyser;
}

VolumeAnalyser GetVolumeAnalyser(EVolumeAnalyserKind kind) {
  const size_t i = size_t(kind);
  if (i >= kKinds) return {};
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.analysers[i];
}

void ClearVolumeAnalysers() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  for (VolumeAnalyser& a : r.analysers) a = {};
}
