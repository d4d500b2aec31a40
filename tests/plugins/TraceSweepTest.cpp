// The traces plug-in, loaded by name from the program folder as the program
// loads it, run against fake home folders made here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ITraceSweep.h"
#include "NamedLibrary.h"
#include "OtherUserDir.h"
#include "ProcessControl.h"
#include "ProgramFolder.h"
#include "TestUtil.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// --- helpers -------------------------------------------------------------------------------

void MakeFile(const std::string& path, size_t size) {
  fs::create_directories(fs::path(path).parent_path());
  testutil::WriteFile(path, std::string(size, 'x'));
}

void Sql(const std::string& path, const std::string& sql) {
  fs::create_directories(fs::path(path).parent_path());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* err = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
  sqlite3_free(err);
  sqlite3_close(db);
}

int64_t Count(const std::string& path, const std::string& query) {
  sqlite3* db = nullptr;
  int64_t n = -1;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, query.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    n = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  sqlite3_close(db);
  return n;
}

uint64_t DuBytes(const std::string& path) {
  auto r = testutil::Run({"du", "-bs", path});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return std::stoull(r.output);
}

// Records what the plug-in reports, answers termination requests with a fixed answer.
class RecordingSink : public ITraceSweepSink {
 public:
  struct Report {
    std::string name;
    uint64_t size;
    ITraceSweepItem* item;
  };
  bool OnProgress(int percent, uint32_t) override {
    EXPECT_GE(percent, 0);
    EXPECT_LE(percent, 100);
    EXPECT_GE(percent, lastPercent);
    lastPercent = percent;
    return true;
  }
  bool OnGarbageFound(std::string name, uint64_t size, ITraceSweepItem* item) override {
    found.push_back({name, size, item});
    return true;
  }
  bool OnTerminateProcess(std::string name, const uint32_t* ids, uint32_t) override {
    requests.push_back({name, {}});
    for (int i = 0; ids[i] != 0 && i < 64; ++i) requests.back().second.push_back(ids[i]);
    return answer;
  }
  bool OnGarbageCleaned(std::string name, uint64_t size, ITraceSweepItem* item) override {
    cleaned.push_back({name, size, item});
    return true;
  }
  static uint64_t Sum(const std::vector<Report>& reports, ITraceSweepItem* item) {
    uint64_t total = 0;
    for (const Report& r : reports)
      if (r.item == item) total += r.size;
    return total;
  }

  bool answer = false;
  int lastPercent = 0;
  std::vector<Report> found, cleaned;
  std::vector<std::pair<std::string, std::vector<uint32_t>>> requests;
};

// The plug-in library, loaded once for the whole program.
platform::NamedLibrary& Library() {
  static platform::NamedLibrary* lib = [] {
    platform::SetResourceFolder(VANTOREL_BIN_DIR);
    auto* l = new platform::NamedLibrary;
    l->Load("TraceSweep.dll");
    platform::SetResourceFolder(std::string());
    return l;
  }();
  return *lib;
}

struct Releaser {
  void operator()(IZQObject* o) const {
    if (o) o->Release();
  }
};
using RootPtr = std::unique_ptr<ITraceSweep, Releaser>;

RootPtr NewRoot() {
  auto getImp = Library().OperationAs<TraceSweepGetImpFn>("GetImp");
  return RootPtr(getImp ? getImp() : nullptr);
}

RootPtr InitRoot() {
  RootPtr root = NewRoot();
  if (root) {
    const std::string bin = VANTOREL_BIN_DIR;
    EXPECT_EQ(root->Init(bin + "/Config.xml", bin + "/ResIDText.xml"), 0);
  }
  return root;
}

