// The found-file store of a complete recovery: the carved files, in
// insertion order and by start sector (4096 buckets keyed by
// (start sector >> 16) mod 4096, each an ordered map). The store owns the
// records and deletes them when it is destroyed.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <map>
#include <memory>

#include "CRawFileInfo.h"
#include "IIterator.h"

class CFoundFileStore {
 public:
  static constexpr size_t kBucketCount = 4096;

  CFoundFileStore();
  ~CFoundFileStore();
  CFoundFileStore(const CFoundFileStore&) = delete;
  CFoundFileStore& operator=(const CFoundFileStore&) = delete;

  // Takes the record over. Null, or the very record already held at its
  // start sector, is refused (false). A second record at a start sector already held stays in the
  // list but the lookup keeps answering the first.
  bool AddFile(CRawFileInfo* file);
  // The (first) record that starts at `startSector`, or null.
  CRawFileInfo* FindFile(uint64_t startSector) const;
  uint64_t GetFileCount() const { return m_files.size(); }
  // An iterator over the records in insertion order; it belongs to the store.
  IIterator<CRawFileInfo*>* GetIterator() { return &m_iterator; }

  static size_t BucketOf(uint64_t startSector) { return (startSector >> 16) % kBucketCount; }

 private:
  std::array<std::map<uint64_t, CRawFileInfo*>, kBucketCount> m_buckets;
  std::list<CRawFileInfo*> m_files;
  ListIterator<CRawFileInfo*> m_iterator;
};
