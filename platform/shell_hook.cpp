#include "platform/shell_hook.h"

#include <mutex>

namespace platform {
namespace {
std::mutex hookMutex;
ShellHook& Hook() {
  static ShellHook hook;
  return hook;
}
}  // namespace

void SetShellHook(ShellHook hook) {
  std::lock_guard<std::mutex> guard(hookMutex);
  Hook() = std::move(hook);
}

ShellHook CurrentShellHook() {
  std::lock_guard<std::mutex> guard(hookMutex);
  return Hook();
}

}  // namespace platform
