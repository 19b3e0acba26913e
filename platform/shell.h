#pragma once

#include <functional>
#include <string>

namespace platform {

// Opens a web address or a document, maximized, with the program the user's system has for it.
bool ShellOpen(const std::string& target);

// Tests observe the openings instead of starting a browser; an empty hook restores the shell.
using ShellHook = std::function<bool(const std::string& target)>;
void SetShellHook(ShellHook hook);

}  // namespace platform
