#include "platform/prompt_win32.h"

#include "platform/prompt_native.h"

namespace platform {

int ShowNativeMessage(const std::string& text, const std::string& caption, unsigned style) {
  return MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
}

int ShowNativeAppMessage(const std::string& text, unsigned style) {
  return MessageBoxA(nullptr, text.c_str(), ApplicationName().c_str(), style);
}

int ShowOwnedMessage(HWND owner, const std::string& text, const std::string& caption,
                     unsigned style) {
  if (std::optional<int> answer = AnswerFromHook({text, caption, style, ""})) return *answer;
  return MessageBoxA(owner, text.c_str(), caption.c_str(), style);
}

std::string ApplicationName() {
  std::string name(32768, '\0');  // the longest path the system has
  name.resize(GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size())));
  name.erase(0, name.find_last_of("\\/") + 1);
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace platform
