#include "CRawAnalyserRegistry.h"

#include <algorithm>
#include <exception>
#include <mutex>

#include "CCustomHeaderManage.h"
#include "CustomFileAnalyser.h"
#include "FileJPGAnalyser.h"
#include "IRawFileAnalyser.h"
#include "RawFileTypeTable.h"
#include "RunLog.h"
#include "ScanEngineRegistry.h"

namespace {

template <class T>
IRawFileAnalyser* Make() {
  return new T();
}

using PlainFactory = IRawFileAnalyser* (*)();

// The analysers that exist, by class. Each analyser adds its row here, as
// {ERawAnalyserClass::FileZIP, &Make<FileZIPAnalyser>}; a class of the
// tables without one is skipped. (The script analyser is made with the
// registry's shared scripts, below.)
const std::vector<std::pair<ERawAnalyserClass, PlainFactory>>& LandedAnalysers() {
  static const std::vector<std::pair<ERawAnalyserClass, PlainFactory>> rows = {
      {ERawAnalyserClass::FileJPG, &Make<FileJPGAnalyser>},
  };
  return rows;
}

bool IsSelected(const std::vector<int>& selected, int id) {
  return selected.empty() || std::find(selected.begin(), selected.end(), id) != selected.end();
}

std::mutex g_instanceLock;
std::unique_ptr<CRawAnalyserRegistry> g_instance;
std::function<CRawAnalyserRegistry::Factories()> g_factorySource;

CRawAnalyserRegistry::Factories ProgramFactories() {
  auto scripts = std::make_shared<CCustomHeaderManage>();
  scripts->LoadScripts(CustomFileAnalyser::GetScriptFolder());
  return CRawAnalyserRegistry::DefaultFactories(std::move(scripts));
}

}  // namespace

CRawAnalyserRegistry::Factories CRawAnalyserRegistry::DefaultFactories(
    std::shared_ptr<const CCustomHeaderManage> scripts) {
  Factories factories;
  for (const auto& row : LandedAnalysers()) factories[static_cast<size_t>(row.first)] = row.second;
  factories[static_cast<size_t>(ERawAnalyserClass::CustomFile)] = [scripts] { return new CustomFileAnalyser(scripts); };
  return factories;
}

std::vector<ERawAnalyserClass> CRawAnalyserRegistry::ClassesWithoutAnalyser() {
  const Factories factories = DefaultFactories(nullptr);
  std::vector<ERawAnalyserClass> missing;
  for (size_t i = 0; i < kRawAnalyserClassCount; ++i)
    if (!factories[i]) missing.push_back(static_cast<ERawAnalyserClass>(i));
  return missing;
}

CRawAnalyserRegistry& CRawAnalyserRegistry::Instance() {
  std::lock_guard<std::mutex> hold(g_instanceLock);
  if (!g_instance)
    g_instance = std::make_unique<CRawAnalyserRegistry>(g_factorySource ? g_factorySource() : ProgramFactories());
  return *g_instance;
}

void CRawAnalyserRegistry::SetFactorySource(std::function<Factories()> source) {
  std::lock_guard<std::mutex> hold(g_instanceLock);
  g_factorySource = std::move(source);
}

void CRawAnalyserRegistry::ForgetInstance() {
  std::lock_guard<std::mutex> hold(g_instanceLock);
  g_instance.reset();
}

CRawAnalyserRegistry::CRawAnalyserRegistry(const Factories& factories) : m_factories(factories) {
  CreateAllAnalysers(m_fallback);
  CreateAllAnalysers(m_full);
  BuildSignatureMap(m_map, {});
}

CRawAnalyserRegistry::~CRawAnalyserRegistry() = default;

std::unique_ptr<IRawFileAnalyser> CRawAnalyserRegistry::Create(ERawAnalyserClass c) const {
  const Factory& factory = m_factories[static_cast<size_t>(c)];
  return std::unique_ptr<IRawFileAnalyser>(factory ? factory() : nullptr);
}

void CRawAnalyserRegistry::CreateAllAnalysers(OwnedList& list) const {
  for (size_t i = 0; i < kRawAnalyserClassCount; ++i) {
    if (!kRawAnalyserClasses[i].inFullList) continue;
    if (auto a = Create(static_cast<ERawAnalyserClass>(i))) list.push_back(std::move(a));
  }
}

void CRawAnalyserRegistry::CreateFallbackAnalysers(OwnedList& list, const std::vector<int>& selected) const {
  if (!selected.empty()) {
    for (int id : selected) CreateFallbackAnalyser(id, list);
    return;
  }
  for (int id = 1; id <= kLastFixedRawFileType; ++id) CreateFallbackAnalyser(id, list);
}

void CRawAnalyserRegistry::CreateFallbackAnalyser(int id, OwnedList& list) const {
  for (const RawKeylessRow& row : kRawKeylessRows) {
    if (row.typeId != id) continue;
    if (auto a = Create(row.analyser)) list.push_back(std::move(a));
  }
}

void CRawAnalyserRegistry::BuildSignatureMap(SignatureMap& map, const std::vector<int>& selected) const {
  for (const RawSignatureRow& row : kRawSignatureRows) {
    if (!IsSelected(selected, RawAnalyserClass(row.analyser).selectedBy)) continue;
    if (auto a = Create(row.analyser)) map.emplace_back(RawSignatureKey(row.bytes), std::move(a));
  }
  std::sort(map.begin(), map.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

CRawAnalyserRegistry::AnalyserList CRawAnalyserRegistry::GetAnalyserList(int which) const {
  const OwnedList& list = which == 0 ? m_fallback : m_full;
  AnalyserList pointers;
  pointers.reserve(list.size());
  for (const auto& a : list) pointers.push_back(a.get());
  return pointers;
}

IRawFileAnalyser* CRawAnalyserRegistry::FindBySignature(uint32_t key) const {
  auto it =
      std::lower_bound(m_map.begin(), m_map.end(), key, [](const auto& entry, uint32_t k) { return entry.first < k; });
  return it != m_map.end() && it->first == key ? it->second.get() : nullptr;
}

IRawFileAnalyser* CRawAnalyserRegistry::FindBySector(const uint8_t* sector) const {
  return sector ? FindBySignature(RawSignatureKey(sector)) : nullptr;
}

void CRawAnalyserRegistry::SelectFallbackTypes(const std::vector<int>& selected) {
  OwnedList fresh;
  CreateFallbackAnalysers(fresh, selected);
  m_fallback = std::move(fresh);
}

void CRawAnalyserRegistry::RebuildSignatureMap(const std::vector<int>& selected) {
  SignatureMap fresh;
  BuildSignatureMap(fresh, selected);
  m_map = std::move(fresh);
}

void RegisterRawAnalyserList() {
  RegisterRawAnalyserListProvider([]() -> std::vector<IRawFileAnalyser*> {
    try {
      return CRawAnalyserRegistry::Instance().GetAnalyserList(1);
    } catch (const std::exception& e) {
      LogError("RAW analysers: the analyser registry could not be built (%s); going on without analysers", e.what());
    } catch (...) {
      LogError("RAW analysers: the analyser registry could not be built; going on without analysers");
    }
    return {};
  });
}
