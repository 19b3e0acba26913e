#pragma once

#include <string>

#include "tests/support/scratch_folder.h"

// Puts a program under `name` that writes the command line it was started with (program name
// without its folder, then its words) to "recorded.txt" in the current directory.
void WriteRecorderProgram(const ScratchFolder& folder, const std::string& name);
