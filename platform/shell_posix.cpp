#include <spawn.h>

#include "platform/shell.h"
#include "platform/shell_hook.h"

extern char** environ;

namespace platform {

bool ShellOpen(const std::string& target) {
  if (ShellHook hook = CurrentShellHook()) return hook(target);
  std::string program = "xdg-open";
  std::string argument = target;  // one word, blanks and all
  char* argv[] = {program.data(), argument.data(), nullptr};
  pid_t child = 0;
  return posix_spawnp(&child, argv[0], nullptr, nullptr, argv, environ) == 0;
}

}  // namespace platform
