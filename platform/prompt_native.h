#pragma once

#include <string>

// The real boxes, one source file per platform.
namespace platform {
int ShowNativeMessage(const std::string& text, const std::string& caption, unsigned style);
int ShowNativeAppMessage(const std::string& text);
}  // namespace platform
