// The erasure history: an SQLite file ("DataBase.db" in the program folder)
// with one TimeBase row per run and one BaseTable row per item. Every
// operation opens the file, runs its statements and closes it again, so
// objects are cheap and any thread may use its own.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "EraseItem.h"

class CHistoryDataBase {
 public:
  explicit CHistoryDataBase(std::string path);

  // The history file of this program: <program folder>/DataBase.db.
  static std::string DefaultPath();
  // The current local time as a run's time text, "yyyy-MM-dd hh-mm-ss".
  static std::string NowText();
  // Stored item texts are cut to this many bytes (at a character boundary).
  static constexpr size_t kMaxItemBytes = 519;

  // All runs, by time text ascending; each run's rows in insertion order
  // (path, pass count, result; isFolder 0). Empty when unreadable.
  std::map<std::string, std::vector<EraseItem>> ReadAll() const;
  // One run with one row (InsertBatch of that row).
  void InsertOne(const char* itemText, int algorithm, int result, const char* time) const;
  // One run with one row per item, all rows with the same pass count (none:
  // the run's time row alone).
  void InsertBatch(const std::vector<EraseItem>& items, int passes, const char* time) const;
  bool DeleteByTime(const char* time) const;
  bool DeleteAll() const;

  // text cut to at most maxBytes bytes without splitting a UTF-8 character.
  static std::string CutUtf8(const std::string& text, size_t maxBytes);

 private:
  std::string m_path;
};
