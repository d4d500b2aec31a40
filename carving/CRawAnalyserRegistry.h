// The process-wide set of RAW format analysers.
//
// Built on first use from the tables of RawAnalyserTables.h, it holds:
//  - the full list: one analyser of each class of the full list, in its
//    order; never changed. The FAT engine's cluster checks and the carved
//    file tree walk it (the FAT engine through the provider registered by
//    RegisterRawAnalyserList, so that it does not link this library).
//  - the fallback list: the analysers offered every sector whose first word
//    has no key. At first the whole full list; a RAW search's selection
//    replaces it by the key-less analysers of the selected types.
//  - the signature map: one analyser per key (a sector's first four bytes,
//    little-endian), in a sorted flat array; a selection keeps only the
//    keys of the selected types.
// Every entry is an object of its own: the same class may stand in both
// lists and under several keys, and analysers that keep per-file values
// keep them per object. A class whose analyser does not exist yet is
// skipped.
//
// Selections happen on the thread that runs the search; callers must not
// select while another thread uses the lists.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "RawAnalyserTables.h"

class CCustomHeaderManage;
class IRawFileAnalyser;

class CRawAnalyserRegistry {
 public:
  using Factory = std::function<IRawFileAnalyser*()>;
  // One factory per class; an empty one for a class without an analyser.
  using Factories = std::array<Factory, kRawAnalyserClassCount>;
  using AnalyserList = std::vector<IRawFileAnalyser*>;
  using SignatureMap = std::vector<std::pair<uint32_t, std::unique_ptr<IRawFileAnalyser>>>;

  // The registry of the process, built on the first call with the analysers
  // that exist and the carving scripts of the program folder (read once).
  // When building throws, the exception passes on and the registry stays
  // unbuilt: the next call builds it anew.
  static CRawAnalyserRegistry& Instance();
  // The analysers that exist; the script analysers share `scripts`.
  static Factories DefaultFactories(std::shared_ptr<const CCustomHeaderManage> scripts);
  // Tests: where Instance takes its factories from (empty: the default
  // ones with the program folder's scripts), and forgetting the built one.
  static void SetFactorySource(std::function<Factories()> source);
  static void ForgetInstance();
  // The classes of the tables whose analyser does not exist yet.
  static std::vector<ERawAnalyserClass> ClassesWithoutAnalyser();

  // Builds the lists and the map from `factories` (the built state: the
  // fallback list holds the whole full list, the map every key).
  explicit CRawAnalyserRegistry(const Factories& factories);
  ~CRawAnalyserRegistry();
  CRawAnalyserRegistry(const CRawAnalyserRegistry&) = delete;
  CRawAnalyserRegistry& operator=(const CRawAnalyserRegistry&) = delete;

  // The fallback list when `which` is 0, the full list otherwise. The
  // registry keeps owning the analysers.
  AnalyserList GetAnalyserList(int which) const;
  const SignatureMap& GetSignatureMap() const { return m_map; }
  // The analyser of `key`, or null (one search of the sorted keys).
  IRawFileAnalyser* FindBySignature(uint32_t key) const;
  // The analyser of the sector's first four bytes, or null.
  IRawFileAnalyser* FindBySector(const uint8_t* sector) const;

  // A RAW search's selection of file-type ids; both calls make new
  // analysers. Empty means every type.
  // The fallback list becomes the key-less analysers of the selected ids,
  // in selection order (a repeated id adds its analysers again).
  void SelectFallbackTypes(const std::vector<int>& selected);
  // The map holds only the keys of the selected types.
  void RebuildSignatureMap(const std::vector<int>& selected);

 private:
  using OwnedList = std::vector<std::unique_ptr<IRawFileAnalyser>>;

  // A new analyser of the class, or null when it has none.
  std::unique_ptr<IRawFileAnalyser> Create(ERawAnalyserClass c) const;
  void CreateAllAnalysers(OwnedList& list) const;
  void CreateFallbackAnalysers(OwnedList& list, const std::vector<int>& selected) const;
  void CreateFallbackAnalyser(int id, OwnedList& list) const;
  void BuildSignatureMap(SignatureMap& map, const std::vector<int>& selected) const;

  Factories m_factories;
  OwnedList m_fallback;
  OwnedList m_full;
  SignatureMap m_map;
};

// Registers the full-list provider of the scan engine registry
// (ScanEngineRegistry.h): it builds this registry on first use and answers
// its full list; when building fails it logs the failure and answers an
// empty list, and the run goes on without analysers.
void RegisterRawAnalyserList();
