// Where the recovery controllers find the engines' factories. The engines
// live in libraries above this one (ntfs, fat, ext2, hfsplus, carving), so
// this library cannot name their factories; each engine registers its own
// here, and a controller asks at the moment it needs one.
//
// Registration is explicit: each engine library offers a function (for
// example RegisterNTFSQuickSearch) that calls the Register* routines below,
// and the program's composition root (the free-space wipe run, the vtctl
// tool) calls it before creating a controller. Static registrar objects are
// not used: a linker drops an unreferenced object file of a static library,
// and with it the registrar. Registering again replaces the factory; a null
// factory removes it. The table is guarded by a lock.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "FileSystemTypes.h"

class CFileNode;
class CFoundFileStore;
class CSearchedPartitionInfo;
class ICompleteFileSystemSearchController;
class IDirecotryTreeBuilder;
class IFileProperties;
class IIsClusterUsed;
class IQuickFileSystemSearchController;
class IRawFileAnalyser;
class IStorageDevice;

using QuickSearchFactory = std::function<IQuickFileSystemSearchController*()>;
using CompleteSearchFactory = std::function<ICompleteFileSystemSearchController*()>;
using TreeBuilderFactory = std::function<IDirecotryTreeBuilder*()>;
// Places the carved files of the store in the builder's trees (the RAW
// engine's CRawFileNodeBuilder::AddRawFiles): in the partition's tree when a
// partition is given, else outside any partition; a file that starts in a
// cluster the map reports in use is left out (no map: none is).
using RawFilePlacer = std::function<int(IStorageDevice*, CFoundFileStore*, IDirecotryTreeBuilder*,
                                        CSearchedPartitionInfo* partition, IIsClusterUsed* clusterUse)>;
// Copies the value of a node's unnamed data held inside its own file record
// (NTFS resident data) into `destination`, which holds `capacity` bytes, and
// sets `length` to the value's length: 1. 0 when the node has no such value,
// its record does not load, or the value does not fit. The NTFS engine
// registers it; CFileDataReader reads resident lists through it.
using ResidentDataReader =
    std::function<int(CFileNode* node, IStorageDevice* device, uint64_t& length, void* destination, uint64_t capacity)>;

// Quick searches by volume type (FAT12, FAT16 and FAT32 are separate keys).
void RegisterQuickSearch(EFileSystemType type, QuickSearchFactory factory);
bool HasQuickSearch(EFileSystemType type);
// A new quick search for the type, or null when none is registered.
IQuickFileSystemSearchController* CreateQuickSearch(EFileSystemType type);

void RegisterCompleteSearch(ECompleteSearchKind kind, CompleteSearchFactory factory);
ICompleteFileSystemSearchController* CreateCompleteSearch(ECompleteSearchKind kind);

void RegisterDirectoryTreeBuilder(TreeBuilderFactory factory);
// A new builder, or null when none is registered.
IDirecotryTreeBuilder* CreateDirectoryTreeBuilder();

void RegisterRawFilePlacer(RawFilePlacer placer);
// 0 when no placer is registered.
int PlaceRawFiles(IStorageDevice* device, CFoundFileStore* store, IDirecotryTreeBuilder* builder,
                  CSearchedPartitionInfo* partition, IIsClusterUsed* clusterUse);

void RegisterResidentDataReader(ResidentDataReader reader);
// 0 (length 0) when no reader is registered.
int ReadResidentData(CFileNode* node, IStorageDevice* device, uint64_t& length, void* destination, uint64_t capacity);
// Folder properties of an engine whose file-properties member lives in its
// own library (exFAT, HFS+): a new object named `name` with the folder
// attribute, or null. The file model's own members (FAT, NTFS, Ext2, RAW)
// need no registration (CreateFolderProperties, CFileSystemNode.h).
using FolderPropertiesFactory = std::function<IFileProperties*(const char* name)>;
void RegisterFolderProperties(EFileSystemType type, FolderPropertiesFactory factory);
// Null when none is registered for the type.
IFileProperties* CreateRegisteredFolderProperties(EFileSystemType type, const char* name);

// The RAW analysers' full list (the carving library's analyser registry,
// built on first use), for engines that offer a cluster's first sector to
// every analyser. The analysers stay the registry's. The carving library
// registers it (RegisterRawAnalyserList).
using RawAnalyserListProvider = std::function<std::vector<IRawFileAnalyser*>()>;
void RegisterRawAnalyserListProvider(RawAnalyserListProvider provider);
// An empty list when no provider is registered.
std::vector<IRawFileAnalyser*> GetRawAnalyserFullList();

// Removes every registration (tests).
void ClearScanEngineRegistry();
