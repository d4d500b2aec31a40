// Shared fixtures: made once however many processes ask at the same time,
// never seen half made, and a failed make leaves nothing behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "TestUtil.h"

namespace {

namespace fs = std::filesystem;

// A name no other run uses; its folders are removed when it goes.
struct FixtureName {
  std::string name = "sharedfixture-test-" + std::to_string(getpid());
  ~FixtureName() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(testutil::BuildDir() + "/fixtures", ec))
      if (entry.path().filename().string().rfind(name, 0) == 0) fs::remove_all(entry.path(), ec);
  }
};

TEST(SharedFixture, MadeOnceForEveryoneAskingAtOnce) {
  FixtureName fixture;
  std::atomic<int> makes{0};
  std::vector<std::string> seen(6);
  std::vector<std::thread> askers;
  // Each asker opens the lock on its own, as separate processes do.
  for (size_t i = 0; i < seen.size(); ++i)
    askers.emplace_back([&, i] {
      std::string error;
      seen[i] = testutil::SharedFixtureFolder(
          fixture.name, "key",
          [&](const std::string& folder) {
            ++makes;
            testutil::WriteFile(folder + "/first", "1");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            testutil::WriteFile(folder + "/last", "2");
            return testutil::CommandResult{0, ""};
          },
          error);
      // Whoever gets it finds it whole.
      if (testutil::ReadFile(seen[i] + "/last") != "2") seen[i] = "half made: " + seen[i];
    });
  for (auto& t : askers) t.join();
  EXPECT_EQ(makes.load(), 1);
  for (const std::string& s : seen) EXPECT_EQ(s, seen[0]);
  EXPECT_EQ(fs::path(seen[0]).parent_path(), fs::path(testutil::BuildDir() + "/fixtures"));

  // Another key is another fixture.
  std::string error;
  const std::string other = testutil::SharedFixtureFolder(
      fixture.name, "other key",
      [](const std::string&) {
        return testutil::CommandResult{0, ""};
      },
      error);
  EXPECT_NE(other, seen[0]);
  EXPECT_TRUE(fs::is_directory(other));
}

TEST(SharedFixture, FailedMakeLeavesNothingAndTheNextOneRuns) {
  FixtureName fixture;
  std::string error;
  const std::string failed = testutil::SharedFixtureFolder(
      fixture.name, "key",
      [](const std::string& folder) {
        testutil::WriteFile(folder + "/partial", "x");
        return testutil::CommandResult{1, "mkfs said no"};
      },
      error);
  EXPECT_EQ(failed, "");
  EXPECT_EQ(error, "mkfs said no");
  int left = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(testutil::BuildDir() + "/fixtures", ec))
    if (entry.path().filename().string().rfind(fixture.name, 0) == 0 && entry.path().extension() != ".lock") ++left;
  EXPECT_EQ(left, 0) << "a failed make left a folder behind";

  error.clear();
  const std::string made = testutil::SharedFixtureFolder(
      fixture.name, "key",
      [](const std::string& folder) {
        testutil::WriteFile(folder + "/whole", "y");
        return testutil::CommandResult{0, ""};
      },
      error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(testutil::ReadFile(made + "/whole"), "y");
}

}  // namespace
