// The program folder: where the executable lies, and with it the settings,
// style sheets, images, history database and crash dumps.
#pragma once

#include <string>

namespace platform {

// Folder of the running executable (from /proc/self/exe), without a trailing
// slash. Overridable with VANTOREL_PROGRAM_DIR for tests.
std::string ProgramFolder();
// ProgramFolder() + "/" + name.
std::string ProgramFile(const std::string& name);
// Makes the program folder the working directory so "./QSS/" and
// "./Resources/" resolve. Returns false when it cannot.
bool EnterProgramFolder();

}  // namespace platform
