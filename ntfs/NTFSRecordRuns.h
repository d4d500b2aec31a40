// The cluster runs of a record's unnamed $DATA, and the cluster size they
// suggest.
#pragma once

#include <cstdint>

#include "CNTFSFileRecord.h"
#include "CNTFSRunList.h"

// Appends the runs of one unnamed non-resident attribute, moved to its first
// VCN, and hands out that VCN and its data size. Refuses (false, nothing
// written) a named, resident or malformed attribute.
bool AppendAttributeRuns(const uint8_t* header, uint64_t* dataSize, uint64_t* firstVCN, CNTFSRunList& list);
// Appends the runs of every unnamed $DATA of the record. False for a resident
// unnamed $DATA, malformed mapping pairs, and (with `check`) pairs whose
// length differs from the attribute's VCN range. `dataSize` (may be null)
// gets the data size of the extent that starts at VCN 0.
bool CollectDataRuns(const CNTFSFileRecord& record, CNTFSRunList& list, bool check, uint64_t* dataSize);
bool CollectDataRunsFromBuffer(const uint8_t* buffer, int length, CNTFSRunList& list, bool check, uint64_t* dataSize);

// Sectors per cluster inferred from the record's $DATA; false (and 0) when
// the runs cannot be collected or nothing fits.
bool InferRecordSectorsPerCluster(const CNTFSFileRecord& record, uint8_t& sectorsPerCluster);
bool InferRecordSectorsPerCluster(const uint8_t* buffer, uint8_t& sectorsPerCluster, int length = kNTFSMinRecordLength);
// Rounded-up bytes per cluster in sectors of the engine's sector size.
uint8_t InferSectorsPerCluster(uint64_t dataSize, int clusterCount);
// 1, 2, 4, ... 128 for the smallest factor not below `sectors`; 0 beyond.
int RoundUpToClusterFactor(int sectors);

// The sector size the inference divides by (512 until a search sets it).
void SetNTFSEngineSectorSize(int bytes);
int GetNTFSEngineSectorSize();
