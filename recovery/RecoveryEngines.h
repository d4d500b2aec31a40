// The recovery composition: registers the directory-tree builder and the
// read-only searches of every recovery engine with the scan engine registry
// (ScanEngineRegistry.h), for the callers that run recoveries (vtctl
// recover, its tests and benchmarks). Each engine adds its line here.
//
// The quick searches of FAT and NTFS are the deleted-record scrubs; they are
// never registered here, and a registry this composition has filled holds
// none of them.
#pragma once

#include <cstdint>
#include <string>

// The engines a recovery may use, as `--engines` names them.
enum class ERecoveryEngine : int { NTFS = 0, FAT, exFAT, Ext2, HFSPlus, RAW, Count };

struct EngineSelection {
  // Every engine.
  EngineSelection();
  bool Has(ERecoveryEngine engine) const { return (m_bits >> static_cast<int>(engine)) & 1u; }
  void Set(ERecoveryEngine engine, bool on);
  // "ntfs,fat,exfat,ext2,hfsplus,raw" (comma-separated, any case, each at
  // least once): those engines only. False on an empty list or an unknown
  // name, which goes to `bad`; the selection is then unchanged.
  bool Parse(const std::string& list, std::string* bad = nullptr);

 private:
  uint32_t m_bits;
};

struct RegisteredEngines {
  bool builder = false;
  int completeSearches = 0;
  int quickSearches = 0;
};

// Empties the registry, then registers the builder and the searches of the
// selected engines that exist. Answers what it registered.
RegisteredEngines RegisterRecoveryEngines(const EngineSelection& selection);
