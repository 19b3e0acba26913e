#pragma once

#include <windows.h>

#include <string>

namespace platform {

// A box owned by a window of the program, modal to it; through the prompt hook like every box.
int ShowOwnedMessage(HWND owner, const std::string& text, const std::string& caption,
                     unsigned style);

// The running executable's file name without its extension: the application's name, which the
// window's boxes carry as their caption.
std::string ApplicationName();

}  // namespace platform
