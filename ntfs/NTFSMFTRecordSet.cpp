#include "NTFSMFTRecordSet.h"

#include "CFileNode.h"

NTFSMFTRecordSet::NTFSMFTRecordSet(CNTFSMFTRecordInfo* mftRecord) : m_mftRecord(mftRecord), m_root(CreateFileNode()) {}

NTFSMFTRecordSet::~NTFSMFTRecordSet() {
  m_records.clear();
  DeleteFileNode(m_root);
}