// Every item of the tree by its identifier, walked as the page walks it.
std::map<std::string, ITraceSweepItem*> ItemsById(ITraceSweep* root) {
  std::map<std::string, ITraceSweepItem*> out;
  std::vector<ITraceSweepItem*> level;
  for (ITraceSweepItem* g = root->GetFirstItem(); g; g = root->GetNextItem(g)) {
    level.push_back(g);
    g->Release();  // the position stays usable
  }
  while (!level.empty()) {
    std::vector<ITraceSweepItem*> next;
    for (ITraceSweepItem* item : level) {
      out[item->GetInfo()->id] = item;
      for (ITraceSweepItem* c = item->GetFirstItem(); c; c = item->GetNextItem(c)) {
        next.push_back(c);
        c->Release();
      }
    }
    level = next;
  }
  return out;
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = getenv(name)) m_old = old, m_had = true;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_had)
      setenv(m_name.c_str(), m_old.c_str(), 1);
    else
      unsetenv(m_name.c_str());
  }

 private:
  std::string m_name, m_old;
  bool m_had = false;
};

// A fake home with a Firefox and a Chromium profile, and a folder beside it
// that links inside the profiles point at.
class FakeHome : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().IsLoaded()) << Library().Error();
    home = dir.file("home");
    outside = dir.file("outside");
    fs::create_directories(home);
    env = std::make_unique<ScopedEnv>("VANTOREL_TRACES_HOME", home.c_str());

    ffProfile = home + "/.mozilla/firefox/ab12.default-esr";
    ffCache = home + "/.cache/mozilla/firefox/ab12.default-esr/cache2";
    MakeFile(ffCache + "/entries/0A1B", 1000);
    MakeFile(ffCache + "/entries/77FF", 23456);
    fs::create_directories(ffCache + "/doomed");
    MakeFile(outside + "/secret/keep.txt", 5000);
    fs::create_symlink(outside + "/secret", ffCache + "/entries/escape");
    Sql(ffProfile + "/places.sqlite",
        "CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url TEXT, visit_count INTEGER, last_visit_date INTEGER);"
        "CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, place_id INTEGER, visit_date INTEGER);"
        "CREATE TABLE moz_bookmarks(id INTEGER PRIMARY KEY, fk INTEGER, title TEXT);"
        "CREATE TABLE moz_annos(id INTEGER PRIMARY KEY, place_id INTEGER, content TEXT);"
        "INSERT INTO moz_places VALUES(1,'https://kept.example/',3,1700000000),(2,'https://a.example/',1,1),"
        "(3,'https://b.example/',2,2),(4,'https://c.example/',1,3);"
        "INSERT INTO moz_historyvisits(place_id, visit_date) VALUES(1,1),(2,2),(3,3),(3,4),(4,5);"
        "INSERT INTO moz_bookmarks VALUES(1,1,'Kept');");
    MakeFile(ffProfile + "/cookies.sqlite", 777);
    // A profile folder that is a link out of the home: never entered.
    MakeFile(outside + "/other-profile/sessionstore.jsonlz4", 99);
    fs::create_symlink(outside + "/other-profile", home + "/.mozilla/firefox/linked.default");

    crProfile = home + "/.config/chromium/Default";
    crCache = home + "/.cache/chromium/Default/Cache";
    MakeFile(crCache + "/Cache_Data/data_0", 8192);
    MakeFile(crCache + "/Cache_Data/index", 24);
    // A matched path that is a link: left alone with its target.
    MakeFile(outside + "/gpu/shader.bin", 300);
    fs::create_directories(crProfile);
    fs::create_symlink(outside + "/gpu", crProfile + "/GPUCache");
    Sql(crProfile + "/History",
        "CREATE TABLE urls(id INTEGER PRIMARY KEY, url TEXT, title TEXT);"
        "CREATE TABLE visits(id INTEGER PRIMARY KEY, url INTEGER, visit_time INTEGER);"
        "CREATE TABLE downloads(id INTEGER PRIMARY KEY, target_path TEXT);"
        "CREATE TABLE downloads_url_chains(id INTEGER, chain_index INTEGER, url TEXT);"
        "INSERT INTO urls VALUES(1,'https://x.example/','X'),(2,'https://y.example/','Y');"
        "INSERT INTO visits(url, visit_time) VALUES(1,1),(1,2),(2,3);"
        "INSERT INTO downloads VALUES(1,'/home/u/Downloads/file.iso');"
        "INSERT INTO downloads_url_chains VALUES(1,0,'https://x.example/file.iso');");

    MakeFile(home + "/.cache/thumbnails/normal/abc.png", 640);
    MakeFile(home + "/.local/share/recently-used.xbel", 321);

    root = InitRoot();
    ASSERT_TRUE(root);
    items = ItemsById(root.get());
  }

  ITraceSweepItem* Item(const std::string& id) {
    auto it = items.find(id);
    EXPECT_NE(it, items.end()) << id;
    return it == items.end() ? nullptr : it->second;
  }
  void SetChecked(const std::string& id, bool on) {
    ITraceSweepItemCheck* check = Item(id)->QueryCheck();
    ASSERT_NE(check, nullptr) << id;
    check->SetChecked(on ? 1 : 0);
  }

  testutil::TempDir dir{"traces"};
  std::string home, outside, ffProfile, ffCache, crProfile, crCache;
  std::unique_ptr<ScopedEnv> env;
  RootPtr root;
  std::map<std::string, ITraceSweepItem*> items;
};

