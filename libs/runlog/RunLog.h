// The in-house logging library: printf-style diagnostic lines.
//
// Each call formats one line and appends it, with a time stamp, the thread
// id and its level, to the log output (a file chosen with RunLogSetFile,
// standard error until then). A line that cannot be written is dropped;
// callers never see an error.
#pragma once

#include <cstdarg>
#include <string>

#if defined(__GNUC__)
#define RUNLOG_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define RUNLOG_PRINTF(fmt, args)
#endif

void LogInfo(const char* format, ...) RUNLOG_PRINTF(1, 2);
void LogError(const char* format, ...) RUNLOG_PRINTF(1, 2);
// Fine-grained detail; written only while debug tracing is on.
void DebugTrace(const char* format, ...) RUNLOG_PRINTF(1, 2);
void ReleaseTrace(const char* format, ...) RUNLOG_PRINTF(1, 2);

enum class RunLogLevel { Info, Error, Debug, Release };

// Where the lines go. An empty path sends them to standard error again.
// Returns false (and keeps the previous output) when the file cannot be opened.
bool RunLogSetFile(const std::string& path);
std::string RunLogFile();
// Debug tracing is off unless switched on here or by VANTOREL_DEBUG_TRACE=1.
void RunLogSetDebug(bool on);
bool RunLogDebugEnabled();

// Formats one line exactly as it is written (without the line end):
// "yyyy-MM-dd hh:mm:ss.zzz [tid] LEVEL text". Exposed for tests.
std::string RunLogFormatLine(RunLogLevel level, long long epochMillis, long threadId, const std::string& text);
// The name of a level as it stands in a line: INFO, ERROR, DEBUG, TRACE.
const char* RunLogLevelName(RunLogLevel level);
// printf into a std::string of any length.
std::string RunLogVFormat(const char* format, va_list args) RUNLOG_PRINTF(1, 0);
