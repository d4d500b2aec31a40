#include "CFoundFileStore.h"

CFoundFileStore::CFoundFileStore() : m_iterator(&m_files) {}

CFoundFileStore::~CFoundFileStore() {
  for (CRawFileInfo* file : m_files) delete file;
}

bool CFoundFileStore::AddFile(CRawFileInfo* file) {
  if (!file) return false;
  auto& bucket = m_buckets[BucketOf(file->GetStartSector())];
  auto it = bucket.find(file->GetStartSector());
  if (it != bucket.end() && it->second == file) return false;
  bucket.emplace(file->GetStartSector(), file);
  m_files.push_back(file);
  return true;
}

CRawFileInfo* CFoundFileStore::FindFile(uint64_t startSector) const {
  const auto& bucket = m_buckets[BucketOf(startSector)];
  auto it = bucket.find(startSector);
  return it == bucket.end() ? nullptr : it->second;
}
