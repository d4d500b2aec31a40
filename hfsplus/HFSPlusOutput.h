// The engine's diagnostic text (key and record dumps, failed reads, journal
// positions) goes to the run log, one log line per printed line, so a tool
// whose standard output carries its result keeps it clean.
#pragma once

#include "RunLog.h"

// printf-like; the text is collected until a '\n' ends the line, which is
// then written to the run log. Lines are kept per thread.
void HFSPlusPrint(const char* format, ...) RUNLOG_PRINTF(1, 2);
