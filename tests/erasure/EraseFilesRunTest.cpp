#include <fcntl.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "BusSpy.h"
#include "CEraseBusObserver.h"
#include "CEraseFilesRun.h"
#include "CFileOverwriter.h"
#include "CHistoryDataBase.h"
#include "EraseResult.h"
#include "MsgDefine.h"
#include "TestUtil.h"

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

bool Exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

// Unmounts what a case mounted, also when the case fails.
struct Mounts {
  std::vector<std::string> points;
  bool Tmpfs(const std::string& at) {
    fs::create_directories(at);
    if (mount("tmpfs", at.c_str(), "tmpfs", 0, "size=1m") != 0) return false;
    points.push_back(at);
    return true;
  }
  ~Mounts() {
    for (auto it = points.rbegin(); it != points.rend(); ++it) umount2(it->c_str(), 0);
  }
};

struct Chosen {
  std::vector<EraseItem> files, folders;
  void File(const std::string& p) { files.push_back({p, 0, 0, 0}); }
  void Folder(const std::string& p) { folders.push_back({p, 0, 1, 0}); }
};

struct ItemCase {
  const char* name;
  bool needsRoot;
  // Builds the case under base, picks the items, fills the expected item
  // results; returns false to skip (a facility missing here).
  std::function<bool(const std::string& base, Chosen&, std::map<std::string, int>&, Mounts&)> setup;
  // Checks what must stay or go afterwards.
  std::function<void(const std::string& base)> check;
};

