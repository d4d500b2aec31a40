#include "CHistoryDataBase.h"

#include <sqlite3.h>

#include <ctime>
#include <utility>

#include "ProgramFolder.h"
#include "RunLog.h"

namespace {

constexpr int kBusyTimeoutMs = 10000;

// One open connection with the two tables in place; closed when it goes.
class Connection {
 public:
  explicit Connection(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
      LogError("history: cannot open %s: %s", path.c_str(), m_db ? sqlite3_errmsg(m_db) : "out of memory");
      Close();
      return;
    }
    // Runs on other threads (and other processes) write the same file.
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // No file ships with the program: make the tables when they are missing.
    static const char* const kSchema =
        "CREATE TABLE IF NOT EXISTS TimeBase (Time TEXT);"
        "CREATE TABLE IF NOT EXISTS BaseTable (Itmes TEXT, ErasureAlgorithm INTEGER, Result INTEGER, Time TEXT);";
    if (sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK)
      LogError("history: cannot create the tables: %s", sqlite3_errmsg(m_db));
  }
  ~Connection() { Close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  sqlite3* db() const { return m_db; }
  const char* Error() const { return m_db ? sqlite3_errmsg(m_db) : ""; }

 private:
  void Close() {
    if (m_db) sqlite3_close(m_db);
    m_db = nullptr;
  }
  sqlite3* m_db = nullptr;
};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (db && sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK) m_stmt = nullptr;
  }
  ~Statement() {
    if (m_stmt) sqlite3_finalize(m_stmt);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  explicit operator bool() const { return m_stmt != nullptr; }
  sqlite3_stmt* get() const { return m_stmt; }
  // Binds a copy of the text (the caller's buffer may go before the step).
  bool BindText(int index, const std::string& text) {
    return sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) == SQLITE_OK;
  }
  bool BindInt(int index, int value) { return sqlite3_bind_int(m_stmt, index, value) == SQLITE_OK; }
  // A NULL or missing cell reads as empty text.
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(m_stmt, column);
    if (!text) return std::string();
    return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)));
  }

 private:
  sqlite3_stmt* m_stmt = nullptr;
};

const char* kInsertTime = "INSERT INTO TimeBase (Time) VALUES (?);";
const char* kInsertRow = "INSERT INTO BaseTable (Itmes, ErasureAlgorithm,Result,Time) VALUES (?,?,?,?);";

std::string Text(const char* s) { return s ? std::string(s) : std::string(); }

// Adds the run's TimeBase row. False when the statement could not be made.
bool InsertTimeRow(const Connection& c, const std::string& time) {
  Statement st(c.db(), kInsertTime);
  if (!st || !st.BindText(1, time)) {
    LogError("history: cannot add the run %s: %s", time.c_str(), c.Error());
    return false;
  }
  if (sqlite3_step(st.get()) != SQLITE_DONE) {
    LogError("history: update time : %s", c.Error());
  }
  return true;
}

// Runs one statement with the time text bound to its one parameter.
bool DeleteWhere(const Connection& c, const char* sql, const std::string* time, const char* failText) {
  Statement st(c.db(), sql);
  if (!st || (time && !st.BindText(1, *time)) || sqlite3_step(st.get()) != SQLITE_DONE) {
    if (failText) {
      LogError("history: %s%s", failText, c.Error());
    }
    return false;
  }
  return true;
}

}  // namespace

CHistoryDataBase::CHistoryDataBase(std::string path) : m_path(std::move(path)) {}

std::string CHistoryDataBase::DefaultPath() { return platform::ProgramFile("DataBase.db"); }

std::string CHistoryDataBase::NowText() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char buf[32];
  strftime(buf, sizeof buf, "%Y-%m-%d %H-%M-%S", &local);
  return buf;
}

std::string CHistoryDataBase::CutUtf8(const std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  // text[cut] is the first byte left out. When it continues a character,
  // leave out that whole character (at most three steps back).
  size_t cut = maxBytes;
  while (cut > 0 && maxBytes - cut < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

std::map<std::string, std::vector<EraseItem>> CHistoryDataBase::ReadAll() const {
  std::map<std::string, std::vector<EraseItem>> runs;
  Connection c(m_path);
  if (!c.db()) return runs;
  Statement times(c.db(), "select * from TimeBase order by Time desc");
  if (!times) return runs;
  while (sqlite3_step(times.get()) == SQLITE_ROW) {
    std::string time = times.Text(0);
    Statement rows(c.db(), "select * from BaseTable where Time=?");
    if (!rows || !rows.BindText(1, time)) break;
    std::vector<EraseItem> items;
    while (sqlite3_step(rows.get()) == SQLITE_ROW) {
      EraseItem item;
      item.path = rows.Text(0);
      item.algorithm = sqlite3_column_int(rows.get(), 1);
      item.result = sqlite3_column_int(rows.get(), 2);
      items.push_back(std::move(item));
    }
    runs.emplace(time, std::move(items));  // a time already read keeps its list
  }
  return runs;
}

void CHistoryDataBase::InsertOne(const char* itemText, int algorithm, int result, const char* time) const {
  EraseItem row;
  row.path = Text(itemText);
  row.result = result;
  InsertBatch({row}, algorithm, time);
}

void CHistoryDataBase::InsertBatch(const std::vector<EraseItem>& items, int passes, const char* time) const {
  Connection c(m_path);
  if (!c.db()) return;
  const std::string timeText = Text(time);
  if (!InsertTimeRow(c, timeText)) return;
  if (sqlite3_exec(c.db(), "begin;", nullptr, nullptr, nullptr) != SQLITE_OK) {
    LogError("history: begin failed: %s", c.Error());
    return;
  }
  {
    Statement st(c.db(), kInsertRow);
    if (!st) {
      LogError("history: cannot prepare the row insert: %s", c.Error());
      sqlite3_exec(c.db(), "rollback;", nullptr, nullptr, nullptr);
      return;
    }
    for (const EraseItem& item : items) {
      sqlite3_reset(st.get());
      if (!st.BindText(1, CutUtf8(item.path, kMaxItemBytes)) || !st.BindInt(2, passes) ||
          !st.BindInt(3, item.result) || !st.BindText(4, timeText) || sqlite3_step(st.get()) != SQLITE_DONE) {
        LogError("history: update database failed: %s", c.Error());
      }
    }
  }
  if (sqlite3_exec(c.db(), "commit;", nullptr, nullptr, nullptr) != SQLITE_OK) {
    LogError("history: commit failed: %s", c.Error());
    sqlite3_exec(c.db(), "rollback;", nullptr, nullptr, nullptr);
  }
}

bool CHistoryDataBase::DeleteByTime(const char* time) const {
  Connection c(m_path);
  if (!c.db()) {
    LogError("history: cannot open %s", m_path.c_str());
    return false;
  }
  const std::string timeText = Text(time);
  if (!DeleteWhere(c, "delete from TimeBase where Time=?", &timeText, "delete time error: ")) return false;
  return DeleteWhere(c, "delete from BaseTable where Time=?", &timeText, "delete base error: ");
}

bool CHistoryDataBase::DeleteAll() const {
  Connection c(m_path);
  if (!c.db()) return false;
  if (!DeleteWhere(c, "delete from TimeBase", nullptr, nullptr)) return false;
  return DeleteWhere(c, "delete from BaseTable", nullptr, "delete base error: ");
}
