// The file model's properties of one NTFS file, made from its FILE record
// and extension records.
#pragma once

#include <cstdint>

#include "CNTFSExtendedFileRecord.h"
#include "CNTFSFileProperties.h"
#include "CNTFSRunList.h"

class CNoneResidentNTFSDataRunList;
class CResidentNTFSDataRunList;
class IFileProperties;

// Attribute-word bit the NTFS engine gives sparse files.
constexpr uint16_t kNTFSAttributeSparse = 0x40;

// New properties (one reference) of a valid record: name, parent, times,
// DOS flags, deleted flag, record sector and number, size and data runs.
// Null for an invalid record or one without a usable $FILE_NAME.
// `bytesPerCluster` bounds the size by the clusters of the runs (0: no
// bound). `parent` gets the parent record number unless it is unknown.
CNTFSFileProperties* MakeNTFSFileProperties(uint64_t recordSector, CNTFSExtendedFileRecord& record,
                                            uint64_t bytesPerCluster, int64_t* parent);

// Name (the Win32 one of the first two $FILE_NAMEs when the second is Win32),
// parent, directory bit, the name's times and size. False without a name.
bool ReadFileNameInformation(CNTFSExtendedFileRecord& record, NTFSFileFields& fields, int64_t* parent);
// Times and DOS flags of $STANDARD_INFORMATION when it holds them.
void ReadStandardInformation(CNTFSExtendedFileRecord& record, NTFSFileFields& fields);
// Size, compressed and sparse bits and packed runs of the unnamed $DATA.
bool ReadDataRunsInformation(CNTFSExtendedFileRecord& record, NTFSFileFields& fields, uint64_t bytesPerCluster);

// One {first LCN, length} run per run (sparse runs keep their hole mark);
// null for an empty list. `totalClusters` gets the sum of the lengths.
CNoneResidentNTFSDataRunList* MakeNoneResidentRunList(const CNTFSRunList& runs, uint64_t* totalClusters);
// The single run {record sector, 1} with the byte offset of the value in its
// record; null for a non-resident attribute or a value outside it.
CResidentNTFSDataRunList* MakeResidentRunList(const uint8_t* header, uint64_t recordSector, int attributeOffset,
                                              uint64_t* valueLength);
// A negative size of properties with non-resident runs becomes their
// clusters x sectors per cluster x 512.
void FixSizeFromRunList(IFileProperties* properties, uint8_t sectorsPerCluster);
// At least 1024 bytes and a system file's record.
bool IsSystemFileRecordBuffer(const uint8_t* buffer, int length);
