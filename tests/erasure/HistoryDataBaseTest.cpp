#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>

#include "CHistoryDataBase.h"
#include "TestUtil.h"

namespace {

std::vector<std::string> Paths(const std::vector<EraseItem>& items) {
  std::vector<std::string> out;
  for (const auto& i : items) out.push_back(i.path);
  return out;
}

std::vector<std::string> Columns(const std::string& db, const std::string& table) {
  sqlite3* h = nullptr;
  sqlite3_open(db.c_str(), &h);
  sqlite3_stmt* st = nullptr;
  std::vector<std::string> names;
  sqlite3_prepare_v2(h, ("PRAGMA table_info(" + table + ")").c_str(), -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) names.push_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
  sqlite3_finalize(st);
  sqlite3_close(h);
  return names;
}

void Exec(const std::string& db, const char* sql) {
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(h, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(h);
  sqlite3_close(h);
}

TEST(HistoryDataBase, CreatesTablesWhenMissingAndRoundTrips) {
  testutil::TempDir dir("hist");
  const std::string db = dir.file("DataBase.db");
  CHistoryDataBase h(db);
  EXPECT_TRUE(h.ReadAll().empty());  // no file yet: nothing, no crash
  EXPECT_EQ(Columns(db, "TimeBase"), std::vector<std::string>({"Time"}));
  EXPECT_EQ(Columns(db, "BaseTable"), std::vector<std::string>({"Itmes", "ErasureAlgorithm", "Result", "Time"}));

  h.InsertBatch({{"/x/c", 0, 0, 0}, {"/x/a", 0, 0, 5}, {"/x/b", 0, 1, 0}}, 7, "2024-03-01 09-00-00");
  h.InsertOne("E: (/dev/loop9p1)", 35, 4, "2024-03-02 18-30-05");
  h.InsertBatch({}, 1, "2024-03-03 10-00-00");
  auto runs = h.ReadAll();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs.begin()->first, "2024-03-01 09-00-00");  // ascending by time text
  const auto& first = runs["2024-03-01 09-00-00"];
  EXPECT_EQ(Paths(first), std::vector<std::string>({"/x/c", "/x/a", "/x/b"}));  // insertion order
  EXPECT_EQ(first[1].result, 5);
  EXPECT_EQ(first[1].algorithm, 7);
  EXPECT_EQ(first[2].isFolder, 0);
  EXPECT_EQ(runs["2024-03-02 18-30-05"].at(0).result, 4);
  EXPECT_EQ(runs["2024-03-02 18-30-05"].at(0).algorithm, 35);
  EXPECT_TRUE(runs["2024-03-03 10-00-00"].empty());  // an empty run keeps its time row

  // Two runs in one second read back as one run holding both.
  h.InsertBatch({{"/y/d", 0, 0, 0}}, 1, "2024-03-01 09-00-00");
  EXPECT_EQ(h.ReadAll()["2024-03-01 09-00-00"].size(), 4u);

  EXPECT_TRUE(h.DeleteByTime("2024-03-01 09-00-00"));
  runs = h.ReadAll();
  EXPECT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs.count("2024-03-01 09-00-00"), 0u);
  EXPECT_TRUE(h.DeleteAll());
  EXPECT_TRUE(h.ReadAll().empty());
}

TEST(HistoryDataBase, HostileAndOddTexts) {
  testutil::TempDir dir("hist");
  const std::string db = dir.file("DataBase.db");
  CHistoryDataBase h(db);
  // A quote in the time text neither breaks reading nor widens a delete.
  const char* hostile = "2024' OR '1'='1";
  h.InsertBatch({{"/q/it's", 0, 0, 0}}, 1, hostile);
  h.InsertBatch({{"/q/keep", 0, 0, 0}}, 1, "2024-01-01 00-00-00");
  auto runs = h.ReadAll();
  ASSERT_EQ(runs[hostile].size(), 1u);
  EXPECT_EQ(runs[hostile][0].path, "/q/it's");
  EXPECT_TRUE(h.DeleteByTime(hostile));
  runs = h.ReadAll();
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs.count("2024-01-01 00-00-00"), 1u);

  // A NULL cell written by another program reads as empty text.
  Exec(db, "INSERT INTO TimeBase (Time) VALUES ('2025-01-01 00-00-00');"
           "INSERT INTO BaseTable (Itmes, ErasureAlgorithm, Result, Time) VALUES (NULL, 3, 0, '2025-01-01 00-00-00');"
           "INSERT INTO TimeBase (Time) VALUES (NULL);");
  runs = h.ReadAll();
  ASSERT_EQ(runs["2025-01-01 00-00-00"].size(), 1u);
  EXPECT_EQ(runs["2025-01-01 00-00-00"][0].path, "");

  // Long paths are cut to 519 bytes, never inside a UTF-8 character.
  std::string ascii(600, 'a');
  std::string accented = "/" + std::string(517, 'b') + "\xC3\xA9tail";  // the "é" would straddle byte 519
  std::string cjk = "/" + std::string(516, 'c') + "\xE6\x97\xA5tail";  // 3-byte character at 517..519
  h.InsertBatch({{ascii, 0, 0, 0}, {accented, 0, 0, 0}, {cjk, 0, 0, 0}}, 1, "2026-01-01 00-00-00");
  auto all = h.ReadAll();
  const auto& cut = all["2026-01-01 00-00-00"];
  ASSERT_EQ(cut.size(), 3u);
  EXPECT_EQ(cut[0].path, std::string(519, 'a'));
  EXPECT_EQ(cut[1].path, "/" + std::string(517, 'b'));
  EXPECT_EQ(cut[2].path, "/" + std::string(516, 'c'));
  EXPECT_EQ(CHistoryDataBase::CutUtf8("ab\xF0\x9F\x98\x80", 5), "ab");
  EXPECT_EQ(CHistoryDataBase::CutUtf8("ab\xF0\x9F\x98\x80", 6), "ab\xF0\x9F\x98\x80");
}

TEST(HistoryDataBase, WaitsForAnotherWriter) {
  testutil::TempDir dir("hist");
  const std::string db = dir.file("DataBase.db");
  CHistoryDataBase h(db);
  h.DeleteAll();  // makes the file and its tables
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr), SQLITE_OK);
  std::thread release([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT;", nullptr, nullptr, nullptr);
  });
  h.InsertBatch({{"/w/a", 0, 0, 0}}, 1, "2024-05-05 05-05-05");  // blocked until the other commits
  release.join();
  sqlite3_close(other);
  auto runs = h.ReadAll();
  ASSERT_EQ(runs.count("2024-05-05 05-05-05"), 1u);
  EXPECT_EQ(runs["2024-05-05 05-05-05"].size(), 1u);
}

TEST(HistoryDataBase, NowTextHasTheRunTimeForm) {
  const std::string t = CHistoryDataBase::NowText();
  ASSERT_EQ(t.size(), 19u);
  EXPECT_EQ(t[4], '-');
  EXPECT_EQ(t[10], ' ');
  EXPECT_EQ(t[13], '-');
  EXPECT_EQ(t[16], '-');
}

}  // namespace
