// Data an NTFS file keeps inside its own FILE record: the record is read at
// its own size, the unnamed $DATA taken, and its value copied within the
// attribute and the record. RegisterNTFSResidentReader offers this road to
// CFileDataReader (ScanEngineRegistry.h).
#pragma once

#include <cstdint>
#include <memory>

class CFileNode;
class CNTFSExtendedFileRecord;
class IStorageDevice;

namespace ntfs_resident {

// The record of a file node with NTFS properties, with the extension records
// its properties keep; null for a file-system node, a folder, other
// properties, a record outside the device, a failed read or an invalid
// record.
std::unique_ptr<CNTFSExtendedFileRecord> LoadNodeRecord(CFileNode* node, IStorageDevice* device);
// The first attribute of `type` without a name; null when there is none.
const uint8_t* FindUnnamedAttribute(CNTFSExtendedFileRecord& record, uint32_t type);
// Copies a resident value that lies inside its attribute: 1 and its length;
// 0 for a non-resident attribute, a value outside it, or too little room.
int CopyResidentValue(const uint8_t* attribute, void* destination, uint64_t capacity, uint64_t& length);
// The value of the node's resident unnamed $DATA (1), or 0.
int ReadResidentData(CFileNode* node, IStorageDevice* device, uint64_t& length, void* destination, uint64_t capacity);

}  // namespace ntfs_resident

// Registers ntfs_resident::ReadResidentData as the reader of resident data.
void RegisterNTFSResidentReader();