// --- tests ---------------------------------------------------------------------------------

TEST(TraceSweepLoading, LoadsByNameAndBuildsItsTree) {
  ASSERT_TRUE(Library().IsLoaded()) << Library().Error();
  EXPECT_EQ(Library().Path(), std::string(VANTOREL_BIN_DIR) + "/libTraceSweep.so");
  RootPtr root = InitRoot();
  ASSERT_TRUE(root);
  EXPECT_EQ(root->GetVersion(), TraceSweepVersion);

  // Three levels: groups, categories, entries; entries alone have check boxes.
  std::vector<std::string> groups;
  for (ITraceSweepItem* g = root->GetFirstItem(); g; g = root->GetNextItem(g)) {
    EXPECT_EQ(g->GetKind(), TraceSweepItemKind::Group);
    EXPECT_EQ(g->QueryCheck(), nullptr);
    groups.push_back(g->GetInfo()->name);
    for (ITraceSweepItem* c = g->GetFirstItem(); c; c = g->GetNextItem(c)) {
      EXPECT_EQ(c->GetKind(), TraceSweepItemKind::Category);
      EXPECT_FALSE(c->GetInfo()->icon.empty());
      for (ITraceSweepItem* e = c->GetFirstItem(); e; e = c->GetNextItem(e)) {
        EXPECT_EQ(e->GetKind(), TraceSweepItemKind::Entry);
        ASSERT_NE(e->QueryCheck(), nullptr);
        EXPECT_EQ(e->QueryCheck()->GetItem(), e);
        EXPECT_EQ(e->GetInfo()->name.find('#'), std::string::npos) << "no text for " << e->GetInfo()->id;
        e->Release();
      }
      c->Release();
    }
    g->Release();
  }
  EXPECT_EQ(groups, (std::vector<std::string>{"Internet browsers", "Desktop"}));

  auto all = ItemsById(root.get());
  for (const char* id :
       {"firefox.cache", "firefox.history", "chromium.history", "chrome.cache", "brave.cache", "vivaldi.cache",
        "edge.cache", "epiphany.cache", "epiphany.cookies", "desktop.thumbnails", "desktop.recent"})
    EXPECT_TRUE(all.count(id)) << id;
  EXPECT_EQ(all["firefox"]->GetInfo()->name, "Mozilla Firefox");
  EXPECT_EQ(all["firefox.cache"]->QueryCheck()->IsChecked(), 1);
  EXPECT_EQ(all["firefox.cookies"]->QueryCheck()->IsChecked(), 0);
}

