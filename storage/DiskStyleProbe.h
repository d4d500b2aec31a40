// Whether a disk is a dynamic (LDM) disk, and the LDM private-header helpers.
#pragma once

#include <cstddef>
#include <cstdint>

class IStorageDevice;

// 1 when the MBR chain holds a 0x42 entry, or the GPT's first four entries
// hold both "LDM metadata partition" and "LDM data partition"; else 0.
uint8_t ProbeDiskStyle(IStorageDevice* device, uint64_t sectorCount, int sectorSize);

// The eight bytes "PRIVHEAD" at the start of `sector` (`size` bytes).
bool IsPrivHead(const uint8_t* sector, size_t size);
// Reverses a run of bytes in place.
void ReverseBytes(uint8_t* bytes, size_t count);
// Turns the big-endian fields of a private header into host order in place
// (`size` must cover byte 363).
void SwapPrivHeadFields(uint8_t* sector, size_t size);
// IsPrivHead, then SwapPrivHeadFields.
bool ParsePrivHead(uint8_t* sector, size_t size);
