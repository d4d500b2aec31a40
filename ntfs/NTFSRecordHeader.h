// Byte offsets and flags of the FILE record header, named once for every
// reader and for the MFT wiper's free-slot test.
#pragma once

#include <cstdint>

namespace ntfs_record {

constexpr uint32_t kFileMagic = 0x454C4946;  // "FILE"
constexpr int kUsaOffsetOffset = 4;
constexpr int kUsaCountOffset = 6;
constexpr int kLsnOffset = 8;
constexpr int kSequenceNumberOffset = 16;
constexpr int kFirstAttributeOffset = 20;
constexpr int kFlagsOffset = 22;
constexpr int kBytesInUseOffset = 24;
constexpr int kBytesAllocatedOffset = 28;
constexpr int kBaseReferenceOffset = 32;
constexpr int kRecordNumberMarkerOffset = 42;
constexpr int kRecordNumberOffset = 44;
// Records from before XP keep the update sequence at 42 and have no number
// field; from XP on it starts at 48 or later, past the number.
constexpr uint16_t kUsaOffsetWithRecordNumber = 48;
// Where the older header's fields end (and its update sequence starts).
constexpr uint16_t kOlderHeaderLength = 42;
// The update sequence protects the record in strides of this many bytes,
// whatever the volume's sector size.
constexpr uint32_t kUpdateSequenceStride = 512;
constexpr uint16_t kInUseFlag = 0x0001;
constexpr uint16_t kDirectoryFlag = 0x0002;

}  // namespace ntfs_record
