// FAT directory entries and long-name runs over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "CFATDirEntry.h"
#include "CFATFileProperties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t off = 0; off + CFATDirEntry::kSize <= size; off += CFATDirEntry::kSize) {
    CFATDirEntry e(data + off);
    std::string name;
    e.GetShortName(name, 0);
    e.GetShortName(name, 1);
    if (name.size() > 11) __builtin_trap();
    if (e.IsLongNameEntry()) {
      std::string part;
      if (e.GetLongNamePart(part) && part.size() > 13 * 3) __builtin_trap();
    }
    (void)e.IsValid(0);
    (void)e.IsValid(1);
    (void)IsDotEntry(e);
    (void)IsDotDotEntry(e);
    (void)e.GetFirstCluster();
    (void)IsValidFileName(name.c_str());
    // Every suffix of the buffer as a run.
    CFATFileProperties* p = CreateFATFilePropertiesFromEntries(data + off, size - off);
    if (p != nullptr) {
      if (p->GetNameLength() > CFATDirEntry::kMaxLongName) __builtin_trap();
      p->Release();
    }
  }
  return 0;
}