TEST(TraceSweepLoading, InitRefusesMissingOrUnsafeFiles) {
  RootPtr root = NewRoot();
  ASSERT_TRUE(root);
  testutil::TempDir dir("tscfg");
  const std::string bin = VANTOREL_BIN_DIR;
  {
    // The refusal is written to the program's run log, not only to stderr.
    testutil::TempDir program("tsprog");
    testutil::WriteFile(program.file("RunLog.log"), "");  // as the program makes it at start
    setenv("VANTOREL_PROGRAM_DIR", program.path().c_str(), 1);
    EXPECT_NE(root->Init(dir.file("none.xml"), bin + "/ResIDText.xml"), 0);
    unsetenv("VANTOREL_PROGRAM_DIR");
    const std::string log = testutil::ReadFile(program.file("RunLog.log"));
    EXPECT_NE(log.find("ERROR TraceSweep:"), std::string::npos) << log;
    EXPECT_NE(log.find("none.xml"), std::string::npos) << log;
  }
  EXPECT_EQ(root->GetFirstItem(), nullptr);
  // A pattern leaving the home folder makes the whole file unusable.
  for (const char* pattern : {"../etc/passwd", "/etc", ".cache/../../x", "{unknown}/x"}) {
    testutil::WriteFile(dir.file("Config.xml"),
                        std::string("<TraceSweep><Group id='g' resid='1'><Category id='c' resid='1'>"
                                    "<Entry id='e' resid='1'><Path>") +
                            pattern + "</Path></Entry></Category></Group></TraceSweep>");
    EXPECT_NE(root->Init(dir.file("Config.xml"), bin + "/ResIDText.xml"), 0) << pattern;
  }
  EXPECT_EQ(root->Uninit(), 0);
  // Runs without a successful Init do nothing.
  RecordingSink sink;
  EXPECT_NE(root->Scan(&sink), 0);
  EXPECT_TRUE(sink.found.empty());
}

TEST(TraceSweepTarget, TheDesktopUserNotRootsEnvironment) {
  ScopedEnv noForced("VANTOREL_TRACES_HOME", nullptr);
  ScopedEnv fakeHome("HOME", "/tmp");
  RootPtr root = InitRoot();
  ASSERT_TRUE(root);
  auto realHome = [](uid_t uid) -> std::string {
    struct passwd* pw = getpwuid(uid);
    char buf[PATH_MAX];
    return pw && realpath(pw->pw_dir, buf) ? std::string(buf) : std::string();
  };
  {
    ScopedEnv sudo("SUDO_UID", nullptr);
    ScopedEnv pkexec("PKEXEC_UID", nullptr);
    EXPECT_EQ(root->GetTargetHome(), realHome(getuid()));
  }
  if (getuid() != 0) GTEST_SKIP() << "the invoking user is taken only when running as root";
  // Under sudo the invoking user's home, whatever $HOME says.
  uid_t other = static_cast<uid_t>(-1);
  setpwent();
  while (struct passwd* pw = getpwent()) {
    struct stat st;
    if (pw->pw_uid != 0 && pw->pw_dir && stat(pw->pw_dir, &st) == 0 && S_ISDIR(st.st_mode) &&
        std::string(pw->pw_dir) != "/") {
      other = pw->pw_uid;
      break;
    }
  }
  endpwent();
  if (other == static_cast<uid_t>(-1)) GTEST_SKIP() << "no other user with a home folder here";
  const std::string uidText = std::to_string(other);
  {
    ScopedEnv sudo("SUDO_UID", uidText.c_str());
    EXPECT_EQ(root->GetTargetHome(), realHome(other));
  }
  {
    ScopedEnv sudo("SUDO_UID", "not-a-number");
    ScopedEnv pkexec("PKEXEC_UID", uidText.c_str());
    EXPECT_EQ(root->GetTargetHome(), realHome(other));
  }
}

