#include <windows.h>

#include "platform/prompt_native.h"

namespace platform {

int ShowNativeMessage(const std::string& text, const std::string& caption, unsigned style) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

int ShowNativeAppMessage(const std::string& text) {
  return MessageBoxA(nullptr, text.c_str(), "veldra", MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace platform
