// Readers of the header fields of one attribute inside a FILE record.
//
// Every reader takes a pointer to an attribute header as handed out by the
// record walks (FindAttributeInRecord and kin): those guarantee that the
// attribute's whole length (the u32 at offset 4, at least 16) lies inside the
// record buffer. Readers never read past that length; a field that would lie
// beyond it reads as 0 (or false, or null).
#pragma once

#include <cstdint>

class CNTFSFileRecordAttribute {
 public:
  static constexpr uint32_t kStandardInformation = 0x10;
  static constexpr uint32_t kAttributeList = 0x20;
  static constexpr uint32_t kFileName = 0x30;
  static constexpr uint32_t kVolumeName = 0x60;
  static constexpr uint32_t kData = 0x80;
  static constexpr uint32_t kIndexAllocation = 0xA0;
  static constexpr uint32_t kEnd = 0xFFFFFFFF;

  static constexpr uint16_t kFlagCompressed = 0x0001;
  static constexpr uint16_t kFlagSparse = 0x4000;

  // Smallest header of a resident and of a non-resident attribute.
  static constexpr uint32_t kResidentHeaderSize = 24;
  static constexpr uint32_t kNonResidentHeaderSize = 64;

  // DOS attribute flags of $STANDARD_INFORMATION.
  static constexpr uint32_t kDosReadOnly = 0x1;
  static constexpr uint32_t kDosHidden = 0x2;
  static constexpr uint32_t kDosSystem = 0x4;
  static constexpr uint32_t kDosArchive = 0x20;
  static constexpr uint32_t kDosReparsePoint = 0x400;

  static uint32_t GetType(const uint8_t* header);
  static uint32_t GetLength(const uint8_t* header);
  static bool IsResident(const uint8_t* header);
  static bool HasName(const uint8_t* header);
  static uint16_t GetFlags(const uint8_t* header);
  static bool IsCompressed(const uint8_t* header) { return GetFlags(header) & kFlagCompressed; }
  static bool IsSparse(const uint8_t* header) { return GetFlags(header) & kFlagSparse; }

  // Resident attributes (0 for a non-resident one).
  static uint16_t GetValueOffset(const uint8_t* header);
  static uint32_t GetValueLength(const uint8_t* header);
  // The resident value lies inside the attribute.
  static bool IsValueInside(const uint8_t* header);
  static const uint8_t* GetValue(const uint8_t* header);

  // Non-resident attributes (0 for a resident one).
  static uint64_t GetAllocatedSize(const uint8_t* header);
  static uint64_t GetDataSize(const uint8_t* header);
  static uint64_t GetInitializedSize(const uint8_t* header);

  // DOS flags of a $STANDARD_INFORMATION value (0 when it is too short).
  static uint32_t GetStandardInformationFlags(const uint8_t* header);

  // The attribute fits in `bytesLeft`, its header, name and resident value
  // lie inside it, and the mapping pairs of a $DATA are valid.
  static bool IsValidAttributeHeader(const uint8_t* header, int64_t bytesLeft);

 protected:
  // The `width` bytes at `offset` lie inside the attribute.
  static bool HasField(const uint8_t* header, uint32_t offset, uint32_t width);
  static uint16_t ReadU16At(const uint8_t* header, uint32_t offset);
  static uint32_t ReadU32At(const uint8_t* header, uint32_t offset);
  static uint64_t ReadU64At(const uint8_t* header, uint32_t offset);
};
