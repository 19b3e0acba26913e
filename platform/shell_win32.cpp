#include <windows.h>
// shellapi.h needs the types of windows.h
#include <shellapi.h>

#include "platform/shell.h"
#include "platform/shell_hook.h"

namespace platform {

bool ShellOpen(const std::string& target) {
  if (ShellHook hook = CurrentShellHook()) return hook(target);
  auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, "Open", target.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED));
  return result > 32;  // values up to 32 are error codes
}

}  // namespace platform
