// File-type evidence from a FILE record: the type its name suggests, where
// its data starts and where the record lies.
#pragma once

#include <cstdint>

class CFileTypeEvidenceEntry;
class CNTFSFileRecord;

// False unless the record is valid, its first $FILE_NAME is resident and its
// name (non-empty) lies wholly inside that attribute's value, its unnamed
// $DATA runs collect (size checked) and map VCN 0. Then the entry is filled
// from the name, the LCN of VCN 0 and `sector`.
bool MakeFileTypeEvidence(const CNTFSFileRecord& record, uint64_t sector, CFileTypeEvidenceEntry& entry);
