// File-system kinds as the partition tables and boot sectors tell them, the
// display names of file-system and dynamic-volume types, labels by type, and
// the services the LDM database takes from all of these.
#pragma once

#include <cstdint>

#include "CLdmDatabase.h"
#include "FileSystemTypes.h"
#include "IDynamicDevice.h"

class IStorageDevice;

// FAT16 or FAT32 by the FAT boot-sector reader, else NTFS when the sector is
// a valid NTFS boot sector, else Unknown (never FAT12). `sectorSize` is the
// size of the buffer and of the device's sectors.
EFileSystemType DetectFileSystemFromBootSector(const uint8_t* sector, int sectorSize);
// The file system an MBR partition type byte stands for.
EFileSystemType MbrTypeToFileSystem(uint8_t type);
// "FAT12", "FAT16", "FAT32", "NTFS", "EXT2", "EXT3", else "UNKNOWN". `out`
// holds at least 8 bytes.
void GetFileSystemTypeName(EFileSystemType type, char* out);
// "SIMPLE", "MIRROR", "SPANNED", "STRIPPED", "RAID5", else "UNKNOWN".
void GetDynamicVolumeTypeName(EDynamicVolumeType type, char* out);
// The total sectors a FAT (FAT types) or NTFS boot sector gives for its
// volume; 0 when the sector is not one.
uint64_t GetBootSectorTotalSectors(const uint8_t* sector, int sectorSize, EFileSystemType type);

// FAT types: ReadFatVolumeLabel; NTFS: ReadNtfsVolumeLabel; else false.
// `out` holds `size` bytes and is left terminated.
bool GetVolumeLabelByType(IStorageDevice* device, EFileSystemType type, char* out, int size);
// The label of a FAT16/FAT32 volume at sector 0 of `device`; `out` holds 100 bytes.
bool ReadFatVolumeLabel(IStorageDevice* device, char* out);
// The $Volume name of an NTFS volume at sector 0 of `device`; `out` holds 100 bytes.
bool ReadNtfsVolumeLabel(IStorageDevice* device, char* out);

// The first analyser that recognises the volume at sector 0 of `device`
// gives its type; `current` when none does.
EFileSystemType AnalyseVolumeType(IStorageDevice* device, EFileSystemType current);

// The LDM database's services filled from the routines above (the drive
// letter of a volume GUID is left to the volume collection).
LdmVolumeServices MakeLdmVolumeServices();
// SetLdmVolumeServices with the services above and the volume collection's
// drive-letter lookup (null: letters come from the drive hints only).
void InstallLdmVolumeServices(char (*driveLetterOfVolumeGuid)(const uint8_t guid[16]) = nullptr);