TEST_F(FakeHome, ScanReportsWhatDuCounts) {
  RecordingSink sink;
  EXPECT_EQ(root->Scan(&sink), 0);
  EXPECT_EQ(sink.lastPercent, 100);
  EXPECT_TRUE(sink.requests.empty());  // a scan never ends programs

  EXPECT_EQ(RecordingSink::Sum(sink.found, Item("firefox.cache")), DuBytes(ffCache));
  EXPECT_EQ(RecordingSink::Sum(sink.found, Item("chromium.cache")), DuBytes(crCache));
  EXPECT_EQ(RecordingSink::Sum(sink.found, Item("firefox.cookies")), 777u);
  EXPECT_EQ(RecordingSink::Sum(sink.found, Item("desktop.thumbnails")), DuBytes(home + "/.cache/thumbnails/normal"));
  EXPECT_EQ(RecordingSink::Sum(sink.found, Item("desktop.recent")), 321u);
  EXPECT_GT(RecordingSink::Sum(sink.found, Item("firefox.history")), 0u);
  EXPECT_GT(RecordingSink::Sum(sink.found, Item("chromium.history")), 0u);
  EXPECT_GT(RecordingSink::Sum(sink.found, Item("chromium.downloads")), 0u);

  // Nothing reported comes from outside the home (the linked profile, the linked GPU cache).
  bool notFoundReported = false;
  for (const auto& r : sink.found) {
    if (r.name.rfind("/", 0) == 0)
      EXPECT_EQ(r.name.rfind(home + "/", 0), 0u) << r.name;
    else
      notFoundReported = notFoundReported || (r.size == 0 && r.item == Item("firefox.session"));
    EXPECT_EQ(r.name.find("linked.default"), std::string::npos) << r.name;
    EXPECT_EQ(r.name.find("GPUCache"), std::string::npos) << r.name;
  }
  // An entry that found nothing reports 0 once, so the page can show it as not found.
  EXPECT_TRUE(notFoundReported);
  // Programs whose data is absent are not offered.
  for (const auto& r : sink.found) EXPECT_NE(r.item, Item("chrome.cache"));
  EXPECT_FALSE(Item("chrome")->IsEnabled());
  EXPECT_TRUE(Item("firefox")->IsEnabled());
}

TEST_F(FakeHome, CleanRemovesCheckedTracesAndKeepsWhatTheUserKeeps) {
  const uint64_t ffCacheBytes = DuBytes(ffCache);
  SetChecked("desktop.thumbnails", false);  // unticked: stays
  SetChecked("firefox.cookies", false);
  SetChecked("chromium.history", true);
  SetChecked("chromium.downloads", false);

  RecordingSink sink;
  EXPECT_EQ(root->Clean(&sink), 0);
  EXPECT_TRUE(sink.requests.empty());

  // Caches gone, through-link targets untouched.
  EXPECT_FALSE(fs::exists(ffCache));
  EXPECT_FALSE(fs::exists(crCache));
  EXPECT_EQ(RecordingSink::Sum(sink.cleaned, Item("firefox.cache")), ffCacheBytes);
  EXPECT_TRUE(fs::exists(outside + "/secret/keep.txt"));
  EXPECT_TRUE(fs::is_symlink(crProfile + "/GPUCache"));
  EXPECT_TRUE(fs::exists(outside + "/gpu/shader.bin"));
  EXPECT_TRUE(fs::exists(outside + "/other-profile/sessionstore.jsonlz4"));

  // Firefox: history rows gone, the bookmark and its place kept.
  const std::string places = ffProfile + "/places.sqlite";
  EXPECT_EQ(Count(places, "SELECT count(*) FROM moz_historyvisits"), 0);
  EXPECT_EQ(Count(places, "SELECT count(*) FROM moz_bookmarks"), 1);
  EXPECT_EQ(Count(places, "SELECT count(*) FROM moz_places"), 1);
  EXPECT_EQ(Count(places, "SELECT visit_count FROM moz_places WHERE id = 1"), 0);
  // Chromium: visits and urls gone, downloads kept.
  const std::string history = crProfile + "/History";
  EXPECT_EQ(Count(history, "SELECT count(*) FROM visits"), 0);
  EXPECT_EQ(Count(history, "SELECT count(*) FROM urls"), 0);
  EXPECT_EQ(Count(history, "SELECT count(*) FROM downloads"), 1);
  EXPECT_EQ(Count(history, "SELECT count(*) FROM downloads_url_chains"), 1);
  EXPECT_GT(RecordingSink::Sum(sink.cleaned, Item("chromium.history")), 0u);

  // Unticked entries stay.
  EXPECT_TRUE(fs::exists(ffProfile + "/cookies.sqlite"));
  EXPECT_TRUE(fs::exists(home + "/.cache/thumbnails/normal/abc.png"));
  EXPECT_FALSE(fs::exists(home + "/.local/share/recently-used.xbel"));
  for (const auto& r : sink.cleaned) {
    EXPECT_NE(r.item, Item("desktop.thumbnails"));
    EXPECT_NE(r.item, Item("firefox.cookies"));
  }

  // The deleted history does not linger in the files.
  for (const std::string& db : {places, history}) {
    const std::string bytes = testutil::ReadFile(db);
    EXPECT_EQ(bytes.find("a.example"), std::string::npos) << db;
    EXPECT_EQ(bytes.find("y.example"), std::string::npos) << db;
  }
  // A second scan finds no history rows.
  RecordingSink again;
  EXPECT_EQ(root->Scan(&again), 0);
  EXPECT_EQ(RecordingSink::Sum(again.found, Item("firefox.cache")), 0u);
  EXPECT_EQ(RecordingSink::Sum(again.found, Item("chromium.history")), 0u);
  EXPECT_GT(RecordingSink::Sum(again.found, Item("chromium.downloads")), 0u);
}

