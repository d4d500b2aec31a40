// An HFS+ volume opened from arbitrary bytes: header, journal, the three
// trees, the volume name, a catalog walk and the volume probe.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "CHFSPlusVolume.h"
#include "FuzzMemoryDevice.h"
#include "IStorageDevice.h"
#include "ProbeHFSPlusVolume.h"

namespace {

struct Counter : IHFSPlusRecordVisitor {
  size_t n = 0;
  void OnRecord(const HFSPlusKey&, const HFSPlusRecord&) override { ++n; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] { return std::freopen("/dev/null", "w", stdout) != nullptr; }();
  (void)quiet;
  if (size >= 1536) IsHFSPlusVolumeHeader(data + 1024, size - 1024);
  MemoryDevice dev(FuzzDiskBytes(data, size));
  {
    CHFSPlusVolume vol(&dev);
    char name[64];
    if (vol.GetVolumeName(name, sizeof name) == 0 && std::strlen(name) >= sizeof name) __builtin_trap();
    Counter c;
    vol.Traverse(kHFSCatalogTree, &c);
    HFSPlusCatalogKey key;
    key.parentID = 2;
    HFSPlusSearchResult result;
    std::unique_ptr<HFSPlusRecord> rec;
    vol.Search(kHFSCatalogTree, key, &result, &rec);
    if (CHFSPlusJournal* j = vol.GetJournal()) {
      uint8_t buf[64];
      j->Read(j->WrapOffset(size, 7), buf, sizeof buf);
    }
  }
  HFSPlusProbeResult r = ProbeHFSPlusVolume(&dev, 0);
  if (r.recognised && r.sectorCount > dev.GetSectorCount()) __builtin_trap();
  return 0;
}
