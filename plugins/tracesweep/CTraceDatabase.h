// History kept in SQLite databases beside what the user keeps (bookmarks
// beside visits, downloads beside history): the rows go, the file stays.
// Deleted rows are overwritten (secure_delete) and the file is compacted.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "CTraceCatalog.h"

class CTraceDatabase {
 public:
  // path: a database reached without links (CTraceFiles::Match); owner: who
  // gets the journal files SQLite may leave beside it.
  CTraceDatabase(std::string path, uid_t ownerUid, gid_t ownerGid)
      : m_path(std::move(path)), m_uid(ownerUid), m_gid(ownerGid) {}

  // Bytes of the rows of the rule's tables (and their indexes); 0 when the file is no database.
  uint64_t Measure(const TraceDatabaseRule& rule) const;
  // Runs the rule's statements in one transaction, then compacts the file.
  // Returns the bytes of the rows that went; ok is false when a statement failed.
  uint64_t Clean(const TraceDatabaseRule& rule, bool& ok) const;

 private:
  void RestoreOwnership() const;

  std::string m_path;
  uid_t m_uid;
  gid_t m_gid;
};