// A running browser (a copy of sleep named like one) is offered for
// termination before its traces are cleaned.
class RunningBrowser : public FakeHome {
 protected:
  void TearDown() override {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // Runs the fake browser as a user of its own, who owns the fake home: the
  // plug-in looks only at the home owner's processes, so tests running side
  // by side never see each other's browsers. The program lies in a folder
  // that user can reach wherever the checkout is (a private home included).
  void Start(const std::string& name) {
    const uid_t user = static_cast<uid_t>(20000 + getpid() % 30000);
    for (const auto& e : fs::recursive_directory_iterator(home)) ASSERT_EQ(lchown(e.path().c_str(), user, user), 0);
    ASSERT_EQ(lchown(home.c_str(), user, user), 0);

    programDir = std::make_unique<testutil::OtherUserDir>(user, user);
    const std::string exe = programDir->file(name);
    fs::copy_file("/bin/sleep", exe);
    fs::permissions(exe, fs::perms::all, fs::perm_options::add);
    // The child reports a failed exec through a pipe closed by a good one.
    int report[2];
    ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int err = 0;
      if (setgid(user) != 0 || setuid(user) != 0) {
        err = errno;
      } else {
        // A copy just written may still be busy for a moment (ETXTBSY).
        for (int i = 0; i < 100; ++i) {
          execl(exe.c_str(), exe.c_str(), "300", static_cast<char*>(nullptr));
          err = errno;
          if (err != ETXTBSY) break;
          usleep(20000);
        }
      }
      (void)!write(report[1], &err, sizeof err);
      _exit(127);
    }
    close(report[1]);
    int err = 0;
    const ssize_t got = read(report[0], &err, sizeof err);
    close(report[0]);
    ASSERT_NE(got, static_cast<ssize_t>(sizeof err)) << "the fake browser did not start: " << strerror(err);
    // The exec went through; wait for its name in /proc (however busy the machine).
    std::string comm;
    for (int i = 0; i < 3000 && comm != name + "\n"; ++i) {
      comm = testutil::ReadFile("/proc/" + std::to_string(pid) + "/comm");
      if (comm != name + "\n") usleep(10000);
    }
    ASSERT_EQ(comm, name + "\n") << "the fake browser did not show up in /proc";
  }
  bool Running() {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == 0;
  }
  pid_t pid = -1;
  std::unique_ptr<testutil::OtherUserDir> programDir;
};

