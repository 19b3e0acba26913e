#pragma once

#include <string>

// The engine names every file relative to the current directory, as the patcher runs in the
// game's folder, so a bench over a folder first makes it current. False, with the reason on
// stderr, when it cannot.
bool EnterFolder(const std::string& folder);
