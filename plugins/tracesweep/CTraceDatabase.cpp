#include "CTraceDatabase.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "RunLog.h"

namespace {

class Connection {
 public:
  Connection(const std::string& path, bool writable) {
    int flags = (writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) | SQLITE_OPEN_NOFOLLOW;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
      LogError("TraceSweep: cannot open %s: %s", path.c_str(), m_db ? sqlite3_errmsg(m_db) : "no memory");
      Close();
      return;
    }
    sqlite3_busy_timeout(m_db, 3000);
    // Anything but a database (or a damaged one) fails here.
    if (!Exec("SELECT count(*) FROM sqlite_master")) Close();
  }
  ~Connection() { Close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool IsOpen() const { return m_db != nullptr; }

  bool Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    LogError("TraceSweep: \"%s\" failed: %s", sql.c_str(), message ? message : "?");
    sqlite3_free(message);
    return false;
  }

  std::set<std::string> Tables() {
    std::set<std::string> names;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT name FROM sqlite_master WHERE type='table'", -1, &st, nullptr) == SQLITE_OK)
      while (sqlite3_step(st) == SQLITE_ROW)
        if (const unsigned char* t = sqlite3_column_text(st, 0)) names.insert(reinterpret_cast<const char*>(t));
    sqlite3_finalize(st);
    return names;
  }

  // Bytes of the rows of a table and its indexes (cell payloads, from the
  // dbstat table; 0 for an empty table), or -1 when SQLite was built without it.
  int64_t TableBytes(const std::string& table) {
    sqlite3_stmt* st = nullptr;
    const char* sql =
        "SELECT coalesce(sum(payload), 0) FROM dbstat WHERE name IN "
        "(SELECT name FROM sqlite_master WHERE tbl_name = ?1)";
    if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
      sqlite3_finalize(st);
      return -1;
    }
    sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
    int64_t bytes = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    return bytes;
  }

  // Bytes in use by the rows of a table, for SQLite builds without dbstat.
  int64_t RowBytes(const std::string& table) {
    sqlite3_stmt* st = nullptr;
    char* quoted = sqlite3_mprintf("SELECT * FROM \"%w\"", table.c_str());
    int64_t bytes = 0;
    if (sqlite3_prepare_v2(m_db, quoted, -1, &st, nullptr) == SQLITE_OK) {
      while (sqlite3_step(st) == SQLITE_ROW)
        for (int i = 0; i < sqlite3_column_count(st); ++i) bytes += 8 + sqlite3_column_bytes(st, i);
    }
    sqlite3_finalize(st);
    sqlite3_free(quoted);
    return bytes;
  }

  uint64_t Measure(const std::vector<std::string>& tables) {
    const std::set<std::string> present = Tables();
    uint64_t total = 0;
    for (const std::string& t : tables) {
      if (!present.count(t)) continue;
      int64_t bytes = TableBytes(t);
      if (bytes < 0) bytes = RowBytes(t);
      total += static_cast<uint64_t>(bytes);
    }
    return total;
  }

 private:
  void Close() {
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
  }
  sqlite3* m_db = nullptr;
};

}  // namespace

void CTraceDatabase::RestoreOwnership() const {
  // We may run as root: journal files SQLite left beside the database must
  // stay usable by the browser that owns it.
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    const std::string side = m_path + suffix;
    struct stat st;
    if (lstat(side.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_uid != m_uid || st.st_gid != m_gid))
      if (lchown(side.c_str(), m_uid, m_gid) != 0)
        LogError("TraceSweep: cannot give %s back to its owner", side.c_str());
  }
}

uint64_t CTraceDatabase::Measure(const TraceDatabaseRule& rule) const {
  uint64_t total = 0;
  {
    Connection db(m_path, false);
    if (db.IsOpen()) total = db.Measure(rule.measureTables);
  }
  RestoreOwnership();
  return total;
}

uint64_t CTraceDatabase::Clean(const TraceDatabaseRule& rule, bool& ok) const {
  ok = false;
  uint64_t before = 0, after = 0;
  {
    Connection db(m_path, true);
    if (db.IsOpen()) {
      before = db.Measure(rule.measureTables);
      const std::set<std::string> present = db.Tables();
      ok = db.Exec("PRAGMA secure_delete = ON") && db.Exec("BEGIN IMMEDIATE");
      for (const TraceSqlStep& step : rule.steps) {
        if (!ok) break;
        bool runnable = true;
        for (const std::string& t : step.requiredTables) runnable = runnable && present.count(t);
        for (const std::string& t : step.absentTables) runnable = runnable && !present.count(t);
        if (runnable) ok = db.Exec(step.sql);
      }
      if (ok) {
        ok = db.Exec("COMMIT");
        // Compacting drops the freed pages from the file; a failure leaves them zeroed.
        if (ok) db.Exec("VACUUM");
      } else {
        db.Exec("ROLLBACK");
      }
      after = db.Measure(rule.measureTables);
    }
  }
  RestoreOwnership();
  return before > after ? before - after : 0;
}
