#include "RunLog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct LogState {
  std::mutex mutex;
  FILE* file = nullptr;  // null: standard error
  std::string path;
  int debug = -1;  // -1: not decided yet, read from the environment
};

LogState& State() {
  static LogState* state = new LogState;  // never destroyed: logging may run during exit
  return *state;
}

// Lines longer than this are cut (at a UTF-8 character boundary).
constexpr size_t kMaxLine = 64 * 1024;

void CutUtf8(std::string& text, size_t max) {
  if (text.size() <= max) return;
  size_t cut = max;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
}

void Write(RunLogLevel level, const char* format, va_list args) {
  std::string text = RunLogVFormat(format, args);
  CutUtf8(text, kMaxLine);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  auto now = std::chrono::system_clock::now();
  long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::string line = RunLogFormatLine(level, ms, static_cast<long>(syscall(SYS_gettid)), text);
  line += '\n';
  LogState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  FILE* out = s.file ? s.file : stderr;
  fwrite(line.data(), 1, line.size(), out);
  fflush(out);
}

}  // namespace

std::string RunLogVFormat(const char* format, va_list args) {
  if (!format) return std::string();
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int n = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return std::string();
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n) + 1, '\0');
  vsnprintf(&out[0], out.size(), format, args);
  out.resize(static_cast<size_t>(n));
  return out;
}

const char* RunLogLevelName(RunLogLevel level) {
  switch (level) {
    case RunLogLevel::Info: return "INFO";
    case RunLogLevel::Error: return "ERROR";
    case RunLogLevel::Debug: return "DEBUG";
    case RunLogLevel::Release: return "TRACE";
  }
  return "INFO";
}

std::string RunLogFormatLine(RunLogLevel level, long long epochMillis, long threadId, const std::string& text) {
  time_t secs = static_cast<time_t>(epochMillis / 1000);
  int millis = static_cast<int>(epochMillis % 1000);
  struct tm tmv;
  localtime_r(&secs, &tmv);
  char stamp[64];
  snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tmv.tm_year + 1900, tmv.tm_mon + 1,
           tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec, millis);
  std::string line = stamp;
  line += " [" + std::to_string(threadId) + "] ";
  line += RunLogLevelName(level);
  line += ' ';
  line += text;
  return line;
}

bool RunLogSetFile(const std::string& path) {
  LogState& s = State();
  FILE* f = nullptr;
  if (!path.empty()) {
    f = fopen(path.c_str(), "ae");
    if (!f) return false;
  }
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.file) fclose(s.file);
  s.file = f;
  s.path = path;
  return true;
}

std::string RunLogFile() {
  LogState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.path;
}

void RunLogSetDebug(bool on) {
  LogState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.debug = on ? 1 : 0;
}

bool RunLogDebugEnabled() {
  LogState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.debug < 0) {
    const char* env = getenv("VANTOREL_DEBUG_TRACE");
    s.debug = (env && strcmp(env, "0") != 0 && *env) ? 1 : 0;
  }
  return s.debug == 1;
}

#define RUNLOG_DEFINE(fn, level)           \
  void fn(const char* format, ...) {       \
    va_list args;                          \
    va_start(args, format);                \
    Write(level, format, args);            \
    va_end(args);                          \
  }

RUNLOG_DEFINE(LogInfo, RunLogLevel::Info)
RUNLOG_DEFINE(LogError, RunLogLevel::Error)
RUNLOG_DEFINE(ReleaseTrace, RunLogLevel::Release)

void DebugTrace(const char* format, ...) {
  if (!RunLogDebugEnabled()) return;
  va_list args;
  va_start(args, format);
  Write(RunLogLevel::Debug, format, args);
  va_end(args);
}
