// Dynamic volumes: a volume of an LDM disk group spread over extents of one
// or more member disks, readable as one IStorageDevice. The LDM database
// (CLdmDatabase) builds them through the factories below; they only read.
#pragma once

#include <cstdint>
#include <vector>

#include "FileSystemTypes.h"
#include "IStorageDevice.h"

enum class EDynamicVolumeType : int32_t {
  Simple = 2,
  Mirror = 3,
  Spanned = 4,
  Striped = 5,
  Raid5 = 6,
};

// One extent of a dynamic volume on a member disk.
struct LdmExtentRecord {
  uint32_t ordinal = 0;          // the partition's index (column)
  char diskId[65] = {};          // member-disk identifier (GUID text)
  uint64_t startSector = 0;      // on the member disk
  uint64_t volumeOffset = 0;     // sectors into the volume (into the column for striped and RAID-5)
  uint64_t sectorCount = 0;
  IStorageDevice* device = nullptr;  // null when the member disk is absent
};

struct LdmVolumeInfo {
  char diskGroupName[32] = {};
  char volumeName[128] = {};
  uint32_t fileSystemType = 0;  // starts as the LDM partition type byte
  uint64_t size = 0;            // sectors
};

class IDynamicDevice : public IStorageDevice {
 public:
  IDynamicDevice(EDynamicVolumeType type, const LdmVolumeInfo& info) : m_info(info), m_volumeType(type) {}

  uint64_t GetSectorCount() override { return m_info.size; }
  int Open() override { return 1; }
  int Close() override { return 1; }

  // Same kind and every own extent has an equal extent in the other volume.
  virtual bool IsSameVolume(IDynamicDevice* other);
  virtual EDynamicVolumeType GetVolumeType() { return m_volumeType; }
  virtual EFileSystemType GetPartitionType() { return static_cast<EFileSystemType>(m_info.fileSystemType); }
  // Appends the device's extent pointers (they stay the device's).
  virtual void CopyExtents(std::vector<LdmExtentRecord*>& out) = 0;
  // The drive letter the system gave this disk group's volume; 0 for none.
  virtual char GetDriveLetter();

  const LdmVolumeInfo& GetVolumeInfo() const { return m_info; }

  // Resolves the letter of a device-mapper volume (disk group, volume name);
  // set once by the volume collection. Without one, volumes have no letter.
  using DmVolumeLetterFn = char (*)(const char* diskGroupName, const char* volumeName);
  static void SetDmVolumeLetterResolver(DmVolumeLetterFn fn);

 protected:
  // The read rule every dynamic volume shares: zero-fills the whole buffer,
  // refuses a start or count beyond the volume, and cuts a request that
  // passes the volume's end (the sectors beyond stay zero). False when the
  // read is refused; otherwise `count` holds the sectors to read.
  bool PrepareRead(void* buffer, uint64_t first, uint64_t& count);

  LdmVolumeInfo m_info;
  EDynamicVolumeType m_volumeType;
};

// Equal extents: same sector count, start, volume offset, member device and
// member-disk identifier; the ordinal is not compared.
bool LdmExtentsEqual(const LdmExtentRecord& a, const LdmExtentRecord& b);
// Every extent of `own` has an equal extent in `other`.
bool ExtentListsMatch(const std::vector<LdmExtentRecord*>& own, const std::vector<LdmExtentRecord*>& other);

// Factories: null when the extents cannot make such a volume.
IDynamicDevice* CreateSimpleVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                         const std::vector<LdmExtentRecord*>& extents);
IDynamicDevice* CreateSpannedVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                          const std::vector<LdmExtentRecord*>& extents);
IDynamicDevice* CreateStripedVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                          const std::vector<LdmExtentRecord*>& extents);
IDynamicDevice* CreateRaid5VolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info,
                                        const std::vector<LdmExtentRecord*>& extents);
// Takes the existing halves (null for a missing one); null when both are.
IDynamicDevice* CreateMirrorVolumeDevice(EDynamicVolumeType type, const LdmVolumeInfo& info, IDynamicDevice* first,
                                         IDynamicDevice* second);
