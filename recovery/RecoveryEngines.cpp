#include "RecoveryEngines.h"

#include <cctype>

#include "CDirectoryTreeBuilder.h"
#include "CEXT2SearchController.h"
#include "CExFatCompleteSearch.h"
#include "CExFatQuickSearch.h"
#include "CExt2QuickSearch.h"
#include "CFatCompleteSearch.h"
#include "CHFSPlusQuickFileSystemSearchController.h"
#include "CNTFSSearchController.h"
#include "CRAWSearchController.h"
#include "CRawAnalyserRegistry.h"
#include "NTFSResidentReader.h"
#include "ScanEngineRegistry.h"

namespace {

const char* const kEngineNames[] = {"ntfs", "fat", "exfat", "ext2", "hfsplus", "raw"};
static_assert(sizeof kEngineNames / sizeof *kEngineNames == static_cast<size_t>(ERecoveryEngine::Count));

constexpr uint32_t kAllEngines = (1u << static_cast<int>(ERecoveryEngine::Count)) - 1;

}  // namespace

EngineSelection::EngineSelection() : m_bits(kAllEngines) {}

void EngineSelection::Set(ERecoveryEngine engine, bool on) {
  const uint32_t bit = 1u << static_cast<int>(engine);
  m_bits = on ? (m_bits | bit) : (m_bits & ~bit);
}

bool EngineSelection::Parse(const std::string& list, std::string* bad) {
  uint32_t bits = 0;
  size_t from = 0;
  while (from <= list.size()) {
    size_t comma = list.find(',', from);
    if (comma == std::string::npos) comma = list.size();
    std::string name = list.substr(from, comma - from);
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    int found = -1;
    for (int i = 0; i < static_cast<int>(ERecoveryEngine::Count); ++i)
      if (name == kEngineNames[i]) found = i;
    if (found < 0) {
      if (bad) *bad = list.substr(from, comma - from);
      return false;
    }
    bits |= 1u << found;
    from = comma + 1;
  }
  m_bits = bits;
  return true;
}

RegisteredEngines RegisterRecoveryEngines(const EngineSelection& selection) {
  ClearScanEngineRegistry();
  RegisteredEngines r;
  RegisterDirectoryTreeBuilder([] { return new CDirectoryTreeBuilder; });
  r.builder = true;
  // The carving analysers (and the user's scripts) for the searches that
  // test whether a cluster starts a known file; built on first use.
  RegisterRawAnalyserList();
  // Small NTFS files (and recycle-bin $I records) keep their data inside
  // their file record; the file reader reads them through this.
  RegisterNTFSResidentReader();
  // Each engine registers its complete search (and, for exFAT, Ext2 and
  // HFS+, its read-only quick search) when the selection has it, and counts
  // it in `r`.
  if (selection.Has(ERecoveryEngine::FAT)) {
    RegisterFatCompleteSearch();  // FAT12, FAT16 and FAT32
    ++r.completeSearches;
  }
  if (selection.Has(ERecoveryEngine::exFAT)) {
    RegisterExFatQuickSearch();
    r.quickSearches += 1;
    RegisterExFatCompleteSearch();
    ++r.completeSearches;
  }
  if (selection.Has(ERecoveryEngine::NTFS)) {
    RegisterNTFSCompleteSearch();
    ++r.completeSearches;
  }
  if (selection.Has(ERecoveryEngine::Ext2)) {
    RegisterExt2QuickSearch();  // Ext2 and Ext3 (the probe lists Ext4 as Ext3)
    r.quickSearches += 2;
    RegisterExt2CompleteSearch();
    ++r.completeSearches;
  }
  if (selection.Has(ERecoveryEngine::HFSPlus)) {
    RegisterHFSPlusQuickSearch();
    r.quickSearches += 1;
  }
  if (selection.Has(ERecoveryEngine::RAW)) {
    RegisterRawCompleteSearch();
    ++r.completeSearches;
  }
  return r;
}
