// The allocation routines and their out-of-memory end.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "RunLog.h"
#include "SafeAlloc.h"
#include "TestUtil.h"

namespace {

// One folder per test (ctest runs them in parallel); the same in the death
// test's child, which runs the test again from its start.
std::string DumpFolder() {
  return testutil::BuildDir() + "/tmp/oom-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// Lowers the address-space limit just above what the process uses, so that
// a large allocation fails for real.
void LimitAddressSpace() {
  long pages = 0;
  if (FILE* f = fopen("/proc/self/statm", "r")) {
    if (fscanf(f, "%ld", &pages) != 1) pages = 0;
    fclose(f);
  }
  rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (256u << 20);
  struct rlimit r = {limit, limit};
  setrlimit(RLIMIT_AS, &r);
}

void PrepareChild() {
  setenv("VANTOREL_PROGRAM_DIR", DumpFolder().c_str(), 1);
  RunLogSetFile(DumpFolder() + "/run.log");
  LimitAddressSpace();
}

std::vector<std::string> LogTexts() {
  std::ifstream in(DumpFolder() + "/run.log");
  std::vector<std::string> texts;
  for (std::string line; std::getline(in, line);) {
    size_t at = line.find(" INFO ");
    if (at != std::string::npos) texts.push_back(line.substr(at + 6));
  }
  return texts;
}

}  // namespace

TEST(Alloc, FreeOfNullAndMixedRoutines) {
  EXPECT_EQ(SafeFree(nullptr), 0);
  FreeBuffer(nullptr);
  uint8_t* buf = AllocBuffer(4096);
  ASSERT_NE(buf, nullptr);
  buf[4095] = 1;
  operator delete(buf);  // same heap: either releasing routine serves
  char* obj = new char[100];
  EXPECT_EQ(SafeFree(obj), 0);
}

// Runs `allocate` in a child that must die after logging the four lines of
// the out-of-memory report and writing the dump with the out-of-memory code.
void ExpectOutOfMemoryEnd(void (*allocate)(), const char* sizeText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::filesystem::remove_all(DumpFolder());
  std::filesystem::create_directories(DumpFolder());
  EXPECT_DEATH(
      {
        PrepareChild();
        allocate();
        fprintf(stderr, "returned to the caller\n");
        _exit(0);
      },
      "");
  std::vector<std::string> texts = LogTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], std::string("Failed to alloc 0x") + sizeText + " bytes");
  EXPECT_EQ(texts[1], "Memory status:");
  EXPECT_EQ(texts[2].rfind("Total physical memory:", 0), 0u);
  EXPECT_NE(texts[2].find(" MB\tAvailable physical memory:"), std::string::npos);
  EXPECT_EQ(texts[3].rfind("Total   page    files:", 0), 0u);
  EXPECT_NE(texts[3].find(" MB\tAvailable    page   files:"), std::string::npos);
  std::string dump = testutil::ReadFile(DumpFolder() + "/tlmvtdump0.dmp");
  EXPECT_NE(dump.find("code: 0xe0000001"), std::string::npos) << dump;
  EXPECT_NE(dump.find("backtrace:"), std::string::npos);
}

TEST(AllocDeathTest, SafeMallocEndsInReportAndDump) {
  ExpectOutOfMemoryEnd([] { SafeMalloc(0xF0000000u); }, "f0000000");
}

TEST(AllocDeathTest, AllocBufferEndsInReportAndDump) {
  ExpectOutOfMemoryEnd([] { AllocBuffer(0xF0000000u); }, "f0000000");
}

TEST(AllocDeathTest, OperatorNewEndsInReportAndDump) {
  ExpectOutOfMemoryEnd(
      [] {
        volatile size_t huge = size_t{1} << 40;
        char* volatile p = new char[huge];
        fprintf(stderr, "got %p\n", static_cast<void*>(p));
      },
      "10000000000");
}
