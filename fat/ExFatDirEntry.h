// Checks of exFAT directory entries, the entry-set checksum, the volume
// label search and timestamp conversion. Every exFAT reader checks each
// 32-byte entry with these before it trusts it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct ExFatGeometry {
  uint32_t sectorShift = 9;   // FloorLog2(bytes per sector)
  uint32_t clusterShift = 12;  // FloorLog2(bytes per cluster)
  uint64_t volumeLength = 0;  // in sectors
};

bool IsValidExFatTimestamp(uint32_t timestamp);
bool IsValidExFatFileEntry(const uint8_t* entry);
bool IsValidExFatStreamEntry(const uint8_t* entry, const ExFatGeometry& geometry);
bool IsValidExFatFileNameEntry(const uint8_t* entry);
bool IsValidExFatVolumeLabelEntry(const uint8_t* entry);
bool IsValidExFatBitmapEntry(const uint8_t* entry, const ExFatGeometry& geometry);
bool IsValidExFatUpcaseEntry(const uint8_t* entry, const ExFatGeometry& geometry);
// True when `stored` matches the set's checksum (or, for a deleted set, the
// checksum it had while in use).
bool ExFatEntrySetChecksum(const uint8_t* set, size_t length, uint16_t stored);

enum class ExFatWalkEnd { AllRead, EndOfDirectory, InvalidEntry };
// Walks `byteCount / 32` entries looking for the volume label; a valid label
// in use is copied to `label` (11 units and a terminating 0). True when the
// walk stopped before the last entry; `how` says why.
bool FindExFatVolumeLabel(const uint8_t* entries, size_t byteCount, char16_t label[12], const ExFatGeometry& geometry,
                          ExFatWalkEnd* how = nullptr);

// 100-nanosecond intervals since 1 January 1601 (UTC, as the DOS time is
// taken), or 0 when the timestamp is not a valid date.
uint64_t ExFatDosTimeToFileTime(uint32_t timestamp);

// 1 where a character code below 256 may stand in a name or label.
extern const std::array<uint8_t, 256> ExFatNameCharTable;
