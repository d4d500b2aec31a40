// The LDM database of dynamic disks: finds the private header (PRIVHEAD) of
// each disk, reads the VBLK records of its database, links volumes,
// components, partitions and disks, and builds one dynamic volume device per
// volume. It only reads. Every number of the LDM area is big-endian; sizes
// and offsets inside VBLK records count 512-byte units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "FileSystemTypes.h"
#include "IDynamicDevice.h"

// The fields of a PRIVHEAD sector, in host order.
struct LdmPrivHead {
  char magic[9] = {};
  uint16_t versionMajor = 0;
  uint16_t versionMinor = 0;
  char diskId[65] = {};       // GUID text
  char hostId[65] = {};
  char diskGroupId[65] = {};
  char diskGroupName[33] = {};
  uint64_t logicalDiskStart = 0;
  uint64_t logicalDiskSize = 0;
  uint64_t configStart = 0;
  uint64_t configSize = 0;
  uint64_t tocCount = 0;
  uint64_t tocSize = 0;
  uint32_t configCount = 0;
  uint32_t logCount = 0;
  uint64_t configurationSize = 0;
  uint64_t logSize = 0;
  uint32_t diskSignature = 0;
};

struct LdmDiskRecord {
  uint64_t objectId = 0;
  char name[128] = {};
  char diskId[65] = {};  // GUID text (binary identifiers are written out as text)
  char altName[128] = {};
};

struct LdmPartitionRecord {
  uint64_t objectId = 0;
  char name[128] = {};
  uint64_t start = 0;
  uint64_t volumeOffset = 0;
  uint64_t size = 0;
  uint64_t parentId = 0;
  uint64_t diskId = 0;
  uint64_t index = 0;
  LdmPartitionRecord* next = nullptr;  // next partition of the same component
  LdmDiskRecord* disk = nullptr;
  bool linked = false;
};

struct LdmComponentRecord {
  uint64_t objectId = 0;
  char name[128] = {};
  char state[15] = {};
  uint8_t layout = 0;  // 1 striped, 2 concatenated, 3 RAID
  uint64_t childCount = 0;
  uint64_t parentId = 0;
  uint64_t stripeSize = 0;
  uint64_t columnCount = 0;
  LdmComponentRecord* next = nullptr;  // next component of the same volume
  LdmPartitionRecord* partitions = nullptr;
  bool linked = false;
};

struct LdmVolumeRecord {
  uint64_t objectId = 0;
  char name[128] = {};
  char typeText[128] = {};
  uint8_t state[14] = {};
  uint8_t volumeType = 0;  // 3 generic, 4 RAID-5
  uint8_t volumeNumber = 0;
  uint8_t volumeFlags = 0;
  uint64_t childCount = 0;
  uint64_t size = 0;
  uint8_t partitionType = 0;
  uint8_t guid[16] = {};
  char driveHint[20] = {};
  LdmComponentRecord* components = nullptr;
};

// One VBLK record of the database, its pieces joined: the 24 header bytes
// and then `dataLength` bytes of fields.
struct LdmRawRecord {
  std::vector<uint8_t> bytes;
  uint32_t group = 0;
  uint16_t recordCount = 0;
  uint32_t dataLength = 0;
  uint8_t flags = 0;
  uint8_t type = 0;
  bool valid = true;
};

struct LdmRecordLists {
  std::vector<std::unique_ptr<LdmVolumeRecord>> volumes;
  std::vector<std::unique_ptr<LdmComponentRecord>> components;
  std::vector<std::unique_ptr<LdmPartitionRecord>> partitions;
  std::vector<std::unique_ptr<LdmDiskRecord>> disks;
};

// One dynamic volume handed to the volume collection. The entry owns its
// device; the caller's list owns the entries.
struct DynamicVolumeEntry {
  DynamicVolumeEntry() = default;
  DynamicVolumeEntry(const DynamicVolumeEntry&) = delete;
  DynamicVolumeEntry& operator=(const DynamicVolumeEntry&) = delete;
  ~DynamicVolumeEntry() { delete device; }

  uint64_t sectorCount = 0;
  char typeName[40] = {};
  EFileSystemType fileSystem = EFileSystemType::Unknown;
  uint8_t reserved[20] = {};
  char label[100] = {};
  char driveLetter = 0;  // 0: none
  IDynamicDevice* device = nullptr;
};