void MakeSparse(const std::string& path, uint64_t size, const std::vector<uint64_t>& markersAt) {
  int fd = open(path.c_str(), O_CREAT | O_RDWR | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
  for (uint64_t at : markersAt) ASSERT_EQ(pwrite(fd, "MARKER", 6, static_cast<off_t>(at)), 6);
  close(fd);
}

const uint64_t kBig = (5ull << 30) + 12345;  // over 4 GiB, not a multiple of any block
const uint64_t kPast4G = (4ull << 30) + 3 * 4096 + 17;

const std::vector<ItemCase>& Cases() {
  static const std::vector<ItemCase> cases = {
      {"read-only file", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         WriteFile(b + "/ro", "secret");
         chmod((b + "/ro").c_str(), 0444);
         c.File(b + "/ro");
         e[b + "/ro"] = 0;
         return true;
       },
       [](const std::string& b) { EXPECT_FALSE(Exists(b + "/ro")); }},
      {"empty file", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         WriteFile(b + "/empty", "");
         c.File(b + "/empty");
         e[b + "/empty"] = 0;
         return true;
       },
       [](const std::string& b) { EXPECT_FALSE(Exists(b + "/empty")); }},
      {"sparse file over 4 GiB", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         MakeSparse(b + "/sparse", kBig, {0, kPast4G, kBig - 6});
         c.File(b + "/sparse");
         e[b + "/sparse"] = 0;
         return true;
       },
       [](const std::string& b) { EXPECT_FALSE(Exists(b + "/sparse")); }},
      {"FIFO", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         mkfifo((b + "/fifo").c_str(), 0644);  // opening it would block the run
         c.File(b + "/fifo");
         e[b + "/fifo"] = ERASE_ITEM_NOT_SUPPORTED;
         return true;
       },
       [](const std::string& b) { EXPECT_TRUE(Exists(b + "/fifo")); }},
      {"socket", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         int s = socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un addr{};
         addr.sun_family = AF_UNIX;
         const std::string p = b + "/sock";
         if (p.size() >= sizeof addr.sun_path) return false;
         strcpy(addr.sun_path, p.c_str());
         bool ok = bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
         close(s);
         c.File(p);
         e[p] = ERASE_ITEM_NOT_SUPPORTED;
         return ok;
       },
       [](const std::string& b) { EXPECT_TRUE(Exists(b + "/sock")); }},
      {"symbolic links", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         fs::create_directories(b + "/outside/dir");
         WriteFile(b + "/outside/target", "keep me");
         WriteFile(b + "/outside/dir/inner", "keep me too");
         fs::create_directories(b + "/sel");
         symlink((b + "/outside/target").c_str(), (b + "/link").c_str());
         symlink((b + "/outside/dir").c_str(), (b + "/sel/dirlink").c_str());
         symlink((b + "/outside/target").c_str(), (b + "/sel/filelink").c_str());
         c.File(b + "/link");
         c.Folder(b + "/sel");
         e[b + "/link"] = 0;
         e[b + "/sel"] = 0;
         e[b + "/sel/dirlink"] = 0;
         e[b + "/sel/filelink"] = 0;
         return true;
       },
       [](const std::string& b) {
         EXPECT_FALSE(Exists(b + "/link"));
         EXPECT_FALSE(Exists(b + "/sel"));
         EXPECT_EQ(ReadFile(b + "/outside/target"), "keep me");
         EXPECT_EQ(ReadFile(b + "/outside/dir/inner"), "keep me too");
       }},
      {"nested folders", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         fs::create_directories(b + "/n/a/b/c");
         fs::create_directories(b + "/n/empty");
         WriteFile(b + "/n/a/b/c/deep", std::string(20000, 'd'));
         WriteFile(b + "/n/a/x.txt", "x");
         WriteFile(b + "/n/.hidden", "h");
         c.Folder(b + "/n");
         for (const char* p : {"/n", "/n/a", "/n/a/b", "/n/a/b/c", "/n/a/b/c/deep", "/n/a/x.txt", "/n/.hidden",
                               "/n/empty"})
           e[b + p] = 0;
         return true;
       },
       [](const std::string& b) { EXPECT_FALSE(Exists(b + "/n")); }},
      {"items chosen twice or beneath a chosen folder", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         fs::create_directories(b + "/o/inner");
         WriteFile(b + "/o/inner/f", "f");
         c.File(b + "/o/inner/f");
         c.File(b + "/o/inner/../inner/f");
         c.Folder(b + "/o/inner");
         c.Folder(b + "/o");
         c.Folder(b + "/o/");
         for (const char* p : {"/o", "/o/inner", "/o/inner/f"}) e[b + p] = 0;
         return true;
       },
       [](const std::string& b) { EXPECT_FALSE(Exists(b + "/o")); }},
      {"name taken by a file that is not chosen", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         fs::create_directories(b + "/t");
         WriteFile(b + "/t/NORVANTA.NORVANTA", "not chosen");
         WriteFile(b + "/t/x", "chosen");
         c.File(b + "/t/x");
         e[b + "/t/x"] = 0;
         return true;
       },
       [](const std::string& b) {
         EXPECT_FALSE(Exists(b + "/t/x"));
         EXPECT_EQ(ReadFile(b + "/t/NORVANTA.NORVANTA"), "not chosen");
       }},
      {"hard links", false,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         fs::create_directories(b + "/h");
         WriteFile(b + "/h/shared", "other name outside");
         WriteFile(b + "/h/both1", "both names chosen");
         if (link((b + "/h/shared").c_str(), (b + "/outside-name").c_str()) != 0) return false;
         if (link((b + "/h/both1").c_str(), (b + "/h/both2").c_str()) != 0) return false;
         c.Folder(b + "/h");
         e[b + "/h"] = ERASE_ITEM_FOLDER_NOT_REMOVED;
         e[b + "/h/shared"] = ERASE_ITEM_ACCESS_DENIED;
         e[b + "/h/both1"] = 0;
         e[b + "/h/both2"] = 0;
         return true;
       },
       [](const std::string& b) {
         EXPECT_EQ(ReadFile(b + "/outside-name"), "other name outside");
         EXPECT_EQ(ReadFile(b + "/h/shared"), "other name outside");
         EXPECT_FALSE(Exists(b + "/h/both1"));
         EXPECT_FALSE(Exists(b + "/h/both2"));
       }},
      {"immutable and append-only files", true,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         WriteFile(b + "/imm", "locked");
         WriteFile(b + "/app", "append only");
         if (testutil::Run({"chattr", "+i", b + "/imm"}).exitCode != 0) return false;
         if (testutil::Run({"chattr", "+a", b + "/app"}).exitCode != 0) return false;
         c.File(b + "/imm");
         c.File(b + "/app");
         e[b + "/imm"] = 0;
         e[b + "/app"] = 0;
         return true;
       },
       [](const std::string& b) {
         EXPECT_FALSE(Exists(b + "/imm"));
         EXPECT_FALSE(Exists(b + "/app"));
       }},
      {"delete refused by an immutable folder", true,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts&) {
         fs::create_directories(b + "/locked");
         WriteFile(b + "/locked/f", "content");
         if (testutil::Run({"chattr", "+i", b + "/locked"}).exitCode != 0) return false;
         c.File(b + "/locked/f");
         e[b + "/locked/f"] = ERASE_ITEM_ACCESS_DENIED;  // overwritten, but the name could not go
         return true;
       },
       [](const std::string& b) {
         EXPECT_TRUE(Exists(b + "/locked/f"));
         EXPECT_EQ(ReadFile(b + "/locked/f"), "");
         testutil::Run({"chattr", "-i", b + "/locked"});
       }},
      {"mount point inside a chosen folder", true,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts& m) {
         fs::create_directories(b + "/m/sub");
         WriteFile(b + "/m/plain", "plain");
         if (!m.Tmpfs(b + "/m/sub/mnt")) return false;
         WriteFile(b + "/m/sub/mnt/other-volume", "not ours");
         c.Folder(b + "/m");
         e[b + "/m"] = ERASE_ITEM_FOLDER_NOT_REMOVED;
         e[b + "/m/sub"] = ERASE_ITEM_FOLDER_NOT_REMOVED;
         e[b + "/m/sub/mnt"] = ERASE_ITEM_ACCESS_DENIED;
         e[b + "/m/plain"] = 0;
         return true;
       },
       [](const std::string& b) {
         EXPECT_FALSE(Exists(b + "/m/plain"));
         EXPECT_EQ(ReadFile(b + "/m/sub/mnt/other-volume"), "not ours");
       }},
      {"chosen mount point", true,
       [](const std::string& b, Chosen& c, std::map<std::string, int>& e, Mounts& m) {
         if (!m.Tmpfs(b + "/mp")) return false;
         WriteFile(b + "/mp/f", "not ours");
         c.Folder(b + "/mp/");
         c.File(b + "/mp/.");
         e[b + "/mp"] = ERASE_ITEM_ACCESS_DENIED;  // both, and nothing beneath is walked
         return true;
       },
       [](const std::string& b) { EXPECT_EQ(ReadFile(b + "/mp/f"), "not ours"); }},
  };
  return cases;
}

