#pragma once

#include <string>

class Console;

// --start after a run that ended Done: starts the program that patch.sys (the one the run
// left) names in [Button3] Exe, as the window's start button does. The exit status: 0 when
// it was started or patch.sys names none (the patching itself succeeded), 6 when it could
// not be started.
constexpr int kExitNotStarted = 6;
int StartGameProgram(const std::string& configPath, Console& console);
