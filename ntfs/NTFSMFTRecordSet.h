// What the complete search keeps per candidate $MFT: the $MFT record found,
// the FILE records found that belong to it, and the root of their tree.
#pragma once

#include <list>
#include <memory>

#include "CCommonFileRecordInfo.h"

class CFileNode;
class CNTFSMFTRecordInfo;

class NTFSMFTRecordSet {
 public:
  // Creates the root node through the file model's node factory.
  explicit NTFSMFTRecordSet(CNTFSMFTRecordInfo* mftRecord);
  NTFSMFTRecordSet(const NTFSMFTRecordSet&) = delete;
  NTFSMFTRecordSet& operator=(const NTFSMFTRecordSet&) = delete;
  // Deletes the records and the root node.
  ~NTFSMFTRecordSet();

  CNTFSMFTRecordInfo* GetMFTRecord() const { return m_mftRecord; }
  std::list<std::unique_ptr<CCommonFileRecordInfo>>& GetRecords() { return m_records; }
  CFileNode* GetRoot() const { return m_root; }

 private:
  CNTFSMFTRecordInfo* m_mftRecord;  // not owned
  std::list<std::unique_ptr<CCommonFileRecordInfo>> m_records;
  CFileNode* m_root;
};
