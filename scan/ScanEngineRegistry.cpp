#include "ScanEngineRegistry.h"

#include <map>
#include <mutex>

namespace {

struct Registry {
  std::mutex lock;
  std::map<EFileSystemType, QuickSearchFactory> quick;
  std::map<ECompleteSearchKind, CompleteSearchFactory> complete;
  TreeBuilderFactory builder;
  RawFilePlacer placer;
  ResidentDataReader resident;
  RawAnalyserListProvider analysers;
  std::map<EFileSystemType, FolderPropertiesFactory> folders;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

template <class Map, class Key, class Value>
void Put(Map& map, Key key, Value value) {
  std::lock_guard<std::mutex> hold(TheRegistry().lock);
  if (value)
    map[key] = std::move(value);
  else
    map.erase(key);
}

template <class Map, class Key>
typename Map::mapped_type Get(Map& map, Key key) {
  std::lock_guard<std::mutex> hold(TheRegistry().lock);
  auto it = map.find(key);
  return it == map.end() ? typename Map::mapped_type() : it->second;
}

template <class Slot>
Slot GetSlot(Slot& slot) {
  std::lock_guard<std::mutex> hold(TheRegistry().lock);
  return slot;
}

template <class Slot>
void SetSlot(Slot& slot, Slot value) {
  std::lock_guard<std::mutex> hold(TheRegistry().lock);
  slot = std::move(value);
}

}  // namespace

void RegisterQuickSearch(EFileSystemType type, QuickSearchFactory factory) {
  Put(TheRegistry().quick, type, std::move(factory));
}
bool HasQuickSearch(EFileSystemType type) {
  return static_cast<bool>(Get(TheRegistry().quick, type));
}
IQuickFileSystemSearchController* CreateQuickSearch(EFileSystemType type) {
  QuickSearchFactory f = Get(TheRegistry().quick, type);
  return f ? f() : nullptr;
}

void RegisterCompleteSearch(ECompleteSearchKind kind, CompleteSearchFactory factory) {
  Put(TheRegistry().complete, kind, std::move(factory));
}
ICompleteFileSystemSearchController* CreateCompleteSearch(ECompleteSearchKind kind) {
  CompleteSearchFactory f = Get(TheRegistry().complete, kind);
  return f ? f() : nullptr;
}

void RegisterDirectoryTreeBuilder(TreeBuilderFactory factory) {
  SetSlot(TheRegistry().builder, std::move(factory));
}
IDirecotryTreeBuilder* CreateDirectoryTreeBuilder() {
  TreeBuilderFactory f = GetSlot(TheRegistry().builder);
  return f ? f() : nullptr;
}

void RegisterRawFilePlacer(RawFilePlacer placer) {
  SetSlot(TheRegistry().placer, std::move(placer));
}
int PlaceRawFiles(IStorageDevice* device, CFoundFileStore* store, IDirecotryTreeBuilder* builder,
                  CSearchedPartitionInfo* partition, IIsClusterUsed* clusterUse) {
  RawFilePlacer f = GetSlot(TheRegistry().placer);
  return f ? f(device, store, builder, partition, clusterUse) : 0;
}

void RegisterResidentDataReader(ResidentDataReader reader) {
  SetSlot(TheRegistry().resident, std::move(reader));
}
int ReadResidentData(CFileNode* node, IStorageDevice* device, uint64_t& length, void* destination, uint64_t capacity) {
  length = 0;
  ResidentDataReader f = GetSlot(TheRegistry().resident);
  return f ? f(node, device, length, destination, capacity) : 0;
}

void RegisterRawAnalyserListProvider(RawAnalyserListProvider provider) {
  SetSlot(TheRegistry().analysers, std::move(provider));
}
std::vector<IRawFileAnalyser*> GetRawAnalyserFullList() {
  RawAnalyserListProvider f = GetSlot(TheRegistry().analysers);
  return f ? f() : std::vector<IRawFileAnalyser*>();
}

void RegisterFolderProperties(EFileSystemType type, FolderPropertiesFactory factory) {
  Put(TheRegistry().folders, type, std::move(factory));
}
IFileProperties* CreateRegisteredFolderProperties(EFileSystemType type, const char* name) {
  FolderPropertiesFactory f = Get(TheRegistry().folders, type);
  return f ? f(name) : nullptr;
}

void ClearScanEngineRegistry() {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> hold(r.lock);
  r.quick.clear();
  r.complete.clear();
  r.builder = nullptr;
  r.placer = nullptr;
  r.resident = nullptr;
  r.analysers = nullptr;
  r.folders.clear();
}