// What the database takes from the partition-table, file-system and
// drive-letter code; set once by the volume collection. A service left null
// is skipped: file systems stay unknown, labels empty, letters come from the
// drive hint only, and a disk counts as dynamic when it has a PRIVHEAD.
struct LdmVolumeServices {
  bool (*isDynamicDisk)(IStorageDevice* disk) = nullptr;
  EFileSystemType (*mbrTypeToFileSystem)(uint8_t partitionType) = nullptr;
  EFileSystemType (*detectFromBootSector)(const uint8_t* sector, int sectorSize) = nullptr;
  // Total sectors a FAT (FAT types) or NTFS boot sector gives for its volume.
  uint64_t (*bootSectorTotalSectors)(const uint8_t* sector, int sectorSize, EFileSystemType type) = nullptr;
  EFileSystemType (*analyseVolume)(IStorageDevice* volume, EFileSystemType current) = nullptr;
  bool (*volumeLabel)(IStorageDevice* volume, EFileSystemType type, char* out, int size) = nullptr;
  void (*dynamicVolumeTypeName)(EDynamicVolumeType type, char* out) = nullptr;  // out holds 40 bytes
  char (*driveLetterOfVolumeGuid)(const uint8_t guid[16]) = nullptr;
};
void SetLdmVolumeServices(const LdmVolumeServices& services);

// The sort order of extent lists: volume offset, then ordinal.
bool CompareLdmExtents(const LdmExtentRecord& a, const LdmExtentRecord& b);

class CLdmDatabase {
 public:
  CLdmDatabase() = default;
  ~CLdmDatabase();
  CLdmDatabase(const CLdmDatabase&) = delete;
  CLdmDatabase& operator=(const CLdmDatabase&) = delete;

  // Reads the database of every disk and appends one entry per volume not
  // listed yet; answers the size of `out`.
  int CollectDynamicVolumes(const std::vector<IStorageDevice*>& disks, std::vector<DynamicVolumeEntry*>& out);

  bool FindPrivHead(IStorageDevice* disk, LdmPrivHead& out);
  bool ReadPrivHeadAt(IStorageDevice* disk, LdmPrivHead& out, uint64_t sector);
  bool FindGptLdmMetadata(IStorageDevice* disk, LdmPrivHead& out);

  bool ReadDiskDatabase(IStorageDevice* disk, std::vector<DynamicVolumeEntry*>& out);
  // The VBLK records of the database at the PRIVHEAD's configuration start.
  bool ReadDatabase(IStorageDevice* disk, const LdmPrivHead& head, std::vector<LdmRawRecord>& records);
  // Sorts the valid records into the four lists, rescales their units to
  // `sectorSize` and links them.
  void ParseRecords(const std::vector<LdmRawRecord>& records, int sectorSize, LdmRecordLists& lists);
  void LinkRecords(LdmRecordLists& lists);
  void BuildVolumes(LdmRecordLists& lists, int sectorSize, std::vector<DynamicVolumeEntry*>& out);

  // The dump file "LDMDataBase" beside the executable.
  bool OpenDumpFile();
  bool WriteDump(const void* bytes, size_t count);

  // The database is at most this many sectors.
  static constexpr uint64_t kDatabaseSectors = 2048;

 private:
  IDynamicDevice* BuildVolumeDevice(const LdmVolumeRecord& volume, LdmVolumeInfo& info,
                                    std::vector<LdmExtentRecord>& first, std::vector<LdmExtentRecord>& second);
  IDynamicDevice* CreateComponentDevice(const LdmComponentRecord& component, EDynamicVolumeType type,
                                        LdmVolumeInfo& info, std::vector<LdmExtentRecord>& extents,
                                        uint8_t partitionType);
  void BuildVolumeExtents(const LdmVolumeRecord& volume, int sectorSize, std::vector<LdmExtentRecord>& first,
                          std::vector<LdmExtentRecord>& second);
  void BuildExtents(const LdmComponentRecord& component, int sectorSize, std::vector<LdmExtentRecord>& out);
  void DetectFileSystem(EDynamicVolumeType type, LdmVolumeInfo& info, const uint8_t partitionType,
                        const std::vector<LdmExtentRecord>& extents);
  DynamicVolumeEntry* CreateVolumeEntry(IDynamicDevice* device, const LdmVolumeRecord& volume);
  IStorageDevice* FindDiskDevice(const char* diskId);
  const LdmPrivHead* CachedPrivHead(IStorageDevice* disk);
  bool IsDynamic(IStorageDevice* disk);

  IStorageDevice* m_currentDisk = nullptr;
  std::vector<IStorageDevice*> m_disks;
  std::map<IStorageDevice*, std::unique_ptr<LdmPrivHead>> m_privHeads;  // null: none found
  int m_dumpFile = -1;
};
