// File-system kinds as the partition tables and boot sectors tell them, the
// display names of file-system and dynamic-volume types, labels by type, and
// the services the LDM database takes from all of these.
#pragma once

#include <cstdint>

#include "CLdmDatabase.h"
#include "FileSystemTypes.h"
#include "IDynamicDevice.h"

class IStorageDevice;

// The type the registered analysers' boot-sector readers find in the sector
// (FAT16 or FAT32, never FAT12, or NTFS), else Unknown. `sectorSize` is the
// size of the buffer and of the device's sectors.
EFileSystemType DetectFileSystemFromBootSector(const uint8_t* sector, int sectorSize);
// The file system an MBR partition type byte stands for.
EFileSystemType MbrTypeToFileSystem(uint8_t type);
// "FAT12", "FAT16", "FAT32", "NTFS", "EXT2", "EXT3", else "UNKNOWN". `out`
// holds at least 8 bytes.
void GetFileSystemTypeName(EFileSystemType type, char* out);
// "SIMPLE", "MIRROR", "SPANNED", "STRIPPED", "RAID5", else "UNKNOWN".
void GetDynamicVolumeTypeName(EDynamicVolumeType type, char* out);
// The total sectors a FAT (FAT types) or NTFS (any other type) boot sector
// gives for its volume; 0 when the sector is not one or no analyser reads it.
uint64_t GetBootSectorTotalSectors(const uint8_t* sector, int sectorSize, EFileSystemType type);

// The label of the FAT16/FAT32 (FAT types) or NTFS volume at sector 0 of
// `device`, read by the registered analyser of its kind; false for any other
// type. `out` holds `size` bytes and is left terminated.
bool GetVolumeLabelByType(IStorageDevice* device, EFileSystemType type, char* out, int size);

// The first analyser that recognises the volume at sector 0 of `device`
// gives its type; `current` when none does.
EFileSystemType AnalyseVolumeType(IStorageDevice* device, EFileSystemType current);

// The LDM database's services filled from the routines above (the drive
// letter of a volume GUID is left to the volume collection).
LdmVolumeServices MakeLdmVolumeServices();
// SetLdmVolumeServices with the services above and the volume collection's
// drive-letter lookup (null: letters come from the drive hints only).
void InstallLdmVolumeServices(char (*driveLetterOfVolumeGuid)(const uint8_t guid[16]) = nullptr);
