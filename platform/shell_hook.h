#pragma once

#include "platform/shell.h"

namespace platform {
ShellHook CurrentShellHook();
}  // namespace platform
