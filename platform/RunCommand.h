// Runs a program with its arguments, without a shell, and waits for it.
#pragma once

#include <string>
#include <vector>

namespace platform {

// argv[0] is looked up on PATH (and in /sbin, /usr/sbin). Returns the exit
// code, or -1 when the program could not be started or was killed. Standard
// output and standard error land in *output when given (else are dropped).
int RunCommand(const std::vector<std::string>& argv, std::string* output = nullptr);

// The full path of a program on PATH, /sbin or /usr/sbin; empty when absent.
std::string FindProgram(const std::string& name);

}  // namespace platform
