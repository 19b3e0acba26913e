#pragma once

#include <string>

namespace platform {

// Starts the program file `path` with no command line at all, so nothing in the name is taken
// for arguments; otherwise as StartProcess.
bool StartProgramFile(const std::string& path);

}  // namespace platform
