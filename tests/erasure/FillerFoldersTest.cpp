// Left-over filler folders: a folder goes only when its name and its whole
// content are what a free-space run writes; anything else keeps it whole.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "FillerFolders.h"
#include "TestUtil.h"

namespace fs = std::filesystem;

namespace {

TEST(FillerFolders, NamesOfTheRunsOwnFolders) {
  EXPECT_TRUE(filler::IsFolderName(".norvanta-a1B2c3"));
  for (const char* name : {".norvanta-a1B2c", ".norvanta-a1B2c34", "norvanta-a1B2c3", ".norvanta-a1B/c3", ".norvanta"})
    EXPECT_FALSE(filler::IsFolderName(name)) << name;
  EXPECT_EQ(filler::FolderTemplate("/mnt/x"), "/mnt/x/.norvanta-XXXXXX");
  EXPECT_EQ(filler::FolderTemplate("/"), "/.norvanta-XXXXXX");
}

TEST(FillerFolders, RemovesOnlyFolderHoldingNothingButFiller) {
  struct Case {
    const char* name;
    std::function<void(const std::string& folder)> add;  // what is in the folder besides filler
    bool removed;
  } cases[] = {
      {"only filler", [](const std::string&) {}, true},
      {"a file of the user's", [](const std::string& f) { testutil::WriteFile(f + "/0/notes.txt", "mine"); }, false},
      {"a file at the top", [](const std::string& f) { testutil::WriteFile(f + "/norvanta9.norvanta", "x"); }, false},
      {"a named subfolder", [](const std::string& f) { fs::create_directories(f + "/photos"); }, false},
      {"a link named as filler",
       [](const std::string& f) { ASSERT_EQ(symlink("/etc/hostname", (f + "/1/norvanta7.norvanta").c_str()), 0); },
       false},
      {"a folder named as filler", [](const std::string& f) { fs::create_directories(f + "/1/norvanta8.norvanta"); },
       false},
  };
  for (const Case& c : cases) {
    testutil::TempDir dir("filler");
    const std::string folder = dir.file(".norvanta-Ab12Cd");
    fs::create_directories(folder + "/0");
    fs::create_directories(folder + "/1");
    testutil::WriteFile(folder + "/0/norvanta0.norvanta", std::string(4096, '\xff'));
    testutil::WriteFile(folder + "/1/norvanta200.norvanta", std::string(10, '\xff'));
    c.add(folder);
    size_t entries = 0;
    for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) ++entries;
    std::string why;
    EXPECT_EQ(filler::RemoveFolder(folder, &why), c.removed) << c.name << ": " << why;
    EXPECT_EQ(fs::exists(folder), !c.removed) << c.name;
    if (!c.removed) {
      EXPECT_FALSE(why.empty()) << c.name;
      size_t after = 0;
      for (auto it = fs::recursive_directory_iterator(folder); it != fs::recursive_directory_iterator(); ++it) ++after;
      EXPECT_EQ(after, entries) << c.name << ": something was removed from a folder that is not all filler";
    }
  }
}

// At a volume's root: the run's own folders go, a folder of the user's
// with a similar name stays, and what stays is said.
TEST(FillerFolders, RemovesLeftoversAtARootAndSaysWhatStays) {
  testutil::TempDir dir("fillerroot");
  const std::string root = dir.file("root");
  fs::create_directories(root + "/.norvanta-Qw3rTy/0");
  testutil::WriteFile(root + "/.norvanta-Qw3rTy/0/norvanta0.norvanta", "\xff\xff");
  fs::create_directories(root + "/.norvanta-Zx9Cv8/0");
  testutil::WriteFile(root + "/.norvanta-Zx9Cv8/0/diary.txt", "mine");
  fs::create_directories(root + "/norvanta");
  fs::create_directories(root + "/.norvanta-keep");
  const auto log = filler::RemoveLeftovers(root);
  EXPECT_FALSE(fs::exists(root + "/.norvanta-Qw3rTy"));
  EXPECT_EQ(testutil::ReadFile(root + "/.norvanta-Zx9Cv8/0/diary.txt"), "mine");
  EXPECT_TRUE(fs::exists(root + "/norvanta"));
  EXPECT_TRUE(fs::exists(root + "/.norvanta-keep"));
  ASSERT_EQ(log.size(), 2u);
  std::string all = log[0] + "\n" + log[1];
  EXPECT_NE(all.find("removed the filler folder " + root + "/.norvanta-Qw3rTy"), std::string::npos) << all;
  EXPECT_NE(all.find("left alone: " + root + "/.norvanta-Zx9Cv8"), std::string::npos) << all;
}

}  // namespace
