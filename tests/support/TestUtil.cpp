#include "TestUtil.h"

#include <fcntl.h>
#include <sys/file.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace testutil {

std::string SourceDir() { return VANTOREL_SOURCE_DIR; }
std::string BuildDir() { return VANTOREL_BUILD_DIR; }

TempDir::TempDir(const std::string& tag) {
  std::string base = BuildDir() + "/tmp";
  std::filesystem::create_directories(base);
  std::string tmpl = base + "/" + tag + "-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  m_path = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

static CommandResult Spawn(const std::vector<std::string>& argv) {
  CommandResult result;
  if (argv.empty()) return result;
  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipefd[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipefd[1]);
  if (rc != 0) {
    close(pipefd[0]);
    result.output = "cannot start " + argv[0];
    return result;
  }
  char buf[4096];
  ssize_t n;
  while ((n = read(pipefd[0], buf, sizeof buf)) > 0) result.output.append(buf, static_cast<size_t>(n));
  close(pipefd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

CommandResult Run(const std::vector<std::string>& argv) { return Spawn(argv); }

CommandResult Shell(const std::string& commandLine) { return Spawn({"/bin/bash", "-c", commandLine}); }

bool HaveTool(const std::string& name) {
  return Shell("command -v '" + name + "' >/dev/null 2>&1").exitCode == 0;
}

bool IsRoot() { return geteuid() == 0; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool HaveFuse() {
  return access("/dev/fuse", R_OK | W_OK) == 0;
}

namespace {

// FNV-1a: stable from one build and run to the next, unlike std::hash.
std::string KeyHash(const std::string& key) {
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : key) h = (h ^ c) * 1099511628211ull;
  char text[17];
  snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

}  // namespace

std::string SharedFixtureFolder(const std::string& name, const std::string& key,
                                const std::function<CommandResult(const std::string& folder)>& make,
                                std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(BuildDir() + "/fixtures", ec);
  const std::string folder = BuildDir() + "/fixtures/" + name + "-" + KeyHash(key);
  const int lock = open((folder + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0 || flock(lock, LOCK_EX) != 0) {
    error = "cannot lock " + folder + ".lock";
    if (lock >= 0) close(lock);
    return std::string();
  }
  std::string made = folder;
  if (!fs::is_directory(folder, ec)) {
    // Only the holder of the lock makes this fixture, so a temporary folder
    // found here was left by a make that was killed.
    const std::string tmp = folder + ".tmp";
    fs::remove_all(tmp, ec);
    fs::create_directories(tmp, ec);
    const CommandResult r = make(tmp);
    if (r.exitCode != 0 || rename(tmp.c_str(), folder.c_str()) != 0) {
      error = r.exitCode != 0 ? r.output : "cannot rename " + tmp + " to " + folder;
      fs::remove_all(tmp, ec);
      made.clear();
    }
  }
  flock(lock, LOCK_UN);
  close(lock);
  return made;
}

std::string SharedFixture(const std::string& script, const std::vector<std::string>& args, const std::string& file,
                          std::string& error) {
  const std::string path = SourceDir() + "/tests/fixtures/" + script;
  std::string key = ReadFile(path);
  if (key.empty()) {
    error = "no fixture script " + path;
    return std::string();
  }
  for (const std::string& a : args) key += "\narg " + a;
  key += IsRoot() ? "\nroot" : "\nnot root";
  key += HaveFuse() ? "\nfuse" : "\nno fuse";
  if (!file.empty()) key += "\nfile " + file;
  const std::string name = script.substr(0, script.rfind(".sh"));
  const std::string folder = SharedFixtureFolder(
      name, key,
      [&](const std::string& tmp) {
        std::vector<std::string> argv = {"bash", path, file.empty() ? tmp : tmp + "/" + file};
        argv.insert(argv.end(), args.begin(), args.end());
        return Run(argv);
      },
      error);
  if (folder.empty()) return std::string();
  return file.empty() ? folder : folder + "/" + file;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.push_back("");
  return fields;
}

}  // namespace testutil