class ItemTable : public ::testing::TestWithParam<size_t> {};

TEST_P(ItemTable, Erase) {
  const ItemCase& tc = Cases()[GetParam()];
  if (tc.needsRoot) VT_REQUIRE_ROOT();
  testutil::TempDir dir("erase");
  const std::string base = fs::canonical(dir.path()).string();
  Chosen chosen;
  std::map<std::string, int> expected;
  Mounts mounts;
  if (!tc.setup(base, chosen, expected, mounts)) GTEST_SKIP() << tc.name << ": not possible here";
  CEraseFilesRun run;
  run.SetItems(chosen.files, chosen.folders);
  run.SetHistoryPath(dir.file("DataBase.db"));
  run.SetPauses(0, 0);
  run.Run();
  bool anyFailed = false;
  std::map<std::string, size_t> order;
  for (size_t i = 0; i < run.DoneItems().size(); ++i) {
    const EraseItem& item = run.DoneItems()[i];
    order[item.path] = i;
    auto want = expected.find(item.path);
    ASSERT_NE(want, expected.end()) << tc.name << ": unexpected item " << item.path;
    EXPECT_EQ(item.result, want->second) << tc.name << ": " << item.path;
    anyFailed |= item.result != 0;
  }
  EXPECT_EQ(order.size(), run.DoneItems().size()) << tc.name << ": an item was processed twice";
  for (const auto& [path, result] : expected) EXPECT_EQ(order.count(path), 1u) << tc.name << ": not processed " << path;
  // A folder goes after everything beneath it.
  for (const auto& [path, idx] : order)
    for (const auto& [inner, innerIdx] : order)
      if (inner.rfind(path + "/", 0) == 0) {
        EXPECT_LT(innerIdx, idx) << inner << " after " << path;
      }
  // Failed items never end in "Completed!".
  EXPECT_EQ(run.Result(), anyFailed ? ERASE_FILES_ITEMS_FAILED : ERASE_COMPLETED) << tc.name;
  tc.check(base);
  // The history holds the same rows.
  auto runs = CHistoryDataBase(dir.file("DataBase.db")).ReadAll();
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs.begin()->second.size(), run.DoneItems().size());
  for (size_t i = 0; i < run.DoneItems().size(); ++i) {
    EXPECT_EQ(runs.begin()->second[i].path, run.DoneItems()[i].path);
    EXPECT_EQ(runs.begin()->second[i].result, run.DoneItems()[i].result);
    EXPECT_EQ(runs.begin()->second[i].algorithm, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Items, ItemTable, ::testing::Range<size_t>(0, Cases().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           std::string n = Cases()[info.param].name;
                           for (char& ch : n)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

TEST(FileOverwriter, ZeroesEveryStoredByteOfASparseFileOver4GiB) {
  testutil::TempDir dir("ovw");
  const std::string p = dir.file("sparse");
  MakeSparse(p, kBig, {0, kPast4G, kBig - 6});
  int fd = open(p.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  CFileOverwriter ow;
  EXPECT_EQ(ow.Overwrite(fd, 1, true, nullptr), ERASE_ITEM_ERASED);
  for (uint64_t at : {uint64_t{0}, kPast4G, kBig - 6}) {
    char buf[6] = {1, 1, 1, 1, 1, 1};
    ASSERT_EQ(pread(fd, buf, 6, static_cast<off_t>(at)), 6);
    EXPECT_EQ(std::string(buf, 6), std::string(6, '\0')) << "at " << at;
  }
  struct stat st;
  fstat(fd, &st);
  EXPECT_EQ(static_cast<uint64_t>(st.st_size), kBig);
  EXPECT_LT(ow.BytesWritten(), 64ull << 20);  // the holes were not filled
  EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, 64ull << 20);
  close(fd);
}

TEST(FileOverwriter, HonoursPassesAndCancel) {
  testutil::TempDir dir("ovw");
  const std::string p = dir.file("f");
  WriteFile(p, std::string(100000, 'z'));
  int fd = open(p.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  CFileOverwriter ow(8192);
  std::atomic<int> cancel{1};
  EXPECT_EQ(ow.Overwrite(fd, 1, false, &cancel), ERASE_ITEM_CANCELLED);
  EXPECT_EQ(ReadFile(p), std::string(100000, 'z'));
  cancel = 0;
  EXPECT_EQ(ow.Overwrite(fd, 7, true, &cancel), ERASE_ITEM_ERASED);
  EXPECT_EQ(ow.BytesWritten(), 7u * 100000u);
  EXPECT_EQ(ReadFile(p), std::string(100000, '\0'));
  close(fd);
}

TEST(FileOverwriter, ReadBackCatchesAChangeAfterTheLastPass) {
  testutil::TempDir dir("ovw");
  const std::string base = fs::canonical(dir.path()).string();
  const std::string p = base + "/f";
  struct Case {
    int passes;
    int32_t result;
    bool kept;
  } cases[] = {{1, ERASE_ITEM_ERASED, false},         // verification optional: not read back
               {3, ERASE_ITEM_VERIFY_FAILED, true},   // mandatory: the change is seen
               {7, ERASE_ITEM_VERIFY_FAILED, true},
               {35, ERASE_ITEM_ERASED, false}};
  for (const Case& c : cases) {
    WriteFile(p, std::string(30000, 'v'));
    std::vector<int> passesSeen;
    CEraseFilesRun run;
    run.SetItems({{p, 0, 0, 0}}, {});
    run.SetPasses(c.passes);
    run.SetHistoryPath("");
    run.SetPauses(0, 0);
    // A disk that does not keep what it was given: after the last pass a
    // byte reads back as something other than zero.
    run.Overwriter().SetPassHook([&](int fd, int pass) {
      passesSeen.push_back(pass);
      if (pass == c.passes) {
        ASSERT_EQ(pwrite(fd, "X", 1, 12345), 1);
      }
    });
    run.Run();
    EXPECT_EQ(static_cast<int>(passesSeen.size()), c.passes);
    ASSERT_EQ(run.DoneItems().size(), 1u);
    EXPECT_EQ(run.DoneItems()[0].result, c.result) << c.passes << " passes";
    EXPECT_EQ(Exists(p), c.kept) << c.passes << " passes";
    EXPECT_EQ(run.Result(), c.kept ? ERASE_FILES_ITEMS_FAILED : ERASE_COMPLETED);
  }
}

// Cancels as soon as the first item is announced.
class CancelAtFirst : public IRunObserver {
 public:
  explicit CancelAtFirst(CEraseFilesRun* run) : m_run(run) {}
  void Progress(int, int, const std::string&) override { m_run->Cancel(); }
  void Done(int result, bool cancelled) override {
    doneResult = result;
    doneCancelled = cancelled;
  }
  int doneResult = -1;
  bool doneCancelled = false;

 private:
  CEraseFilesRun* m_run;
};

TEST(EraseFilesRun, ReportsOverTheBus) {
  testutil::TempDir dir("bus");
  const std::string base = fs::canonical(dir.path()).string();
  WriteFile(base + "/a", "a");
  WriteFile(base + "/b", "b");
  mkfifo((base + "/p").c_str(), 0644);
  struct Case {
    std::vector<std::string> files;
    std::vector<int> values;
    int code;
  } cases[] = {{{base + "/a", base + "/b"}, {1, 2}, ERASE_COMPLETED},
               {{base + "/p"}, {1, 2}, ERASE_FILES_ITEMS_FAILED}};
  for (const Case& c : cases) {
    testutil::BusSpy rec({MSG_ERASE_FILES_PROGRESS, MSG_ERASE_FILES_DONE});
    CEraseBusObserver bus;
    CEraseFilesRun run;
    std::vector<EraseItem> files;
    for (const auto& f : c.files) files.push_back({f, 0, 0, 0});
    run.SetItems(files, {});
    run.SetHistoryPath("");
    run.SetPauses(0, 0);
    run.SetObserver(&bus);
    run.Start();
    run.Join();
    QCoreApplication::processEvents();  // messages from the worker arrive on this thread
    std::vector<int> values;
    for (const auto& m : rec.Payloads<ProgressMsgData>(MSG_ERASE_FILES_PROGRESS)) values.push_back(m.value);
    EXPECT_EQ(values, c.values);
    const auto done = rec.Payloads<ProgressMsgData>(MSG_ERASE_FILES_DONE);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].value, static_cast<int>(c.files.size()));
    EXPECT_EQ(done[0].code, c.code);
    EXPECT_EQ(done[0].flag, 0);
    // Chosen files go last to first, so the first one is the last shown.
    EXPECT_EQ(bus.DisplayName(), c.files.front().substr(c.files.front().rfind('/') + 1));
  }
}

TEST(EraseFilesRun, CancelledOverwriteKeepsTheFileAndIsRecordedAsFailed) {
  testutil::TempDir dir("cancel");
  const std::string base = fs::canonical(dir.path()).string();
  WriteFile(base + "/first", "first");
  WriteFile(base + "/last", std::string(50000, 'L'));
  CEraseFilesRun run;
  CancelAtFirst observer(&run);
  run.SetItems({{base + "/first", 0, 0, 0}, {base + "/last", 0, 0, 0}}, {});
  run.SetHistoryPath(dir.file("DataBase.db"));
  run.SetPauses(0, 0);
  run.SetObserver(&observer);
  run.Run();
  // The last file goes first; its overwrite sees the cancel and stops.
  ASSERT_EQ(run.DoneItems().size(), 1u);
  EXPECT_EQ(run.DoneItems()[0].result, ERASE_ITEM_CANCELLED);
  EXPECT_EQ(ReadFile(base + "/last"), std::string(50000, 'L'));
  EXPECT_EQ(ReadFile(base + "/first"), "first");
  EXPECT_EQ(run.Result(), ERASE_FILES_CANCELLED);
  EXPECT_FALSE(run.IsCompleted());
  EXPECT_EQ(observer.doneResult, ERASE_FILES_CANCELLED);
  EXPECT_TRUE(observer.doneCancelled);
  auto runs = CHistoryDataBase(dir.file("DataBase.db")).ReadAll();
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs.begin()->second.size(), 1u);
  EXPECT_EQ(runs.begin()->second[0].result, ERASE_ITEM_CANCELLED);

  // Cancelled before it starts: a time row without items.
  CEraseFilesRun early;
  early.SetItems({{base + "/first", 0, 0, 0}}, {});
  early.SetHistoryPath(dir.file("early.db"));
  early.SetPauses(0, 0);
  early.Cancel();
  early.Run();
  EXPECT_TRUE(early.DoneItems().empty());
  EXPECT_EQ(early.Result(), ERASE_FILES_CANCELLED);
  EXPECT_EQ(ReadFile(base + "/first"), "first");
  auto earlyRuns = CHistoryDataBase(dir.file("early.db")).ReadAll();
  ASSERT_EQ(earlyRuns.size(), 1u);
  EXPECT_TRUE(earlyRuns.begin()->second.empty());
}

TEST(EraseResult, FilesModeTexts) {
  EXPECT_STREQ(EraseResultTitle(ERASE_COMPLETED), "Completed!");
  EXPECT_STREQ(EraseResultTitle(ERASE_FILES_ITEMS_FAILED), "Operation failed!");
  EXPECT_STREQ(EraseResultText(ERASE_MODE_FILES, ERASE_FILES_CANCELLED), "The operation was canceled by the user.");
  EXPECT_STREQ(EraseResultText(ERASE_MODE_FILES, ERASE_FILES_ITEMS_FAILED), "Maybe some sectors wipe failed.");
  EXPECT_STREQ(EraseResultText(ERASE_MODE_PARTITION, 6), "The operation was canceled by the user.");
}

}  // namespace
