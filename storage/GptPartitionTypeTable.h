// The GPT partition types this program knows by name, and the GUID text form
// used to look them up.
#pragma once

#include <cstdint>

struct GptPartitionTypeRow {
  uint16_t row;     // 1 to 52
  char name[100];
  char guid[50];    // 36 characters, upper-case hexadecimal
};

constexpr int kGptPartitionTypeRows = 52;
extern const GptPartitionTypeRow GptPartitionTypeTable[kGptPartitionTypeRows];

// "%08X-%04X-%04X-" of the little-endian first three fields, then the last
// eight bytes as "%02X" with a hyphen after the second.
void FormatGuidString(const uint8_t guid[16], char out[37]);
// The first row whose GUID equals `guid`; null when none does.
const GptPartitionTypeRow* FindGptPartitionTypeRow(const uint8_t guid[16]);
// True when the type is listed and is not row 1 ("MBR partition scheme").
bool FindGptPartitionType(const uint8_t guid[16]);
// The two types of a dynamic (LDM) disk: its metadata and its data partitions.
bool IsLdmGptPartitionType(const uint8_t guid[16]);