TEST_F(RunningBrowser, RefusalKeepsTheBrowserAndItsTraces) {
  VT_REQUIRE_ROOT();
  Start("firefox-esr");
  RecordingSink sink;
  sink.answer = false;
  EXPECT_EQ(root->Clean(&sink), 0);
  ASSERT_EQ(sink.requests.size(), 1u);
  EXPECT_EQ(sink.requests[0].first, "Mozilla Firefox");
  EXPECT_EQ(sink.requests[0].second, std::vector<uint32_t>{static_cast<uint32_t>(pid)});
  EXPECT_TRUE(Running());
  EXPECT_TRUE(fs::exists(ffCache + "/entries/0A1B"));
  EXPECT_EQ(Count(ffProfile + "/places.sqlite", "SELECT count(*) FROM moz_historyvisits"), 5);
  for (const auto& r : sink.cleaned) EXPECT_NE(r.item->GetInfo()->id.rfind("firefox.", 0), 0u) << r.name;
  // Other programs are cleaned all the same.
  EXPECT_FALSE(fs::exists(crCache));
}

TEST_F(RunningBrowser, ConsentEndsTheBrowserBeforeCleaning) {
  VT_REQUIRE_ROOT();
  Start("firefox-esr");
  RecordingSink sink;
  sink.answer = true;
  EXPECT_EQ(root->Clean(&sink), 0);
  ASSERT_EQ(sink.requests.size(), 1u);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  pid = -1;
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_FALSE(fs::exists(ffCache));
  EXPECT_EQ(Count(ffProfile + "/places.sqlite", "SELECT count(*) FROM moz_historyvisits"), 0);
}

}  // namespace

namespace {

// Running as root, the plug-in must leave the user's databases (and any
// journal SQLite keeps beside them) owned by the user, or the browser cannot
// open its history afterwards.
TEST_F(FakeHome, DatabasesStayTheUsersFiles) {
  VT_REQUIRE_ROOT();
  const uid_t user = 4242;
  const std::string places = ffProfile + "/places.sqlite";
  Sql(places, "PRAGMA journal_mode=WAL;");
  for (const auto& e : fs::recursive_directory_iterator(home + "/.mozilla"))
    ASSERT_EQ(lchown(e.path().c_str(), user, user), 0);
  RecordingSink scan, clean;
  EXPECT_EQ(root->Scan(&scan), 0);
  EXPECT_EQ(root->Clean(&clean), 0);
  EXPECT_EQ(Count(places, "SELECT count(*) FROM moz_historyvisits"), 0);
  for (const auto& e : fs::recursive_directory_iterator(ffProfile)) {
    struct stat st;
    ASSERT_EQ(lstat(e.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, user) << e.path();
  }
}

}  // namespace

namespace {

TEST_F(FakeHome, ASinkThatSaysStopEndsTheRun) {
  struct StoppingSink : RecordingSink {
    bool OnGarbageFound(std::string name, uint64_t size, ITraceSweepItem* item) override {
      RecordingSink::OnGarbageFound(name, size, item);
      return false;
    }
  } sink;
  EXPECT_NE(root->Scan(&sink), 0);
  EXPECT_EQ(sink.found.size(), 1u);
}

// What the page uses to end a browser: SIGTERM, then SIGKILL for one that ignores it.
TEST(ProcessControl, TerminationEscalatesAndRefusesSpecialIds) {
  pid_t pid = -1;
  const char* argv[] = {"/bin/sh", "-c", "trap '' TERM; exec sleep 300", nullptr};
  ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
  for (int i = 0; i < 500 && testutil::ReadFile("/proc/" + std::to_string(pid) + "/comm") != "sleep\n"; ++i)
    usleep(10000);
  EXPECT_TRUE(platform::IsProcessAlive(pid));
  EXPECT_EQ(platform::FindProcessIds({"sleep"}, getuid()).empty(), false);
  EXPECT_TRUE(platform::TerminateProcessById(pid, 200));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_FALSE(platform::IsProcessAlive(pid));

  EXPECT_FALSE(platform::TerminateProcessById(1));
  EXPECT_FALSE(platform::TerminateProcessById(0));
  EXPECT_FALSE(platform::TerminateProcessById(getpid()));
}

}  // namespace
