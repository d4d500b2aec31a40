// Where storage finds the volume analysers. The analysers read with the
// file-system engines' parsers, and the engines live in libraries above this
// one, so storage cannot name them: the composition roots (the program's
// main, vtctl) register them at start-up with RegisterVolumeAnalysers
// (analysers/VolumeAnalysers.h), as the engines' quick searches are
// registered in scan/ScanEngineRegistry.h. Until then no volume is
// recognised. Registering a kind again replaces it; an empty analyser
// removes it. The table is guarded by a lock.
#pragma once

#include <cstdint>

#include "FileSystemTypes.h"

class IStorageDevice;
class IVolume;

// One analyser per file-system family (FAT12, FAT16 and FAT32 are one, as
// are Ext2 and Ext3).
enum class EVolumeAnalyserKind : int { NTFS, FAT, exFAT, HFSPlus, Ext2 };

// Every kind, in the order the analysers look at a start: the first that
// recognises a file system decides.
inline constexpr EVolumeAnalyserKind kVolumeAnalyserOrder[] = {EVolumeAnalyserKind::NTFS, EVolumeAnalyserKind::FAT,
                                                               EVolumeAnalyserKind::exFAT, EVolumeAnalyserKind::HFSPlus,
                                                               EVolumeAnalyserKind::Ext2};

struct VolumeAnalyser {
  // The analyser of the file system at `start` (in the device's sectors):
  // null, or a volume of type Unknown, when the kind is not there. The caller
  // deletes it.
  IVolume* (*analyse)(IStorageDevice* device, uint64_t start) = nullptr;
  // FAT and NTFS only, whose boot sector alone tells them apart (the LDM
  // database reads no more of a dynamic volume):
  // the type the sector holds, Unknown when it is not one of this kind;
  EFileSystemType (*bootSectorType)(const uint8_t* sector, int sectorSize) = nullptr;
  // the total sectors the sector gives for its volume, 0 when it is not one;
  uint64_t (*bootSectorTotalSectors)(const uint8_t* sector, int sectorSize) = nullptr;
  // the label of a volume of this kind at sector 0 of `device` into `out`
  // (100 bytes, left terminated); false when none was read.
  bool (*label)(IStorageDevice* device, char* out) = nullptr;
};

void RegisterVolumeAnalyser(EVolumeAnalyserKind kind, const VolumeAnalyser& analyser);
// The kind's registration; every member null when there is none.
VolumeAnalyser GetVolumeAnalyser(EVolumeAnalyserKind kind);
// Removes every registration (tests).
void ClearVolumeAnalysers();
