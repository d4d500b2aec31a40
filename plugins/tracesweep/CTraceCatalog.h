// The traces the plug-in knows, read from "Config.xml" (groups, categories,
// entries and their path patterns) and "ResIDText.xml" (display names and icons).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One SQL statement of a database rule, run only when every table it
// requires exists in the database and none of the tables it is "unless".
struct TraceSqlStep {
  std::string sql;
  std::vector<std::string> requiredTables;
  std::vector<std::string> absentTables;
};

// A database that also holds what the user keeps: the entry deletes rows
// instead of the file. Its size is the space of measureTables (and their indexes).
struct TraceDatabaseRule {
  std::string pattern;  // relative to the home folder
  std::vector<std::string> measureTables;
  std::vector<TraceSqlStep> steps;
};

struct TraceEntryDef {
  std::string id;
  uint32_t resId = 0;
  bool checked = true;
  std::vector<std::string> paths;  // patterns relative to the home folder: files and folders removed whole
  std::vector<TraceDatabaseRule> databases;
};

struct TraceCategoryDef {
  std::string id;
  uint32_t resId = 0;
  std::vector<std::string> processes;  // process names of the program
  std::vector<std::string> detect;     // the category is enabled when one of these exists
  std::vector<TraceEntryDef> entries;
};

struct TraceGroupDef {
  std::string id;
  uint32_t resId = 0;
  std::vector<TraceCategoryDef> categories;
};

struct TraceText {
  std::string name;
  std::string icon;
};

class CTraceCatalog {
 public:
  // Reads both files; false with a reason in error when one is missing or wrong.
  bool Load(const std::string& configPath, const std::string& resIdTextPath, std::string& error);
  const std::vector<TraceGroupDef>& Groups() const { return m_groups; }
  // The text of a resource id; a placeholder name when it is missing.
  TraceText Text(uint32_t resId) const;

  // A pattern is relative, without empty, "." or ".." components, and without
  // unreplaced "{name}" fields.
  static bool IsSafePattern(const std::string& pattern);

 private:
  bool LoadTexts(const std::string& path, std::string& error);
  bool LoadConfig(const std::string& path, std::string& error);

  std::vector<TraceGroupDef> m_groups;
  std::map<uint32_t, TraceText> m_texts;
};
