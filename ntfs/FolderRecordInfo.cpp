#include "FolderRecordInfo.h"

#include "ByteOrder.h"
#include "CNTFSFileRecord.h"
#include "CNTFSFileRecordDataRunsAttribute.h"
#include "NTFSIndexRecord.h"
#include "NTFSRecordHeader.h"

namespace {
constexpr uint32_t kIndexRoot = 0x90;
constexpr int64_t kRootFolder = 5;

// Bytes of the record from `attribute` to the record's end.
int64_t BytesLeft(const CNTFSFileRecord& record, const uint8_t* attribute) {
  return record.GetLength() - (attribute - record.GetRecord());
}
}  // namespace

bool FolderRecordInfo::SetFromRecord(const uint8_t* buffer, int length, uint64_t sector) {
  CNTFSFileRecord record(buffer, length, false);
  if (!record.IsValid() || record.IsExtensionRecord()) return false;
  int64_t directory = -1;
  if (const uint8_t* root = record.FindAttribute(kIndexRoot, 0))
    directory = GetIndexRootParentReference(root, BytesLeft(record, root));
  const uint8_t* allocation = record.FindAttribute(CNTFSFileRecordAttribute::kIndexAllocation, 0);
  if (!allocation || CNTFSFileRecordAttribute::GetLength(allocation) == 0) return false;
  CNTFSRunList runs;
  if (!CNTFSFileRecordDataRunsAttribute::DecodeRuns(allocation, static_cast<int>(BytesLeft(record, allocation)), runs))
    return false;
  const uint8_t spc = CNTFSFileRecordDataRunsAttribute::InferSectorsPerCluster(allocation);
  if (spc == 0) return false;
  const uint8_t* r = record.GetRecord();
  m_runs.Clear();
  runs.CopyTo(m_runs);
  m_sectorsPerCluster = spc;
  m_sector = sector;
  m_lsn = record.GetLogSequenceNumber();
  m_hasHeaderNumber = 0;
  m_headerNumber = 0;
  if (ReadLE16(r + ntfs_record::kUsaOffsetOffset) >= ntfs_record::kUsaOffsetWithRecordNumber &&
      ReadLE16(r + ntfs_record::kRecordNumberMarkerOffset) == 0) {
    m_headerNumber = record.GetRecordNumber();
    m_hasHeaderNumber = 1;
    if (directory == -1) directory = m_headerNumber;
  }
  m_directory = directory;
  return directory != -1 && directory != kRootFolder;
}
