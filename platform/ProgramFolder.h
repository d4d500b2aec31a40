// The two folders of the program.
//
// The program folder holds what the program writes and the settings it
// reads: settings files, the history database, the run log and crash dumps.
// It is the executable's folder unless VANTOREL_PROGRAM_DIR names another.
//
// The resource folder holds what ships with the executable: the style sheets
// ("QSS"), the images ("Resources") and the plug-ins. It is always the
// executable's folder; VANTOREL_PROGRAM_DIR does not move it. Tools and
// tests that run from elsewhere name it with SetResourceFolder.
#pragma once

#include <string>

namespace platform {

// Folder of the running executable (from /proc/self/exe), without a trailing
// slash.
std::string ExecutableFolder();

// The program folder; overridable with VANTOREL_PROGRAM_DIR.
std::string ProgramFolder();
// ProgramFolder() + "/" + name.
std::string ProgramFile(const std::string& name);

// The resource folder: ExecutableFolder() unless SetResourceFolder named
// another (an empty name returns to the executable's folder).
std::string ResourceFolder();
void SetResourceFolder(const std::string& folder);
// ResourceFolder() + "/" + name.
std::string ResourceFile(const std::string& name);
// Makes the resource folder the working directory so "./QSS/" and
// "./Resources/" resolve. Returns false when it cannot.
bool EnterResourceFolder();

}  // namespace platform
