#pragma once

#include <string>

namespace platform {

// Starts a program and does not wait for it. The command line alone names the program, found
// relative to the current directory; the new process inherits the environment and the current
// directory but no handles, and gets a console of its own.
bool StartProcess(const std::string& commandLine);

}  // namespace platform
