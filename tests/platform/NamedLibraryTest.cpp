#include <gtest/gtest.h>

#include <cstdlib>

#include "NamedLibrary.h"
#include "ProgramFolder.h"
#include "TestUtil.h"

namespace {

TEST(NamedLibrary, SharedObjectNames) {
  struct {
    const char* in;
    const char* out;
  } cases[] = {{"TraceSweep.dll", "libTraceSweep.so"}, {"qrtlog.DLL", "libqrtlog.so"},
               {"C:\\x\\verprobe.dll", "libverprobe.so"}, {"libm.so", "libm.so"}, {"gc", "libgc.so"}};
  for (auto& c : cases) EXPECT_EQ(platform::NamedLibrary::SharedObjectName(c.in), c.out) << c.in;
}

// VANTOREL_PROGRAM_DIR moves what the program writes and its settings, never
// what ships beside the executable.
TEST(ProgramFolder, TheProgramFolderNeverMovesTheResources) {
  testutil::TempDir dir("progdir");
  const std::string exe = platform::ExecutableFolder();
  ASSERT_NE(exe, ".");
  EXPECT_EQ(platform::ProgramFolder(), exe);
  EXPECT_EQ(platform::ResourceFolder(), exe);
  setenv("VANTOREL_PROGRAM_DIR", (dir.path() + "//").c_str(), 1);
  EXPECT_EQ(platform::ProgramFolder(), dir.path());
  EXPECT_EQ(platform::ProgramFile("RunLog.log"), dir.path() + "/RunLog.log");
  EXPECT_EQ(platform::ResourceFolder(), exe);
  EXPECT_EQ(platform::ResourceFile("libTraceSweep.so"), exe + "/libTraceSweep.so");
  unsetenv("VANTOREL_PROGRAM_DIR");
}

TEST(NamedLibrary, ResourceFolderComesFirstThenSystemSearch) {
  testutil::TempDir dir("lib");
  // A library in the resource folder: build one with the compiler at hand.
  const std::string src = dir.file("probe.c");
  testutil::WriteFile(src, "int probe_value(void){return 4242;}\n");
  auto cc = testutil::Run({"cc", "-shared", "-fPIC", "-o", dir.file("libProbe.so"), src});
  ASSERT_EQ(cc.exitCode, 0) << cc.output;
  platform::SetResourceFolder(dir.path() + "/");
  EXPECT_EQ(platform::ResourceFolder(), dir.path());

  platform::NamedLibrary lib;
  ASSERT_TRUE(lib.Load("Probe.dll")) << lib.Error();
  EXPECT_EQ(lib.Path(), dir.file("libProbe.so"));
  auto fn = lib.OperationAs<int (*)()>("probe_value");
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(), 4242);
  EXPECT_EQ(lib.Operation("no_such_operation"), nullptr);

  platform::NamedLibrary absent;
  EXPECT_FALSE(absent.Load("verprobe.dll"));
  EXPECT_FALSE(absent.Error().empty());
  platform::SetResourceFolder(std::string());
}

}  // namespace
